// The terminator text on arbitrary bytes: it either gives terminator bytes that read
// back as a text giving the same bytes, or fails with one of the two messages, leaving
// the bytes the message promises.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "serial/com_port.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ardel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TComPort port;
  port.SetTerminator("#7");  // something else than the default, to see the reset
  try {
    port.SetTerminator(text);
  } catch (const EComError& e) {
    const std::string what = e.what();
    if (what == "Terminator string cannot be empty!") {
      FUZZ_CHECK(port.TerminatorBytes().empty());
      // Only a text with nothing after its first character gives no token at all.
      FUZZ_CHECK(text.size() <= 1);
    } else {
      FUZZ_CHECK(what ==
                 "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10");
      FUZZ_CHECK(port.TerminatorBytes() == "\r\n");
    }
    return 0;
  }
  // One byte per "#"-separated token after the first character; a "#" at the very
  // end closes the last token without starting another.
  const std::string_view rest = text.substr(1);
  std::size_t tokens = rest.back() == '#' ? 0 : 1;
  for (char c : rest) tokens += c == '#';
  FUZZ_CHECK(port.TerminatorBytes().size() == tokens);

  const std::string bytes = port.TerminatorBytes();
  const std::string readBack = port.Terminator();
  FUZZ_CHECK(readBack.size() >= 2 * bytes.size() && readBack[0] == '#');
  TComPort again;
  again.SetTerminator(readBack);
  FUZZ_CHECK(again.TerminatorBytes() == bytes);
  FUZZ_CHECK(again.Terminator() == readBack);
  return 0;
}
