#include "util/line_list.h"

#include <utility>

namespace ardel {

void TLineList::InsertTop(std::string line) {
  observers_.Notify([&](auto& o) { o.BeforeInsert(0); });
  lines_.push_front(std::move(line));
  observers_.Notify([&](auto& o) { o.AfterInsert(); });
}

void TLineList::RemoveAt(std::size_t index) {
  if (index >= lines_.size()) return;
  observers_.Notify([&](auto& o) { o.BeforeRemove(index); });
  if (index == lines_.size() - 1) {
    lines_.pop_back();
  } else if (index == 0) {
    lines_.pop_front();
  } else {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  observers_.Notify([&](auto& o) { o.AfterRemove(); });
}

}  // namespace ardel
