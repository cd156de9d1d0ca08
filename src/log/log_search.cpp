#include "log/log_search.h"

#include <algorithm>
#include <cstring>

#include "rules/wild_match.h"

namespace ardel {
namespace {

constexpr std::size_t kTelegramTextLength = 26;  // "AB B0 00000000 FFFFFF80 00"

struct TFoldTable {
  unsigned char small[256];
  constexpr TFoldTable() : small() {
    for (int c = 0; c < 256; ++c) small[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
};
constexpr TFoldTable kFold;

bool Blank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string_view TelegramTextOf(TLogKind kind, std::string_view text) {
  if (kind != lkRx && kind != lkTx) return text;
  // "R <time stamp>   <telegram>   <comment>": the time stamp has single blanks only.
  const std::size_t gap = text.find("   ", 2);
  if (gap == std::string_view::npos || gap + 3 + kTelegramTextLength > text.size()) return text;
  return text.substr(gap + 3, kTelegramTextLength);
}

void FoldCase(std::string_view text, std::string& into) {
  into.resize(text.size());
  const auto* from = reinterpret_cast<const unsigned char*>(text.data());
  auto* to = reinterpret_cast<unsigned char*>(into.data());
  for (std::size_t i = 0; i < text.size(); ++i) to[i] = kFold.small[from[i]];
  // UTF-8 capitals of Latin-1 are C3 80..9E but for the multiplication sign C3 97.
  for (std::size_t i = into.find('\xC3'); i != std::string::npos && i + 1 < into.size(); i = into.find('\xC3', i + 1)) {
    const unsigned char next = to[i + 1];
    if (next >= 0x80 && next <= 0x9E && next != 0x97) to[i + 1] = static_cast<unsigned char>(next + 0x20);
  }
}

TLineMatcher::TLineMatcher(std::string_view query, TSearchMode mode) : mode_(mode) {
  if (mode == smText) {
    FoldCase(query, query_);
    empty_ = query_.empty();
    if (!empty_) {
      const unsigned char first = static_cast<unsigned char>(query_[0]);
      firstOther_ = first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 32) : first;
    }
  } else {
    query_.assign(query);
    empty_ = Blank(query);
  }
}

bool TLineMatcher::Matches(TLogKind kind, std::string_view text) const {
  if (empty_) return false;
  if (mode_ == smPattern) return WildMatch(TelegramTextOf(kind, text), query_);
  return FindFolded(text);
}

// Looks for the first byte of the query in both its cases with memchr, and compares
// from there folding as it goes: no copy of the line.
bool TLineMatcher::FindFolded(std::string_view text) const {
  const std::size_t n = query_.size();
  if (text.size() < n) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const auto* q = reinterpret_cast<const unsigned char*>(query_.data());
  const std::size_t last = text.size() - n;  // the last place a hit can start
  auto at = [&](std::size_t i) {
    for (std::size_t k = 0; k < n; ++k) {
      unsigned char c = kFold.small[t[i + k]];
      if (i + k > 0 && t[i + k - 1] == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97) c = static_cast<unsigned char>(c + 0x20);
      if (c != q[k]) return false;
    }
    return true;
  };
  for (const unsigned char first : {q[0], firstOther_}) {
    const unsigned char* from = t;
    const unsigned char* end = t + last + 1;
    while (from < end) {
      const void* found = std::memchr(from, first, static_cast<std::size_t>(end - from));
      if (found == nullptr) break;
      const auto* p = static_cast<const unsigned char*>(found);
      if (at(static_cast<std::size_t>(p - t))) return true;
      from = p + 1;
    }
    if (firstOther_ == q[0]) break;
  }
  return false;
}

void TLogSearch::Start(std::string_view query, TSearchMode mode) {
  query_.assign(query);
  mode_ = mode;
  Restart();
}

void TLogSearch::Restart() {
  matcher_ = TLineMatcher(query_, mode_);
  active_ = true;
  scanned_ = 0;
  hits_.clear();
  // Room for every line at once, so a search with millions of hits never stops for a
  // copy of them all; the pages are only touched as hits come.
  if (source_ != nullptr && !matcher_.FindsNothing()) hits_.reserve(source_->Count());
}

void TLogSearch::Cancel() {
  active_ = false;
  scanned_ = 0;
  hits_.clear();
}

bool TLogSearch::Step(std::size_t maxLines, std::chrono::microseconds time) {
  if (!active_) return true;
  const std::size_t count = source_->Count();
  // Fewer lines than looked at: the log was cleared under the search.
  if (count < scanned_) {
    scanned_ = 0;
    hits_.clear();
  }
  if (matcher_.FindsNothing()) {
    scanned_ = count;
    return true;
  }
  const auto until = std::chrono::steady_clock::now() + time;
  std::size_t left = std::max<std::size_t>(1, maxLines);
  // Slices of a few thousand lines between looks at the clock.
  constexpr std::size_t kSlice = 4096;
  while (scanned_ < count && left > 0) {
    const std::size_t to = scanned_ + std::min({kSlice, left, count - scanned_});
    source_->Scan(scanned_, to, [this](std::size_t index, TLogKind kind, std::string_view text) {
      if (matcher_.Matches(kind, text)) hits_.push_back(index);
    });
    left -= to - scanned_;
    scanned_ = to;
    if (std::chrono::steady_clock::now() >= until) break;
  }
  return scanned_ >= count;
}

double TLogSearch::Progress() const {
  const std::size_t count = source_->Count();
  return count == 0 || scanned_ >= count ? 1.0 : static_cast<double>(scanned_) / static_cast<double>(count);
}

std::optional<std::size_t> TLogSearch::Next(std::optional<std::size_t> after) const {
  if (hits_.empty()) return std::nullopt;
  if (!after) return hits_.front();
  const auto it = std::upper_bound(hits_.begin(), hits_.end(), *after);
  return it != hits_.end() ? *it : hits_.front();
}

std::optional<std::size_t> TLogSearch::Previous(std::optional<std::size_t> before) const {
  if (hits_.empty()) return std::nullopt;
  if (!before) return hits_.back();
  const auto it = std::lower_bound(hits_.begin(), hits_.end(), *before);
  return it != hits_.begin() ? *(it - 1) : hits_.back();
}

std::size_t TLogSearch::Ordinal(std::size_t line) const {
  const auto it = std::lower_bound(hits_.begin(), hits_.end(), line);
  return it != hits_.end() && *it == line ? static_cast<std::size_t>(it - hits_.begin()) + 1 : 0;
}

}  // namespace ardel
