#include "log/overview_replay.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "link/telegram_fields.h"
#include "util/file_io.h"
#include "util/hex.h"

namespace ardel {
namespace {

int Digits(std::string_view text, std::size_t from, std::size_t count) {
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// Each character's digit value, 0x10 and above for no hexadecimal digit.
const std::array<std::uint8_t, 256> kHexValues = [] {
  std::array<std::uint8_t, 256> values{};
  for (int c = 0; c < 256; ++c) {
    const int digit = HexDigitValue(static_cast<char>(c));
    values[static_cast<std::size_t>(c)] = digit < 0 ? 0x10 : static_cast<std::uint8_t>(digit);
  }
  return values;
}();

// The bytes of a telegram text (exactly the display form, as IsTelegramText takes it);
// false for another text. Every telegram line of a capture passes here: no branch per
// digit.
bool BodyOfText(std::string_view text, TTelegramBody& body) {
  static constexpr std::uint8_t kPairs[kBodySize] = {0, 3, 6, 8, 10, 12, 15, 17, 19, 21, 24};
  if (text.size() != kTelegramTextSize || text[2] != ' ' || text[5] != ' ' || text[14] != ' ' || text[23] != ' ') {
    return false;
  }
  unsigned bad = 0;
  for (std::size_t i = 0; i < kBodySize; ++i) {
    const unsigned high = kHexValues[static_cast<unsigned char>(text[kPairs[i]])];
    const unsigned low = kHexValues[static_cast<unsigned char>(text[kPairs[i] + 1u])];
    bad |= high | low;
    body[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return bad < 0x10;
}

// The telegram text of a telegram line and what follows it, or nothing.
struct TTelegramLine {
  std::string_view telegram;
  std::string_view comment;
};

std::optional<TTelegramLine> TelegramLineOf(std::string_view text) {
  // Its form is checked as its bytes are read.
  const std::optional<std::string_view> telegram = TelegramTextAfterStamp(text);
  if (!telegram) return std::nullopt;
  const std::size_t end = static_cast<std::size_t>(telegram->data() - text.data()) + kTelegramTextSize;
  const std::string_view rest = text.substr(end);
  return TTelegramLine{*telegram, rest.size() >= 3 ? rest.substr(3) : std::string_view()};
}

constexpr std::string_view kTimeOut = "                                      time out";  // 38 blanks

}  // namespace

std::optional<TOverviewTime> TCaptureTimeReader::Read(std::string_view stamp) {
  if (stamp.size() != kCaptureTimeLength) return std::nullopt;
  if (!known_ || std::memcmp(hour_, stamp.data(), sizeof hour_) != 0) {
    std::tm local{};
    local.tm_year = Digits(stamp, 0, 4) - 1900;
    local.tm_mon = Digits(stamp, 5, 2) - 1;
    local.tm_mday = Digits(stamp, 8, 2);
    local.tm_hour = Digits(stamp, 11, 2);
    local.tm_isdst = -1;
    const std::time_t start = std::mktime(&local);
    if (start == static_cast<std::time_t>(-1)) return std::nullopt;
    std::memcpy(hour_, stamp.data(), sizeof hour_);
    hourStart_ = start;
    known_ = true;
  }
  const int seconds = Digits(stamp, 14, 2) * 60 + Digits(stamp, 17, 2);
  return std::chrono::system_clock::from_time_t(hourStart_) + std::chrono::seconds(seconds) +
         std::chrono::milliseconds(Digits(stamp, 20, 3));
}

bool TOverviewReplay::FeedLine(std::string_view line) {
  TCaptureLine parsed;
  if (!ParseCaptureLine(line, parsed)) return false;
  Feed(parsed);
  return true;
}

void TOverviewReplay::CommitPending() {
  if (!pending_) return;
  pending_ = false;
  if (pendingKind_ == skAck) {
    overview_.AckSent(BodyId(pendingBody_), pendingAt_);
  } else {
    overview_.Sent(pendingBody_, pendingKind_ == skRepetition, pendingAt_);
  }
}

void TOverviewReplay::Feed(const TCaptureLine& line) {
  const std::optional<TOverviewTime> read = times_.Read(line.time);
  if (!read) return;
  const TOverviewTime at = *read;
  ++lines_;
  lastTime_ = at;
  const std::string_view text = line.text;
  // The line after a transmission says whether it went out.
  if (pending_ && !(line.kind == lkError && text.find("   not sent: ") != std::string_view::npos)) CommitPending();
  pending_ = false;
  const bool repeatBefore = repeatNext_;
  const bool afterRx = afterRx_;
  repeatNext_ = false;
  afterRx_ = false;

  switch (line.kind) {
    case lkRx: {
      const std::optional<TTelegramLine> telegram = TelegramLineOf(text);
      TTelegramBody body;
      if (!telegram || !BodyOfText(telegram->telegram, body)) break;
      overview_.BytesReceived(kWireSize, at);
      overview_.Received(body, at);
      if (outstanding_ &&
          AnswerCompletes(telegram->telegram, std::string_view(outstandingText_, kTelegramTextSize))) {
        overview_.Completed(outstandingId_, at);
        outstanding_ = false;
      }
      lastRx_ = body;
      afterRx_ = true;
      break;
    }
    case lkTx: {
      const std::optional<TTelegramLine> telegram = TelegramLineOf(text);
      TTelegramBody body;
      if (!telegram || !BodyOfText(telegram->telegram, body)) break;
      // The acknowledgement repeats the received telegram with AB AC in front.
      const bool ack = afterRx && body[0] == 0xAB && body[1] == 0xAC &&
                       std::equal(body.begin() + 2, body.end(), lastRx_.begin() + 2);
      pending_ = true;
      pendingBody_ = body;
      pendingAt_ = at;
      pendingKind_ = ack ? skAck : repeatBefore ? skRepetition : skCommand;
      if (!ack) {
        // Sent or not, it is the queue's oldest command until answered or timed out.
        std::memcpy(outstandingText_, telegram->telegram.data(), kTelegramTextSize);
        outstandingId_ = BodyId(body);
        outstanding_ = true;
      }
      break;
    }
    case lkRepeat:
      repeatNext_ = text.ends_with("repeat it");
      break;
    case lkRaw:
      // Raw reception logs each byte on a line of its own and frames nothing.
      overview_.BytesReceived(1, at);
      break;
    case lkError: {
      if (text.ends_with(kTimeOut)) {
        if (outstanding_) {
          overview_.TimedOut(outstandingId_, at);
        } else {
          overview_.TimedOut(at);
        }
        outstanding_ = false;
        break;
      }
      if (const std::optional<TTelegramLine> telegram = TelegramLineOf(text);
          telegram && telegram->comment.starts_with("cksum error.")) {
        overview_.BytesReceived(kWireSize, at);
        TTelegramBody body{};
        // A line without the framed bytes carries zeros: no ID to blame, the link counts it.
        if (BodyOfText(telegram->telegram, body) && body != TTelegramBody{}) {
          overview_.ChecksumError(body, at);
        } else {
          overview_.ChecksumError(at);
        }
        break;
      }
      if (const std::size_t dropped = text.find(" bytes dropped: "); dropped != std::string_view::npos) {
        std::size_t start = dropped;
        while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
        std::uint64_t bytes = 0;
        for (std::size_t i = start; i < dropped; ++i) bytes = bytes * 10 + static_cast<std::uint64_t>(text[i] - '0');
        overview_.OutputDropped(bytes, at);
        break;
      }
      if (text.find(" lost: ") != std::string_view::npos) overview_.PortLost(at);
      break;
    }
    default:
      break;
  }
}

void TOverviewReplay::Finish() { CommitPending(); }

bool ReplayCaptureFile(const std::string& path, TBusOverview& overview, TReplayResult& result, std::string& error) {
  result = {};
  // Without blocking: a FIFO or a device would wait in the open for a writer.
  const int fd = OpenToRead(path);
  // Windows refuses to open a folder as a file, with "access denied".
  if (fd < 0 && IsDirectory(path)) {
    error = "cannot open " + path + ": not a file";
    return false;
  }
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct TCloser {
    int fd;
    ~TCloser() { CloseFile(fd); }
  } closer{fd};
  if (!IsRegularFile(fd)) {
    error = "cannot open " + path + ": not a file";
    return false;
  }
  ReadSequentially(fd);

  // Large reads; a line cut by a read moves to the front, and one longer than the
  // buffer is left out as unreadable.
  constexpr std::size_t kBufferBytes = 8u << 20;
  const std::unique_ptr<char[]> buffer(new char[kBufferBytes]);
  TOverviewReplay replay(overview);
  std::size_t kept = 0;
  std::uint64_t offset = 0;
  bool skipping = false;  // inside a line too long to hold, up to its end
  for (;;) {
    std::int64_t n = 0;
    do {
      n = ReadAt(fd, buffer.get() + kept, kBufferBytes - kept, offset);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      error = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    offset += static_cast<std::uint64_t>(n);
    const char* begin = buffer.get();
    const char* const end = buffer.get() + kept + static_cast<std::size_t>(n);
    for (;;) {
      const char* stop = static_cast<const char*>(std::memchr(begin, '\n', static_cast<std::size_t>(end - begin)));
      if (stop == nullptr) break;
      std::string_view line(begin, static_cast<std::size_t>(stop - begin));
      begin = stop + 1;
      if (skipping) {
        skipping = false;
        continue;
      }
      // A capture that went through a Windows editor keeps its lines.
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (!replay.FeedLine(line)) ++result.unreadable;
    }
    kept = static_cast<std::size_t>(end - begin);
    if (kept == kBufferBytes) {
      if (!skipping) ++result.unreadable;
      skipping = true;
      kept = 0;
    } else if (kept > 0 && begin != buffer.get()) {
      std::memmove(buffer.get(), begin, kept);
    }
  }
  // A last line without its line break was cut while it was written.
  if (kept > 0 && !skipping) ++result.unreadable;
  replay.Finish();
  result.lines = replay.Lines();
  result.lastTime = replay.LastTime();
  return true;
}

}  // namespace ardel
