#pragma once
// A capture file opened read-only, as it lies on disk: one pass over it keeps the
// offset of every page's first readable line, pages are read back as they are needed.
// Lines that are not of the capture's form, and a cut last line, are left out and
// counted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/log_kind.h"
#include "log/log_search.h"

namespace ardel {

// "2026-12-09T02:41:21.123<TAB>kind<TAB>text", without its line break.
struct TCaptureLine {
  std::string_view time;  // "2026-12-09T02:41:21.123"
  TLogKind kind = lkInfo;
  std::string_view text;
};

constexpr std::size_t kCaptureTimeLength = 23;

// False for a line that is not of that form; the views point into the line.
bool ParseCaptureLine(std::string_view line, TCaptureLine& into);

class TCaptureFile : public ILogLineSource {
 public:
  static constexpr std::size_t kLinesPerPage = 256;
  // A longer line is left out, counted as unreadable, and never held whole.
  static constexpr std::size_t kLongestLine = 1u << 20;

  TCaptureFile() = default;
  ~TCaptureFile() override;
  TCaptureFile(const TCaptureFile&) = delete;
  TCaptureFile& operator=(const TCaptureFile&) = delete;

  // False with Error() when the file cannot be opened or read.
  bool Open(const std::string& path);
  const std::string& Error() const { return error_; }
  const std::string& Path() const { return path_; }

  std::size_t Count() const override { return count_; }
  void Scan(std::size_t from, std::size_t to, const TVisit& visit) const override;
  void FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                 std::vector<std::size_t>& hits) const override;
  // Valid until the next call on the file.
  const TCaptureLine& Peek(std::size_t index) const;

  // Lines left out: not of the capture's form, or the last one cut.
  std::size_t Unreadable() const { return unreadable_; }
  // The times of the first and the last line read; empty without lines.
  const std::string& FirstTime() const { return firstTime_; }
  const std::string& LastTime() const { return lastTime_; }
  // Bytes of index memory, for the benchmarks.
  std::size_t IndexBytes() const {
    return (pageStart_.capacity() + pageEnd_.capacity()) * sizeof(std::uint64_t) + pageFirst_.capacity() * sizeof(std::size_t);
  }

 private:
  struct TPage {
    std::size_t page = SIZE_MAX;
    std::uint64_t used = 0;
    std::string bytes;
    std::vector<TCaptureLine> lines;
  };
  bool Read(std::uint64_t from, std::uint64_t to, std::string& into) const;
  const TPage& LoadPage(std::size_t page) const;
  std::size_t PageOf(std::size_t index) const;
  std::size_t LinesIn(std::size_t page) const;
  // Calls visit for each readable line of the bytes, which hold whole lines.
  template <typename F>
  static void ForEachLine(std::string_view bytes, F&& visit);
  template <typename F>
  void ScanLines(std::size_t from, std::size_t to, F&& visit) const;

  int fd_ = -1;
  std::string path_;
  std::string error_;
  std::size_t count_ = 0;
  std::size_t unreadable_ = 0;
  // A page holds up to kLinesPerPage readable lines; one ends early before a line too
  // long to read, so that no read of a page holds that line.
  std::vector<std::uint64_t> pageStart_;
  std::vector<std::uint64_t> pageEnd_;  // after the page's last readable line
  std::vector<std::size_t> pageFirst_;  // the number of its first line
  std::string firstTime_, lastTime_;
  mutable std::vector<TPage> cache_;
  mutable std::uint64_t useCounter_ = 0;
  mutable std::string scanBuffer_;
};

}  // namespace ardel
