#pragma once
// The one setting the configuration file holds: the number of the serial port that the
// next start opens.

#include <string>
#include <string_view>

#include "stations/ini_file.h"

namespace ardel {

constexpr const char* kConfigSection = "Link";
constexpr const char* kComportKey = "Comport";
constexpr int kComportMin = 1;
constexpr int kComportMax = 4;
constexpr int kComportDefault = 1;

// The stored number as it is, not yet held to the range; missing or no number: 1.
int ReadComport(const TIniFile& config);
// The nearer bound for a number outside 1..4.
int HoldComport(int number);
// A field's text as a decimal number; anything else is 1.
int ComportFromText(std::string_view text);
// The port name: "COM" followed by the number.
std::string ComportName(int number);
// Writes the number into the file, every other line left as it is. Throws EFileError.
void WriteComport(const std::string& configFileName, int number);

}  // namespace ardel
