#pragma once
// Frames received bytes into link telegrams, checks them and hands them on.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "link/link_traffic.h"
#include "link/telegram_log.h"
#include "link/telegram.h"
#include "util/line_list.h"

namespace ardel {

// Positions 0..13: sync bytes, body, checksum.
using TFrame = std::array<std::uint8_t, 14>;

inline TTelegramBody BodyOf(const TFrame& frame) {
  TTelegramBody body;
  for (std::size_t i = 0; i < kBodySize; ++i) body[i] = frame[2 + i];
  return body;
}

// The framer alone: no output but its two outcomes.
class TReceiveFramer {
 public:
  struct TSink {
    virtual ~TSink() = default;
    virtual void OnGoodTelegram(const TFrame& frame) = 0;
    virtual void OnChecksumError(std::uint8_t sent, std::uint8_t calculated) = 0;
  };

  void Feed(std::string_view bytes, TSink& sink) {
    for (char c : bytes) Step(static_cast<std::uint8_t>(c), sink);
  }
  void Step(std::uint8_t byte, TSink& sink);
  void Reset() {
    state_ = 0;
    sum_ = 0;
  }

  int State() const { return state_; }
  const TFrame& Frame() const { return frame_; }

 private:
  TFrame frame_{};
  int state_ = 0;
  std::uint8_t current_ = 0;
  std::uint8_t sum_ = 0;
};

class TReceivePath : private TReceiveFramer::TSink {
 public:
  // Decides on and sends the acknowledgement of a good telegram with org below A0.
  using TAckDecision = std::function<void(const TFrame& frame)>;

  // Good telegrams' texts enter the answer list at its top.
  TReceivePath(ITelegramLog& log, TLineList& answers) : log_(log), answers_(answers) {}

  // The receive callback: one delivery of bytes in arrival order.
  void ComPort1ReceiveCallBack(std::string_view data);

  void SetAckDecision(TAckDecision decision) { ackDecision_ = std::move(decision); }
  // Told of every delivery and framed telegram; nothing while unset.
  void SetTraffic(ILinkTraffic* traffic) { traffic_ = traffic; }
  void ResetFramer() { framer_.Reset(); }

  std::uint8_t LastGoodChecksum() const { return lastGoodChecksum_; }
  const TFrame& ReceiveFrame() const { return framer_.Frame(); }
  const TReceiveFramer& Framer() const { return framer_; }
  // Since the start: good telegrams and telegrams with a wrong checksum.
  std::uint64_t TelegramsReceived() const { return telegramsReceived_; }
  std::uint64_t ChecksumErrors() const { return checksumErrors_; }

 private:
  void OnGoodTelegram(const TFrame& frame) override;
  void OnChecksumError(std::uint8_t sent, std::uint8_t calculated) override;

  ITelegramLog& log_;
  TLineList& answers_;
  TReceiveFramer framer_;
  TAckDecision ackDecision_;
  ILinkTraffic* traffic_ = nullptr;
  std::uint8_t lastGoodChecksum_ = 0;
  std::uint64_t telegramsReceived_ = 0;
  std::uint64_t checksumErrors_ = 0;
};

}  // namespace ardel
