#pragma once
// Finding lines in the link log or in an opened capture. A search runs in slices, so
// neither the window nor the link waits for it; its hits, in order, are also the filter
// "only matching lines", and they follow the lines that arrive after it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/log_kind.h"

namespace ardel {

class TLineMatcher;

// Lines that can be read in order without a copy each.
class ILogLineSource {
 public:
  using TVisit = std::function<void(std::size_t index, TLogKind kind, std::string_view text)>;
  virtual ~ILogLineSource() = default;
  virtual std::size_t Count() const = 0;
  // Lines [from, to) in order; a text is valid during its call only.
  virtual void Scan(std::size_t from, std::size_t to, const TVisit& visit) const = 0;
  // Appends the lines of [from, to) that the matcher takes, in order. A source may match
  // as it reads, without a call through a std::function per line.
  virtual void FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                         std::vector<std::size_t>& hits) const;
};

enum TSearchMode { smText, smPattern };

// The "xx xx xxxxxxxx xxxxxxxx xx" of an rx or tx line, found after the time stamp;
// the whole text for other lines.
std::string_view TelegramTextOf(TLogKind kind, std::string_view text);

// One query, prepared: a case-insensitive substring ("text", ASCII and the Latin-1
// letters in UTF-8 folded) or the rule engine's wildcard pattern ("pattern").
class TLineMatcher {
 public:
  TLineMatcher() = default;
  TLineMatcher(std::string_view query, TSearchMode mode);
  // An empty query, or a pattern of blanks only, finds nothing.
  bool FindsNothing() const { return empty_; }
  bool Matches(TLogKind kind, std::string_view text) const;

 private:
  bool FindFolded(std::string_view text) const;

  std::string query_;  // folded for text
  TSearchMode mode_ = smText;
  bool empty_ = true;
  unsigned char firstOther_ = 0;   // the query's first byte in the other case
  unsigned char secondOther_ = 0;  // and its second
};

// A visit of lines that appends the ones the matcher takes.
inline auto CollectHits(const TLineMatcher& matcher, std::vector<std::size_t>& hits) {
  return [&matcher, &hits](std::size_t index, TLogKind kind, std::string_view text) {
    if (matcher.Matches(kind, text)) hits.push_back(index);
  };
}

// Folds ASCII capitals and the capitals of Latin-1 in UTF-8 (U+00C0..U+00DE) to small ones.
void FoldCase(std::string_view text, std::string& into);

class TLogSearch {
 public:
  static constexpr std::size_t kStepLines = 1u << 20;
  static constexpr std::chrono::microseconds kStepTime{1000};
  // Lines between looks at the clock and at waiting work: some tens of microseconds.
  static constexpr std::size_t kChunkLines = 1024;

  explicit TLogSearch(const ILogLineSource& source) : source_(&source) {}

  // Asked between the chunks of a step: true means other work waits for this thread, and
  // the step ends after the chunk in hand. A step always gets one chunk done.
  void SetStepAside(std::function<bool()> stepAside) { stepAside_ = std::move(stepAside); }

  // Starts over with another query; what ran before is dropped.
  void Start(std::string_view query, TSearchMode mode);
  // Starts the same query over, e.g. after the log was cleared.
  void Restart();
  // Forgets the query: no hits, nothing to do.
  void Cancel();

  // Scans up to maxLines lines, stopping early once the time is used up or others wait. True when every
  // line of the source so far has been looked at. New lines make it false again.
  bool Step(std::size_t maxLines = kStepLines, std::chrono::microseconds time = kStepTime);
  bool Done() const { return !active_ || scanned_ >= source_->Count(); }
  bool Active() const { return active_; }
  std::size_t Scanned() const { return scanned_; }
  // 0 .. 1 of the lines so far.
  double Progress() const;

  const std::string& Query() const { return query_; }
  TSearchMode Mode() const { return mode_; }
  bool FindsNothing() const { return matcher_.FindsNothing(); }

  // The matching lines, in order: the filter.
  const std::vector<std::size_t>& Hits() const { return hits_; }
  // The first hit after the line (or the first of all), wrapping round to the first.
  std::optional<std::size_t> Next(std::optional<std::size_t> after) const;
  // The last hit before the line (or the last of all), wrapping round to the last.
  std::optional<std::size_t> Previous(std::optional<std::size_t> before) const;
  // 1-based position of a hit among the hits; 0 when the line is not one.
  std::size_t Ordinal(std::size_t line) const;

 private:
  const ILogLineSource* source_;
  std::function<bool()> stepAside_;
  std::string query_;
  TSearchMode mode_ = smText;
  TLineMatcher matcher_;
  bool active_ = false;
  std::size_t scanned_ = 0;
  std::vector<std::size_t> hits_;
};

}  // namespace ardel
