// The capture line parser against a second one written plainly from the line's form;
// both must agree on every line, and the parts must lie inside the line.
// Input: one line, without its line break.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "log/capture_file.h"
#include "link/log_kind.h"

namespace {

using namespace ardel;

bool PlainParse(std::string_view line, std::string& time, std::string& kind, std::string& text) {
  // Time stamp: four digits, "-", two, "-", two, "T", two, ":", two, ":", two, ".", three.
  const std::string shape = "0000-00-00T00:00:00.000";
  if (line.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (shape[i] == '0' && !digit) return false;
    if (shape[i] != '0' && line[i] != shape[i]) return false;
  }
  time = std::string(line.substr(0, shape.size()));
  std::string_view rest = line.substr(shape.size());
  if (rest.empty() || rest[0] != '\t') return false;
  rest.remove_prefix(1);
  std::string word;
  std::size_t i = 0;
  while (i < rest.size() && rest[i] != '\t') word += rest[i++];
  if (i == rest.size()) return false;
  const char* words[] = {"rx", "tx", "error", "raw", "ok", "repeat", "rule", "info"};
  bool known = false;
  for (const char* w : words) known = known || word == w;
  if (!known) return false;
  kind = word;
  text = std::string(rest.substr(i + 1));
  return true;
}

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  TCaptureLine parsed;
  const bool ok = ParseCaptureLine(line, parsed);
  std::string time, kind, text;
  const bool plainOk = PlainParse(line, time, kind, text);
  FUZZ_CHECK(ok == plainOk);
  if (ok) {
    FUZZ_CHECK(Inside(parsed.time, line) && Inside(parsed.text, line));
    FUZZ_CHECK(parsed.time == time);
    FUZZ_CHECK(LogKindName(parsed.kind) == kind);
    FUZZ_CHECK(parsed.text == text);
  }
  return 0;
}
