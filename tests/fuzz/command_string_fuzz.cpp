// The command string parser against its rules written out plainly, and every valid body
// through the other telegram forms: telegram text, wire bytes and the receive framer.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "link/receive_path.h"
#include "link/telegram.h"
#include "util/text_encoding.h"

namespace {

using namespace ardel;

int Digit(char c) {
  const std::string_view digits = "0123456789ABCDEF";
  const std::string_view lower = "0123456789abcdef";
  if (const auto p = digits.find(c); p != std::string_view::npos) return static_cast<int>(p);
  if (const auto p = lower.find(c); p != std::string_view::npos) return static_cast<int>(p);
  return -1;
}

struct TCollect : TReceiveFramer::TSink {
  int good = 0;
  int bad = 0;
  TFrame last{};
  void OnGoodTelegram(const TFrame& frame) override {
    ++good;
    last = frame;
  }
  void OnChecksumError(std::uint8_t, std::uint8_t) override { ++bad; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const TParsedCommand parsed = ParseCommandString(line);

  std::string collected;
  for (char c : line) {
    if (collected.size() == 22) break;
    if (c != ' ') collected += c;
  }
  if (collected.size() < 22) {
    FUZZ_CHECK(parsed.kind == pkInvalid);
    return 0;
  }
  for (std::size_t n = 0; n < kBodySize; ++n) {
    const int hi = Digit(collected[2 * n]);
    const int lo = Digit(collected[2 * n + 1]);
    if (hi < 0 || lo < 0) {
      FUZZ_CHECK(parsed.kind == pkConvertError);
      FUZZ_CHECK(parsed.error == "'$" + Latin1ToUtf8(collected.substr(2 * n, 2)) + "' ist kein g\xC3\xBCltiger Integerwert");
      return 0;
    }
    FUZZ_CHECK(parsed.body[n] == hi * 16 + lo);
  }
  FUZZ_CHECK(parsed.kind == pkValid);
  FUZZ_CHECK(parsed.comment == (line.size() > 29 ? line.substr(29, 99) : std::string_view()));

  // The telegram text reads back as the same body, with no comment.
  const std::string text = FormatTelegramText(parsed.body);
  FUZZ_CHECK(text.size() == kTelegramTextSize);
  const TParsedCommand again = ParseCommandString(text + "   ");
  FUZZ_CHECK(again.kind == pkValid && again.body == parsed.body && again.comment.empty());

  // The wire bytes frame back into the same body, trailer skipped.
  const TWireTelegram wire = EncodeTelegram(parsed.body);
  FUZZ_CHECK(wire[13] == TelegramChecksum(parsed.body));
  TReceiveFramer framer;
  TCollect sink;
  framer.Feed(std::string_view(reinterpret_cast<const char*>(wire.data()), wire.size()), sink);
  FUZZ_CHECK(sink.good == 1 && sink.bad == 0 && BodyOf(sink.last) == parsed.body);
  FUZZ_CHECK(framer.State() == 0);
  return 0;
}
