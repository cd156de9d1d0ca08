#include "cli/input_lines.h"

namespace ardel::cli {

void TInputLines::Append(std::string_view piece) {
  if (tooLong_) return;
  // One byte more than the limit may still be the carriage return of "\r\n".
  if (pending_.size() + piece.size() > limit_ + 1) {
    tooLong_ = true;
    std::string().swap(pending_);
    return;
  }
  pending_.append(piece);
}

TInputLine TInputLines::Finish() {
  TInputLine line;
  line.number = ++number_;
  if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
  line.tooLong = tooLong_ || pending_.size() > limit_;
  if (!line.tooLong) line.text = std::move(pending_);
  pending_.clear();
  tooLong_ = false;
  return line;
}

}  // namespace ardel::cli
