// The receive path against a framer written another way: over the whole byte stream at
// once, searching each telegram's A5 5A, instead of a state machine byte by byte. The
// input is cut into deliveries of varying sizes, so a telegram split anywhere must come
// out as if it had arrived in one piece. With the first byte odd, some deliveries come
// while "raw reception" is on: they only show their bytes and the framing goes on
// around them.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "log/link_log.h"
#include "link/receive_path.h"
#include "queue/queues.h"

namespace {

using namespace ardel;

struct TEvent {
  bool good = false;
  TTelegramBody body{};
  std::uint8_t sent = 0;
  std::uint8_t calculated = 0;
};

struct TReference {
  std::vector<TEvent> events;
  int finalState = 0;
};

TReference FrameWholeStream(std::string_view bytes) {
  auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  TReference out;
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (;;) {
    std::size_t start = i;
    while (start + 1 < n && !(at(start) == kSync1 && at(start + 1) == kSync2)) ++start;
    if (start + 1 >= n) {
      // No telegram begins here; a lone A5 at the very end waits for its 5A.
      out.finalState = (n > i && at(n - 1) == kSync1) ? 1 : 0;
      return out;
    }
    if (start + 13 >= n) {
      out.finalState = static_cast<int>(n - start);  // 2..13 bytes of it are in
      return out;
    }
    TEvent event;
    for (std::size_t k = 0; k < kBodySize; ++k) event.body[k] = at(start + 2 + k);
    event.sent = at(start + 13);
    event.calculated = TelegramChecksum(event.body);
    event.good = event.sent == event.calculated;
    out.events.push_back(event);
    i = start + 14;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte seeds the delivery sizes; the rest is the line.
  std::uint32_t seed = data[0];
  const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  TLinkLog log([] { return std::chrono::system_clock::time_point{}; });
  log.Clear();
  TQueues queues;
  TReceivePath path(log, queues.Answers());
  std::vector<TFrame> acked;
  path.SetAckDecision([&](const TFrame& frame) { acked.push_back(frame); });

  const bool rawPeriods = data[0] & 1;
  std::string framed;  // the bytes that reach the framer
  std::string raw;     // and those shown raw
  for (std::size_t pos = 0; pos < stream.size();) {
    seed = seed * 1103515245u + 12345u;
    const std::string_view delivery = stream.substr(pos, (seed >> 16) % 24);  // empty ones too
    pos += delivery.size();
    log.Switches().rawReception = rawPeriods && (seed >> 28) % 3 == 0;
    (log.Switches().rawReception ? raw : framed).append(delivery);
    path.ComPort1ReceiveCallBack(delivery);
  }
  const TReference expected = FrameWholeStream(framed);

  // Raw lines, one per byte in order, among the telegram lines.
  std::vector<TLogLine> telegramLines;
  std::size_t rawLines = 0;
  for (std::size_t k = 0; k < log.Count(); ++k) {
    const TLogLine& line = log.Line(k);
    if (line.color == colors::kLime) {
      FUZZ_CHECK(rawLines < raw.size());
      FUZZ_CHECK(line.text == "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:" +
                                  HexByte(static_cast<std::uint8_t>(raw[rawLines])));
      ++rawLines;
    } else {
      telegramLines.push_back(line);
    }
  }
  FUZZ_CHECK(rawLines == raw.size());

  FUZZ_CHECK(path.Framer().State() == expected.finalState);
  FUZZ_CHECK(telegramLines.size() == expected.events.size());
  const std::string stamp = log.TimeStamp();
  std::vector<std::string> answers;  // oldest first
  std::vector<TFrame> shouldAck;
  std::uint8_t lastGood = 0;
  for (std::size_t k = 0; k < expected.events.size(); ++k) {
    const TEvent& e = expected.events[k];
    const TLogLine& line = telegramLines[k];
    if (e.good) {
      FUZZ_CHECK(line.color == colors::kReceived);
      FUZZ_CHECK(line.text == "  " + stamp + "   " + FormatTelegramText(e.body) + "   ");
      answers.push_back(FormatTelegramText(e.body));
      if (e.body[1] < 0xA0) {
        TFrame frame{kSync1, kSync2};
        for (std::size_t b = 0; b < kBodySize; ++b) frame[2 + b] = e.body[b];
        frame[13] = e.sent;
        shouldAck.push_back(frame);
      }
      lastGood = e.sent;
    } else {
      FUZZ_CHECK(line.color == colors::kError);
      FUZZ_CHECK(line.text == "E " + stamp + "   00 00 00000000 00000000 00   cksum error. sent:" +
                                  HexByte(e.sent) + " <-> calc:" + HexByte(e.calculated) + "]");
    }
  }
  FUZZ_CHECK(queues.Answers().Count() == answers.size());
  for (std::size_t k = 0; k < answers.size(); ++k) {
    FUZZ_CHECK(queues.Answers().At(answers.size() - 1 - k) == answers[k]);  // newest on top
  }
  FUZZ_CHECK(acked == shouldAck);
  FUZZ_CHECK(path.LastGoodChecksum() == lastGood);
  return 0;
}
