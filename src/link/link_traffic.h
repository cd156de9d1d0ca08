#pragma once
// What went over the link, told as it happens to whoever counts it (the bus overview):
// the paths know no more of their listener, so the link stays below it.

#include <cstddef>
#include <cstdint>

#include "link/telegram.h"

namespace ardel {

enum TSendKind : std::uint8_t { skCommand, skRepetition, skAck };

class ILinkTraffic {
 public:
  virtual ~ILinkTraffic() = default;
  // One delivery of bytes from the port, noise included.
  virtual void BytesReceived(std::size_t count) = 0;
  virtual void GoodTelegram(const TTelegramBody& body) = 0;
  // A frame whose checksum was wrong, its bytes as framed.
  virtual void ChecksumError(const TTelegramBody& framed) = 0;
  // A telegram the port took: a command's first transmission, a repetition or an ACK.
  virtual void TelegramSent(const TTelegramBody& body, TSendKind kind) = 0;
};

}  // namespace ardel
