#pragma once
// The link log's lines on disk. Every line goes, in order, into the current file: a
// capture file of the run ("ardel-YYYYMMDD-HHMMSS.log", then "-2", "-3", ... past the
// size limit) or, while nothing is captured, a private unlinked file. Memory holds the
// bytes not yet written, the offset of every page's first line and a few decoded pages;
// old lines are read back from the files.
//
// A line on disk: "2026-12-09T02:41:21.123<TAB>kind<TAB>text<LF>", UTF-8 as given.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log/capture_settings.h"
#include "link/log_kind.h"
#include "log/log_search.h"

namespace ardel {

struct TStoredLine {
  std::string text;
  TLogKind kind = lkInfo;
};

struct TLogStoreOptions {
  std::size_t linesPerPage = 256;
  std::size_t cachedPages = 32;
  // Bytes that wait for one write; larger waits are written at once.
  std::size_t writeBytes = 256u << 10;
  // Lines kept in memory until a private file takes them, while nothing is captured;
  // while no disk takes them, the most that memory holds.
  std::size_t memoryBytes = 1u << 20;
  // How long capturing pauses after a failed write.
  std::chrono::seconds retryAfter{60};
};

class TLogStore : public ILogLineSource {
 public:
  using TTime = std::chrono::system_clock::time_point;
  // Read back in place of a line that no disk took, or that cannot be read back.
  static constexpr std::string_view kMissingLine = "(line missing: not kept, or cannot be read back)";

  explicit TLogStore(TLogStoreOptions options = {});
  ~TLogStore() override;
  TLogStore(const TLogStore&) = delete;
  TLogStore& operator=(const TLogStore&) = delete;

  // Captures from here on into files named after runStart (local time); capturing off
  // still puts the private file into the folder. The lines so far go into the first file.
  void StartCapture(const TCaptureSettings& settings, TTime runStart);

  void Append(TLogKind kind, TTime when, std::string_view text);
  // Empties the view; the capture goes on and notes it with an info line "log cleared".
  void Clear(TTime when);

  std::size_t Count() const override { return count_; }
  // Reads the pages in order, many at a time, past the cache and without a copy per line.
  void Scan(std::size_t from, std::size_t to, const TVisit& visit) const override;
  void FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                 std::vector<std::size_t>& hits) const override;
  TStoredLine Line(std::size_t index) const { return Peek(index); }
  // Valid until the next call on the store.
  const TStoredLine& Peek(std::size_t index) const;

  // Writes what waits once a second, and after a failure tries a new capture file once
  // the pause is over. Called often, it costs next to nothing.
  void Poll(TTime now);
  // Writes what waits now.
  void Flush();

  // What went wrong since the last call, one text per failure, naming the file.
  std::vector<std::string> TakeFailures();

  const TCaptureSettings& Settings() const { return settings_; }
  // The capture file that takes lines now; empty while nothing is captured.
  std::string CaptureFile() const;
  // Bytes of index memory, for the benchmarks.
  std::size_t IndexBytes() const;
  // Bytes of lines held in memory because no disk has taken them yet.
  std::size_t PendingBytes() const;

 private:
  struct TFile;
  struct TSegment {
    std::shared_ptr<TFile> file;
    std::size_t firstLine = 0;
    std::size_t count = 0;
    std::vector<std::uint64_t> pageStart;
    std::uint64_t end = 0;
    std::uint64_t id = 0;
  };
  struct TPage {
    std::uint64_t segment = 0;
    std::size_t page = 0;
    std::uint64_t used = 0;
    std::vector<TStoredLine> lines;
  };

  TFile& Target(TTime when);
  std::shared_ptr<TFile> OpenCapture(TTime when);
  void OpenPrivate(TFile& file, TTime when);
  bool Write(TFile& file, TTime when);
  // The pending bytes of a failed file into its private file in the temporary folder.
  bool Spill(TFile& file, TTime when);
  // The oldest pending lines leave memory, down to keep bytes, counted.
  void GiveUpOldest(TFile& file, std::size_t keep);
  void Close(TFile& file, TTime when);
  void Failed(TFile& file, int error, TTime when);
  void FormatLine(std::string& out, TTime when, TLogKind kind, std::string_view text);
  template <typename F>
  void ScanLines(std::size_t from, std::size_t to, F&& visit) const;
  TPage& CachePage(std::uint64_t segment, std::size_t page) const;
  void ReadPage(const TSegment& segment, std::size_t page, TPage& into) const;
  // The bytes of [from, to) of a segment's file into the buffer; false when the disk failed.
  bool ReadBytes(const TSegment& segment, std::uint64_t from, std::uint64_t to, std::string& into) const;

  TLogStoreOptions options_;
  TCaptureSettings settings_;
  bool started_ = false;
  std::string runName_;  // "ardel-YYYYMMDD-HHMMSS"
  int nextSuffix_ = 1;
  bool capturePaused_ = false;
  TTime retryAt_{};
  TTime lastWrite_{};
  TTime privateRetryAt_{};
  bool spillFailed_ = false;
  TTime spillRetryAt_{};
  std::size_t lostLines_ = 0;  // given up and not yet reported
  TTime lostReportAt_{};

  std::shared_ptr<TFile> current_;
  std::vector<TSegment> segments_;
  std::uint64_t nextSegmentId_ = 1;
  std::size_t count_ = 0;
  std::vector<std::string> failures_;

  mutable std::vector<TPage> cache_;
  mutable std::uint64_t useCounter_ = 0;
  mutable std::string scanBuffer_;

  std::int64_t stampSecond_ = INT64_MIN;
  char stamp_[64] = {};
};

// The time of a capture line: "2026-12-09T02:41:21.123", local time.
std::string CaptureTimeText(TLogStore::TTime when);

}  // namespace ardel
