#include "queue/line_list.h"

#include <utility>

namespace ardel {

void TLineList::InsertTop(std::string line) {
  if (observer_ != nullptr) observer_->BeforeInsert(0);
  lines_.push_front(std::move(line));
  if (observer_ != nullptr) observer_->AfterInsert();
}

void TLineList::RemoveAt(std::size_t index) {
  if (index >= lines_.size()) return;
  if (observer_ != nullptr) observer_->BeforeRemove(index);
  if (index == lines_.size() - 1) {
    lines_.pop_back();
  } else if (index == 0) {
    lines_.pop_front();
  } else {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  if (observer_ != nullptr) observer_->AfterRemove();
}

}  // namespace ardel
