// A rule line's kind and argument against the rules spelled out, and the if line's
// pattern through both fast matchers against the matcher's definition: the literal
// transcription on short inputs, the same recursion with a memo on longer ones.
// Input: the rule line, a line break, then the text to match.

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "rules/reference_match.h"
#include "rules/rule_line.h"
#include "util/wild_match.h"

namespace {

using namespace ardel;

// The definition's recursion over (text position, pattern position), each pair once.
class TMemoMatch {
 public:
  TMemoMatch(std::string_view text, std::string_view pattern)
      : text_(text), pattern_(pattern), memo_((text.size() + 1) * (pattern.size() + 1), -1) {}
  bool operator()() { return At(0, 0); }

 private:
  bool At(std::size_t i, std::size_t j) {
    signed char& known = memo_[i * (pattern_.size() + 1) + j];
    if (known < 0) known = Compute(i, j);
    return known;
  }
  bool Compute(std::size_t i, std::size_t j) {
    const std::string_view text = text_.substr(i);
    const std::string_view pattern = pattern_.substr(j);
    if (pattern == "*") return true;
    if (text.empty()) return pattern.empty();
    if (!pattern.empty() && pattern.front() == '*') return At(i, j + 1) || At(i + 1, j);
    if (!pattern.empty() && pattern.front() == '?') return At(i + 1, j + 1);
    if (pattern.empty() || pattern.front() != text.front()) return false;
    return At(i + 1, j + 1);
  }

  std::string_view text_, pattern_;
  std::vector<signed char> memo_;
};

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

std::string_view From(std::string_view line, std::size_t start) {
  return start >= line.size() ? std::string_view() : line.substr(start, kRuleArgumentLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t breakAt = std::min(input.find('\n'), input.size());
  const std::string_view line = input.substr(0, breakAt);
  const std::string_view text = breakAt < input.size() ? input.substr(breakAt + 1) : std::string_view();

  const TRuleLine rule = ClassifyRuleLine(line);
  FUZZ_CHECK(Inside(rule.argument, line));
  FUZZ_CHECK(rule.argument.size() <= kRuleArgumentLength);
  TRuleKind kind = rkOther;
  std::string_view argument;
  if (line.empty()) {
    kind = rkEmpty;
  } else if (line[0] == '/') {
    kind = rkComment;
  } else if (line.substr(0, 2) == "if") {
    kind = rkIf;
    argument = From(line, 5);
  } else if (line.substr(0, 4) == "then") {
    if (const auto say = line.find("say"); say != std::string_view::npos) {
      kind = rkSay;
      argument = From(line, say + 4);
    } else if (line.find("lamp") != std::string_view::npos) {
      kind = rkLamp;
    } else {
      kind = rkCommand;
      argument = From(line, 5);
    }
  }
  FUZZ_CHECK(rule.kind == kind);
  FUZZ_CHECK(rule.argument == argument);

  // Lines other than if lines still make fine patterns.
  const std::string_view pattern = rule.kind == rkIf ? rule.argument : line;
  const bool fast = WildMatch(text, pattern);
  FUZZ_CHECK(TTextMatcher(text).Matches(pattern) == fast);
  if ((text.size() + 1) * (pattern.size() + 1) <= 200000) FUZZ_CHECK(TMemoMatch(text, pattern)() == fast);
  if (text.size() <= 12 && pattern.size() <= 16 && std::count(pattern.begin(), pattern.end(), '*') <= 6) {
    FUZZ_CHECK(ReferenceMatch(text, pattern) == fast);
  }
  return 0;
}
