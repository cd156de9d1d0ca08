#pragma once
// A field of text lines that the system appends to and the operator clears, such as
// the message field. A view follows it through the observer.

#include <cstddef>
#include <deque>
#include <string>

namespace ardel {

class ITextLinesObserver {
 public:
  virtual ~ITextLinesObserver() = default;
  virtual void LineAppended(const std::string& line) = 0;
  virtual void Cleared() = 0;
};

class TTextLines {
 public:
  void SetObserver(ITextLinesObserver* observer) { observer_ = observer; }

  void AppendLine(std::string line);
  void Clear();

  std::size_t Count() const { return lines_.size(); }
  const std::string& Line(std::size_t index) const { return lines_[index]; }

 private:
  std::deque<std::string> lines_;
  ITextLinesObserver* observer_ = nullptr;
};

}  // namespace ardel
