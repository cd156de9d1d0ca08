#include "util/text_lines.h"

#include <utility>

namespace ardel {

void TTextLines::AppendLine(std::string line) {
  lines_.push_back(std::move(line));
  if (observer_ != nullptr) observer_->LineAppended(lines_.back());
}

void TTextLines::Clear() {
  std::deque<std::string>().swap(lines_);
  if (observer_ != nullptr) observer_->Cleared();
}

}  // namespace ardel
