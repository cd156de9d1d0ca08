#pragma once
// What Telnet with the com port option makes of a serial line, whichever socket carries
// it: the line's format as option values, and the doubled 0xFF of the data.

#include <cstddef>
#include <string_view>

#include "serial/port_device.h"
#include "serial/telnet_codec.h"

namespace ardel::rfc2217 {

// The com port option's numbering of a line format.
telnet::TComPortSettings ComPortSettings(const TLineSettings& line);
// A cut of encoded bytes that keeps a doubled 0xFF whole.
std::size_t WholeCut(std::string_view encoded, std::size_t cut);
// How many data bytes some encoded bytes carry: a doubled 0xFF is one.
std::size_t DataBytes(std::string_view encoded);

}  // namespace ardel::rfc2217
