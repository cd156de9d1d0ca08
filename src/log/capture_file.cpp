#include "log/capture_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "util/file_io.h"

namespace ardel {
namespace {

constexpr std::size_t kCachedPages = 16;
constexpr std::size_t kReadBytes = 4u << 20;

// "YYYY-MM-DDTHH:MM:SS.mmm": the separators at their places, digits elsewhere. Every
// line of a search passes here, so no branch per digit.
bool HasTimeShape(std::string_view line) {
  if (line[4] != '-' || line[7] != '-' || line[10] != 'T' || line[13] != ':' || line[16] != ':' || line[19] != '.') {
    return false;
  }
  static constexpr std::uint8_t kDigits[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22};
  bool digits = true;
  for (const std::uint8_t i : kDigits) digits &= static_cast<unsigned char>(line[i] - '0') <= 9;
  return digits;
}

}  // namespace

bool ParseCaptureLine(std::string_view line, TCaptureLine& into) {
  if (line.size() < kCaptureTimeLength + 2 || !HasTimeShape(line) || line[kCaptureTimeLength] != '\t') return false;
  // The kind's word is short: no memchr call for it.
  std::size_t tab = kCaptureTimeLength + 1;
  while (tab < line.size() && line[tab] != '\t') ++tab;
  if (tab == line.size()) return false;
  const std::optional<TLogKind> kind = LogKindFromName(line.substr(kCaptureTimeLength + 1, tab - kCaptureTimeLength - 1));
  if (!kind) return false;
  into.time = line.substr(0, kCaptureTimeLength);
  into.kind = *kind;
  into.text = line.substr(tab + 1);
  return true;
}

template <typename F>
void TCaptureFile::ForEachLine(std::string_view bytes, F&& visit) {
  while (!bytes.empty()) {
    const std::size_t stop = bytes.find('\n');
    std::string_view line = bytes.substr(0, stop);
    bytes = stop == std::string_view::npos ? std::string_view() : bytes.substr(stop + 1);
    // A capture that went through a Windows editor keeps its lines.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    TCaptureLine parsed;
    if (ParseCaptureLine(line, parsed)) visit(parsed);
  }
}

TCaptureFile::~TCaptureFile() {
  if (fd_ >= 0) CloseFile(fd_);
}

bool TCaptureFile::Open(const std::string& path) {
  path_ = path;
  // Without blocking: a FIFO or a device would wait in open() for a writer.
  fd_ = OpenToRead(path);
  if (fd_ < 0) {
    error_ = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!IsRegularFile(fd_)) {
    error_ = "cannot open " + path + ": not a file";
    return false;
  }
  ReadSequentially(fd_);
  std::string buffer;
  std::string carry;  // the start of a line that the last read cut
  std::uint64_t offset = 0;  // of buffer[0] in the file, counting carry
  bool skipping = false;  // in a line too long to keep, up to its end
  bool newPage = true;
  std::size_t inPage = 0;
  for (;;) {
    buffer.assign(carry);
    const std::size_t kept = buffer.size();
    buffer.resize(kept + kReadBytes);
    std::int64_t n = 0;
    do {
      n = ReadAt(fd_, buffer.data() + kept, kReadBytes, offset + kept);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      error_ = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    buffer.resize(kept + static_cast<std::size_t>(n));
    if (n == 0) break;
    std::string_view rest(buffer);
    std::uint64_t at = offset;
    if (skipping) {
      const std::size_t stop = rest.find('\n');
      if (stop == std::string_view::npos) {
        offset += buffer.size();
        carry.clear();
        continue;
      }
      at += stop + 1;
      rest.remove_prefix(stop + 1);
      skipping = false;
    }
    for (std::size_t stop; (stop = rest.find('\n')) != std::string_view::npos;) {
      std::string_view line = rest.substr(0, stop);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      TCaptureLine parsed;
      if (stop > kLongestLine) {
        // A page never reaches over it, so no read holds it.
        ++unreadable_;
        newPage = true;
      } else if (ParseCaptureLine(line, parsed)) {
        if (newPage || inPage == kLinesPerPage) {
          pageStart_.push_back(at);
          pageEnd_.push_back(at);
          pageFirst_.push_back(count_);
          newPage = false;
          inPage = 0;
        }
        ++inPage;
        pageEnd_.back() = at + stop + 1;
        if (count_ == 0) firstTime_.assign(parsed.time);
        lastTime_.assign(parsed.time);
        ++count_;
      } else {
        ++unreadable_;
      }
      at += stop + 1;
      rest.remove_prefix(stop + 1);
    }
    if (rest.size() > kLongestLine) {
      ++unreadable_;
      newPage = true;
      skipping = true;
      carry.clear();
      offset = at + rest.size();
    } else {
      carry.assign(rest);
      offset = at;
    }
  }
  // A last line without its line break was cut while it was written.
  if (!carry.empty()) ++unreadable_;
  cache_.reserve(kCachedPages);
  return true;
}

std::size_t TCaptureFile::PageOf(std::size_t index) const {
  return static_cast<std::size_t>(std::upper_bound(pageFirst_.begin(), pageFirst_.end(), index) - pageFirst_.begin()) - 1;
}

std::size_t TCaptureFile::LinesIn(std::size_t page) const {
  return (page + 1 < pageFirst_.size() ? pageFirst_[page + 1] : count_) - pageFirst_[page];
}

bool TCaptureFile::Read(std::uint64_t from, std::uint64_t to, std::string& into) const {
  into.resize(static_cast<std::size_t>(to - from));
  std::size_t got = 0;
  while (got < into.size()) {
    const std::int64_t n = ReadAt(fd_, into.data() + got, into.size() - got, from + got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  into.resize(got);
  return got == static_cast<std::size_t>(to - from);
}

const TCaptureFile::TPage& TCaptureFile::LoadPage(std::size_t page) const {
  for (TPage& cached : cache_) {
    if (cached.page == page) {
      cached.used = ++useCounter_;
      return cached;
    }
  }
  TPage* slot = cache_.size() < kCachedPages
                    ? &cache_.emplace_back()
                    : &*std::min_element(cache_.begin(), cache_.end(),
                                         [](const TPage& a, const TPage& b) { return a.used < b.used; });
  slot->page = page;
  slot->used = ++useCounter_;
  Read(pageStart_[page], pageEnd_[page], slot->bytes);
  const std::size_t expected = LinesIn(page);
  slot->lines.clear();
  ForEachLine(slot->bytes, [&](const TCaptureLine& line) {
    if (slot->lines.size() < expected) slot->lines.push_back(line);
  });
  // A file changed under us leaves its lines empty rather than shifting the rest.
  while (slot->lines.size() < expected) slot->lines.push_back(TCaptureLine{{}, lkError, "(cannot read this line)"});
  return *slot;
}

const TCaptureLine& TCaptureFile::Peek(std::size_t index) const {
  static const TCaptureLine kNone;
  if (index >= count_) return kNone;
  const std::size_t page = PageOf(index);
  return LoadPage(page).lines[index - pageFirst_[page]];
}

void TCaptureFile::Scan(std::size_t from, std::size_t to, const TVisit& visit) const { ScanLines(from, to, visit); }

void TCaptureFile::FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                             std::vector<std::size_t>& hits) const {
  ScanLines(from, to, CollectHits(matcher, hits));
}

template <typename F>
void TCaptureFile::ScanLines(std::size_t from, std::size_t to, F&& visit) const {
  to = std::min(to, count_);
  if (from >= to) return;
  const std::size_t pagesPerRead = 4096 / kLinesPerPage;
  std::size_t page = PageOf(from);
  std::size_t line = pageFirst_[page];
  while (line < to) {
    // Pages that follow each other on disk, and no page past the one of the last line
    // asked for: a search's chunk reads no more, and no read spans a line left out as
    // too long.
    std::size_t lastPage = page + 1;
    while (lastPage < pageStart_.size() && lastPage < page + pagesPerRead && pageFirst_[lastPage] < to &&
           pageStart_[lastPage] == pageEnd_[lastPage - 1]) {
      ++lastPage;
    }
    const std::size_t readEnd = std::min(to, lastPage < pageFirst_.size() ? pageFirst_[lastPage] : count_);
    Read(pageStart_[page], pageEnd_[lastPage - 1], scanBuffer_);
    ForEachLine(scanBuffer_, [&](const TCaptureLine& parsed) {
      if (line >= from && line < readEnd) visit(line, parsed.kind, parsed.text);
      ++line;
    });
    line = readEnd;
    page = lastPage;
  }
}

}  // namespace ardel
