#include "util/text_lines.h"

#include <utility>

namespace ardel {

void TTextLines::Append(std::string line) {
  if (observer_ != nullptr) observer_->BeforeAppend(lines_.size());
  lines_.push_back(std::move(line));
  if (observer_ != nullptr) observer_->AfterAppend();
}

void TTextLines::Clear() {
  if (observer_ != nullptr) observer_->BeforeClear();
  lines_.clear();
  if (observer_ != nullptr) observer_->AfterClear();
}

}  // namespace ardel
