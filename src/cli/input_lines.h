#pragma once
// Standard input cut into lines as it arrives. A line end is looked for only in the bytes
// just read, and a line longer than the limit is let go as it comes, never held whole:
// one endless line costs time in proportion to its length and no memory.

#include <cstddef>
#include <string>
#include <string_view>

namespace ardel::cli {

struct TInputLine {
  std::size_t number = 0;  // from 1
  std::string text;        // without its line end; empty when too long
  bool tooLong = false;
};

class TInputLines {
 public:
  // The limit counts the line's bytes without its line end ("\n" or "\r\n").
  explicit TInputLines(std::size_t limit) : limit_(limit) {}

  // Calls onLine(const TInputLine&) for each line that ends in these bytes.
  template <typename F>
  void Take(std::string_view bytes, F&& onLine) {
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t end = bytes.find('\n', at);
      Append(bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
      if (end == std::string_view::npos) break;
      onLine(Finish());
      at = end + 1;
    }
  }
  // The end of the input: the last line, when it has no line end.
  template <typename F>
  void End(F&& onLine) {
    if (!pending_.empty() || tooLong_) onLine(Finish());
  }

 private:
  void Append(std::string_view piece);
  TInputLine Finish();

  std::size_t limit_;
  std::string pending_;
  bool tooLong_ = false;
  std::size_t number_ = 0;
};

}  // namespace ardel::cli
