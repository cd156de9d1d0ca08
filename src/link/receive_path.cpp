#include "link/receive_path.h"

namespace ardel {

void TReceiveFramer::Step(std::uint8_t byte, TSink& sink) {
  current_ = byte;
  switch (state_) {
    case 0:
      if (byte == kSync1) {
        frame_[0] = byte;
        state_ = 1;
      }
      break;
    case 1:
      if (byte == kSync2) {
        frame_[1] = byte;
        sum_ = 0;
        state_ = 2;
      } else if (byte == kSync1) {
        frame_[0] = byte;
      } else {
        state_ = 0;
      }
      break;
    case 13:
      frame_[13] = byte;
      state_ = 0;
      if (byte == sum_) {
        sink.OnGoodTelegram(frame_);
      } else {
        sink.OnChecksumError(byte, sum_);
      }
      break;
    default:  // 2..12: body bytes, no value is special
      frame_[static_cast<std::size_t>(state_)] = byte;
      sum_ = static_cast<std::uint8_t>(sum_ + byte);
      ++state_;
      break;
  }
}

namespace {

const TTelegramBody kZeroBody{};

}  // namespace

void TReceivePath::ComPort1ReceiveCallBack(std::string_view data) {
  if (traffic_ != nullptr) traffic_->BytesReceived(data.size());
  if (log_.RawReception()) {
    for (char c : data) {
      log_.AppendLineNoScroll(lkRaw,
                              "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:" +
                                  HexByte(static_cast<std::uint8_t>(c)));
    }
    return;
  }
  framer_.Feed(data, *this);
}

void TReceivePath::OnGoodTelegram(const TFrame& frame) {
  const TTelegramBody body = BodyOf(frame);
  ++telegramsReceived_;
  log_.LogTelegram(lkRx, ' ', body, "");
  answers_.InsertTop(FormatTelegramText(body));
  // Before its ACK goes out, so the telegram counts before the answer to it.
  if (traffic_ != nullptr) traffic_->GoodTelegram(body);
  if (frame[3] < 0xA0 && ackDecision_) ackDecision_(frame);
  lastGoodChecksum_ = frame[13];
}

void TReceivePath::OnChecksumError(std::uint8_t sent, std::uint8_t calculated) {
  ++checksumErrors_;
  if (traffic_ != nullptr) traffic_->ChecksumError(BodyOf(framer_.Frame()));
  log_.LogTelegram(lkError, 'E', kZeroBody,
                   "cksum error. sent:" + HexByte(sent) + " <-> calc:" + HexByte(calculated) + "]");
}

}  // namespace ardel
