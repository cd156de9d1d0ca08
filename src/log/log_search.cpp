#include "log/log_search.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "link/telegram_fields.h"
#include "util/wild_match.h"

namespace ardel {
namespace {

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

void ILogLineSource::FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                               std::vector<std::size_t>& hits) const {
  Scan(from, to, CollectHits(matcher, hits));
}

std::string_view TelegramTextOf(TLogKind kind, std::string_view text) {
  if (kind != lkRx && kind != lkTx) return text;
  return TelegramTextAfterStamp(text).value_or(text);
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
      const auto* q = reinterpret_cast<const unsigned char*>(query_.data());
      firstOther_ = q[0] >= 'a' && q[0] <= 'z' ? static_cast<unsigned char>(q[0] - 32) : q[0];
      if (query_.size() > 1) {
        // After C3, a small Latin-1 letter's capital: "ä" is C3 A4, "Ä" C3 84.
        const bool latin1 = q[0] == 0xC3 && q[1] >= 0xA0 && q[1] <= 0xBE && q[1] != 0xB7;
        secondOther_ = q[1] >= 'a' && q[1] <= 'z' ? static_cast<unsigned char>(q[1] - 32)
                       : latin1                  ? static_cast<unsigned char>(q[1] - 0x20)
                                                 : q[1];
      }
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

// Looks for places where the query's first two bytes stand, each in either case, sixteen
// places at a time where the processor allows, and compares from there folding as it
// goes: no copy of the line.
bool TLineMatcher::FindFolded(std::string_view text) const {
  const std::size_t n = query_.size();
  if (text.size() < n) return false;
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  const auto* q = reinterpret_cast<const unsigned char*>(query_.data());
  const std::size_t size = text.size();
  const std::size_t last = size - n;  // the last place a hit can start
  auto at = [&](std::size_t i) {
    for (std::size_t k = 0; k < n; ++k) {
      unsigned char c = kFold.small[t[i + k]];
      if (i + k > 0 && t[i + k - 1] == 0xC3 && c >= 0x80 && c <= 0x9E && c != 0x97) c = static_cast<unsigned char>(c + 0x20);
      if (c != q[k]) return false;
    }
    return true;
  };
  std::size_t i = 0;
#if defined(__SSE2__)
  if (n >= 2) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(q[0]));
    const __m128i firstOther = _mm_set1_epi8(static_cast<char>(firstOther_));
    const __m128i second = _mm_set1_epi8(static_cast<char>(q[1]));
    const __m128i secondOther = _mm_set1_epi8(static_cast<char>(secondOther_));
    // Sixteen starts, reading their sixteen first and second bytes.
    for (; i + 17 <= size && i <= last; i += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 1));
      const __m128i candidates =
          _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(a, firstOther)),
                        _mm_or_si128(_mm_cmpeq_epi8(b, second), _mm_cmpeq_epi8(b, secondOther)));
      for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(candidates)); mask != 0; mask &= mask - 1) {
        const std::size_t start = i + static_cast<std::size_t>(__builtin_ctz(mask));
        if (start <= last && at(start)) return true;
      }
    }
  }
#endif
  for (; i <= last; ++i) {
    if ((t[i] == q[0] || t[i] == firstOther_) && at(i)) return true;
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
  while (scanned_ < count && left > 0) {
    const std::size_t to = scanned_ + std::min({kChunkLines, left, count - scanned_});
    source_->FindLines(scanned_, to, matcher_, hits_);
    left -= to - scanned_;
    scanned_ = to;
    if (std::chrono::steady_clock::now() >= until || (stepAside_ && stepAside_())) break;
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
