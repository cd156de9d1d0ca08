#include "util/text_lines.h"

#include <utility>

namespace ardel {

void TTextLines::Append(std::string line) {
  observers_.Notify([&](auto& o) { o.BeforeAppend(lines_.size()); });
  lines_.push_back(std::move(line));
  observers_.Notify([&](auto& o) { o.AfterAppend(); });
}

void TTextLines::Clear() {
  observers_.Notify([&](auto& o) { o.BeforeClear(); });
  lines_.clear();
  observers_.Notify([&](auto& o) { o.AfterClear(); });
}

}  // namespace ardel
