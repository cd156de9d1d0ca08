#include "log/log_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "log/capture_file.h"
#include "util/file_io.h"

namespace ardel {

// One file of lines, in four parts: [0, written) on its own file; once that failed,
// `spilled` bytes in a private file of the temporary folder; then `lost` bytes that no
// disk took and memory gave up; the rest, `pending`, in memory. A file without a
// descriptor holds everything in memory.
struct TLogStore::TFile {
  int fd = -1;
  int spillFd = -1;
  std::string path;  // empty for the private file
  bool capture = false;
  bool closed = false;  // takes no more lines
  bool failed = false;  // its own file takes no more bytes
  std::uint64_t written = 0;
  std::uint64_t spilled = 0;
  std::uint64_t lost = 0;
  std::string pending;

  std::uint64_t Kept() const { return written + spilled + lost; }
  std::uint64_t Size() const { return Kept() + pending.size(); }
  ~TFile() {
    if (fd >= 0) CloseFile(fd);
    if (spillFd >= 0) CloseFile(spillFd);
  }
};

namespace {

std::string Reason(int error) { return std::strerror(error); }

// A line as this store writes it, "time<TAB>kind<TAB>text", gives its kind and text; one
// without the two tabs, such as a line the disk garbled, reads as its whole text. The
// store wrote the time itself, so it is not checked: every line of a search passes here.
TLogKind SplitStoredLine(std::string_view line, std::string_view& text) {
  const std::size_t tab1 = line.size() > kCaptureTimeLength && line[kCaptureTimeLength] == '\t' ? kCaptureTimeLength : line.find('\t');
  std::size_t tab2 = tab1;
  if (tab1 != std::string_view::npos) {
    // The kind's word is short: no memchr call for it.
    do {
      ++tab2;
    } while (tab2 < line.size() && line[tab2] != '\t');
  }
  if (tab2 == std::string_view::npos || tab2 >= line.size()) {
    text = line;
    return lkInfo;
  }
  text = line.substr(tab2 + 1);
  return LogKindFromName(line.substr(tab1 + 1, tab2 - tab1 - 1)).value_or(lkInfo);
}

// "2026-12-09T02:41:21.": a capture line's time up to its milliseconds.
void FormatCaptureSecond(std::int64_t second, char* out, std::size_t size) {
  const std::tm local = LocalTime(static_cast<std::time_t>(second));
  std::snprintf(out, size, "%04d-%02d-%02dT%02d:%02d:%02d.", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Writes all of bytes at offset; on a failure the bytes written are cut back to the last
// whole line, so that no reader meets half a line. The bytes kept, and the error.
std::size_t WriteWholeLines(int fd, std::uint64_t offset, std::string_view bytes, int& error) {
  std::size_t done = 0;
  error = 0;
  while (done < bytes.size()) {
    const std::int64_t n = WriteAt(fd, bytes.data() + done, bytes.size() - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error != 0 && done > 0) {
    const std::size_t lineEnd = bytes.rfind('\n', done - 1);
    const std::size_t whole = lineEnd == std::string_view::npos ? 0 : lineEnd + 1;
    if (whole < done && TruncateFile(fd, offset + whole)) done = whole;
  }
  return done;
}

}  // namespace

TLogStore::TLogStore(TLogStoreOptions options) : options_(options) {
  options_.linesPerPage = std::max<std::size_t>(1, options_.linesPerPage);
  options_.cachedPages = std::max<std::size_t>(2, options_.cachedPages);
  // Peek hands out references into the cache; it never moves.
  cache_.reserve(options_.cachedPages);
}

TLogStore::~TLogStore() { Flush(); }

void TLogStore::StartCapture(const TCaptureSettings& settings, TTime runStart) {
  settings_ = settings;
  started_ = true;
  capturePaused_ = false;
  nextSuffix_ = 1;
  const std::tm local = LocalTime(std::chrono::system_clock::to_time_t(runStart));
  char name[40];
  std::snprintf(name, sizeof name, "ardel-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  runName_ = name;
  if (!settings_.capture || settings_.folder.empty()) return;
  std::shared_ptr<TFile> capture = OpenCapture(runStart);
  if (current_ != nullptr && capture == nullptr) Close(*current_, runStart);
  if (capture == nullptr) return;
  // The lines from before, still in memory, become the start of the first file, so the
  // capture holds the run from its first line.
  if (current_ != nullptr && current_->fd < 0 && current_->Kept() == 0 && !current_->pending.empty()) {
    current_->fd = capture->fd;
    current_->path = capture->path;
    current_->capture = true;
    current_->closed = false;
    capture->fd = -1;
    Write(*current_, runStart);
    return;
  }
  if (current_ != nullptr) Close(*current_, runStart);
  current_ = std::move(capture);
}

std::shared_ptr<TLogStore::TFile> TLogStore::OpenCapture(TTime when) {
  auto pause = [&](std::string text) {
    failures_.push_back(std::move(text) + "; capturing pauses and starts a new file in a minute");
    capturePaused_ = true;
    retryAt_ = when + options_.retryAfter;
    return nullptr;
  };
  std::error_code error;
  std::filesystem::create_directories(settings_.folder, error);
  if (error) return pause("cannot create the capture folder " + settings_.folder + ": " + error.message());
  // Never over an existing file: a run that starts in the same second takes the next number.
  for (int tries = 0; tries < 10000; ++tries, ++nextSuffix_) {
    std::string path = settings_.folder + runName_;
    if (nextSuffix_ > 1) path += "-" + std::to_string(nextSuffix_);
    path += ".log";
    const int fd = CreateNewFile(path);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return pause("cannot open the capture " + path + ": " + Reason(errno));
    ++nextSuffix_;
    auto file = std::make_shared<TFile>();
    file->fd = fd;
    file->path = std::move(path);
    file->capture = true;
    return file;
  }
  return pause("cannot find a free capture file name for " + settings_.folder + runName_);
}

void TLogStore::OpenPrivate(TFile& file, TTime when) {
  if (file.fd >= 0 || file.Kept() != 0 || when < privateRetryAt_) return;
  std::string directory = settings_.folder;
  int fd = -1;
  if (!directory.empty()) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    fd = OpenUnlinkedFile(directory);
  }
  if (fd < 0) fd = OpenUnlinkedFile(TemporaryDirectory());
  if (fd < 0) {
    // The lines stay in memory; another try later.
    privateRetryAt_ = when + options_.retryAfter;
    return;
  }
  file.fd = fd;
  Write(file, when);
}

bool TLogStore::Write(TFile& file, TTime when) {
  lastWrite_ = when;
  if (file.pending.empty()) return true;
  if (file.failed) return Spill(file, when);
  if (file.fd < 0) return true;
  int error = 0;
  // A cut line on disk reads as garbage to every reader of the capture: the file goes
  // back to its last whole line, and the rest stays in memory.
  const std::size_t done = WriteWholeLines(file.fd, file.written, file.pending, error);
  file.written += done;
  file.pending.erase(0, done);
  if (error == 0) return true;
  Failed(file, error, when);
  Spill(file, when);
  return false;
}

bool TLogStore::Spill(TFile& file, TTime when) {
  // Behind lines already given up there is no place in the file's order.
  if (file.pending.empty() || file.lost > 0) return file.pending.empty();
  if (file.spillFd < 0 || spillFailed_) {
    if (when < spillRetryAt_) return false;
    spillFailed_ = false;
  }
  // Not the folder that just failed: the temporary folder is most often another disk.
  if (file.spillFd < 0) file.spillFd = OpenUnlinkedFile(TemporaryDirectory());
  int error = file.spillFd < 0 ? errno : 0;
  if (file.spillFd >= 0) {
    const std::size_t done = WriteWholeLines(file.spillFd, file.spilled, file.pending, error);
    file.spilled += done;
    file.pending.erase(0, done);
  }
  if (error == 0) return true;
  spillFailed_ = true;
  spillRetryAt_ = when + options_.retryAfter;
  return false;
}

void TLogStore::GiveUpOldest(TFile& file, std::size_t keep) {
  if (file.pending.size() <= keep) return;
  // Whole lines only, from the oldest on.
  const std::size_t cut = file.pending.find('\n', file.pending.size() - keep - 1);
  if (cut == std::string::npos) return;
  const std::size_t bytes = cut + 1;
  lostLines_ += static_cast<std::size_t>(std::count(file.pending.begin(), file.pending.begin() + static_cast<std::ptrdiff_t>(bytes), '\n'));
  file.lost += bytes;
  file.pending.erase(0, bytes);
}

void TLogStore::Close(TFile& file, TTime when) {
  if (file.fd < 0 && !file.failed && file.Kept() == 0 && !file.pending.empty()) {
    privateRetryAt_ = {};
    OpenPrivate(file, when);
  }
  Write(file, when);
  // A closed file's lines that no disk took leave memory: only the current file may hold
  // any, so that memory stays bounded however long the disks stay full.
  if (file.failed || file.fd < 0) GiveUpOldest(file, 0);
  file.closed = true;
}

void TLogStore::Failed(TFile& file, int error, TTime when) {
  // What did not reach the disk goes to the temporary folder, else stays in memory, so
  // the view keeps every line it can.
  file.failed = true;
  if (file.capture) {
    std::string text = "cannot write the capture " + file.path + ": " + Reason(error);
    // No empty file left behind for every try while the disk is full.
    if (file.written == 0 && RemoveFile(file.path)) text += " (removed, as it held nothing)";
    failures_.push_back(text + "; capturing pauses and starts a new file in a minute");
    capturePaused_ = true;
    retryAt_ = when + options_.retryAfter;
  } else {
    privateRetryAt_ = when + options_.retryAfter;
  }
}

TLogStore::TFile& TLogStore::Target(TTime when) {
  if (current_ != nullptr && !current_->closed) {
    // A failed file takes the lines until the pause is over.
    if (!current_->capture || current_->failed || current_->Size() < settings_.maxFileBytes) return *current_;
    // Past its limit: the file is finished and the next one takes the line.
    Close(*current_, when);
  }
  current_ = nullptr;
  if (started_ && settings_.capture && !settings_.folder.empty() && !capturePaused_) current_ = OpenCapture(when);
  if (current_ == nullptr) current_ = std::make_shared<TFile>();
  return *current_;
}

void TLogStore::FormatLine(std::string& out, TTime when, TLogKind kind, std::string_view text) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const int milli = static_cast<int>(ms - second * 1000);
  if (second != stampSecond_) {
    FormatCaptureSecond(second, stamp_, sizeof stamp_);
    stampSecond_ = second;
  }
  out += stamp_;
  out.push_back(static_cast<char>('0' + milli / 100));
  out.push_back(static_cast<char>('0' + milli / 10 % 10));
  out.push_back(static_cast<char>('0' + milli % 10));
  out.push_back('\t');
  out += LogKindName(kind);
  out.push_back('\t');
  out += text;
  out.push_back('\n');
}

void TLogStore::Append(TLogKind kind, TTime when, std::string_view text) {
  // A line break inside a text would make two lines of one on disk.
  std::string clean;
  // Two passes of memchr: find_first_of would call it once per byte of the text.
  if (text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos) {
    clean.assign(text);
    std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    text = clean;
  }
  TFile& file = Target(when);
  if (segments_.empty() || segments_.back().file.get() != &file) {
    segments_.push_back(TSegment{current_, count_, 0, {}, file.Size(), nextSegmentId_++});
  }
  TSegment& segment = segments_.back();
  const std::size_t page = segment.count / options_.linesPerPage;
  const bool newPage = segment.count % options_.linesPerPage == 0;
  if (newPage) segment.pageStart.push_back(file.Size());
  FormatLine(file.pending, when, kind, text);
  ++segment.count;
  segment.end = file.Size();
  ++count_;

  // The newest page stays decoded: a view that follows the end never reads the disk.
  TPage* tail = nullptr;
  if (newPage) {
    tail = &CachePage(segment.id, page);
    tail->lines.clear();
  } else {
    for (TPage& cached : cache_) {
      if (cached.segment == segment.id && cached.page == page) tail = &cached;
    }
  }
  if (tail != nullptr) tail->lines.push_back(TStoredLine{std::string(text), kind});

  if (file.fd >= 0 || file.failed) {
    if (file.pending.size() >= options_.writeBytes) Write(file, when);
  } else if (!file.capture && file.pending.size() >= options_.memoryBytes) {
    OpenPrivate(file, when);
  }
  // No disk takes them: the oldest leave memory, half of it at a time.
  if (file.pending.size() >= options_.memoryBytes && (file.failed || file.fd < 0)) {
    GiveUpOldest(file, options_.memoryBytes / 2);
  }
}

void TLogStore::Clear(TTime when) {
  if (started_ && settings_.capture && !capturePaused_) {
    TFile& file = Target(when);
    if (file.capture) FormatLine(file.pending, when, lkInfo, "log cleared");
  }
  segments_.clear();
  cache_.clear();
  count_ = 0;
  // Lines that only the view had go with it.
  if (current_ != nullptr && !current_->capture) current_ = nullptr;
}

TLogStore::TPage& TLogStore::CachePage(std::uint64_t segment, std::size_t page) const {
  TPage* slot = nullptr;
  if (cache_.size() < options_.cachedPages) {
    slot = &cache_.emplace_back();
  } else {
    slot = &*std::min_element(cache_.begin(), cache_.end(),
                              [](const TPage& a, const TPage& b) { return a.used < b.used; });
  }
  slot->segment = segment;
  slot->page = page;
  slot->used = ++useCounter_;
  return *slot;
}

bool TLogStore::ReadBytes(const TSegment& segment, std::uint64_t from, std::uint64_t to, std::string& bytes) const {
  const TFile& file = *segment.file;
  bytes.clear();
  // Appends [from, min(to, end)) of a file that holds the bytes from `base` on.
  auto readFile = [&](int fd, std::uint64_t base, std::uint64_t end) {
    if (from >= end || from >= to) return true;
    const std::size_t want = static_cast<std::size_t>(std::min(to, end) - from);
    const std::size_t at = bytes.size();
    bytes.resize(at + want);
    std::size_t got = 0;
    while (got < want) {
      const std::int64_t n = ReadAt(fd, bytes.data() + at + got, want - got, from - base + got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(at + got);
    from += got;
    return got == want;
  };
  if (!readFile(file.fd, 0, file.written)) return false;
  if (!readFile(file.spillFd, file.written, file.written + file.spilled)) return false;
  // Lines given up: the reader marks them.
  if (from < file.Kept() && from < to) return false;
  if (to > from) {
    bytes.append(file.pending, static_cast<std::size_t>(from - file.Kept()), static_cast<std::size_t>(to - from));
  }
  return true;
}

void TLogStore::Scan(std::size_t from, std::size_t to, const TVisit& visit) const { ScanLines(from, to, visit); }

void TLogStore::FindLines(std::size_t from, std::size_t to, const TLineMatcher& matcher,
                          std::vector<std::size_t>& hits) const {
  ScanLines(from, to, CollectHits(matcher, hits));
}

template <typename F>
void TLogStore::ScanLines(std::size_t from, std::size_t to, F&& visit) const {
  to = std::min(to, count_);
  if (from >= to) return;
  // A few hundred kilobytes per read, and no page past the one of the last line asked for.
  const std::size_t pagesPerRead = std::max<std::size_t>(1, 4096 / options_.linesPerPage);
  auto it = std::upper_bound(segments_.begin(), segments_.end(), from,
                             [](std::size_t i, const TSegment& s) { return i < s.firstLine; }) - 1;
  std::size_t index = from;
  for (; it != segments_.end() && index < to; ++it) {
    const TSegment& segment = *it;
    std::size_t page = (index - segment.firstLine) / options_.linesPerPage;
    const std::size_t segmentEnd = std::min(to, segment.firstLine + segment.count);
    while (index < segmentEnd) {
      const std::size_t lastPage = std::min(
          {segment.pageStart.size(), page + pagesPerRead, (segmentEnd - 1 - segment.firstLine) / options_.linesPerPage + 1});
      const std::uint64_t begin = segment.pageStart[page];
      const std::uint64_t end = lastPage < segment.pageStart.size() ? segment.pageStart[lastPage] : segment.end;
      std::size_t line = segment.firstLine + page * options_.linesPerPage;
      const std::size_t readEnd = std::min(segmentEnd, segment.firstLine + lastPage * options_.linesPerPage);
      // What cannot be read back, or was given up, reads as marked lines.
      ReadBytes(segment, begin, end, scanBuffer_);
      std::string_view rest = scanBuffer_;
      while (line < readEnd) {
        std::string_view text = TLogStore::kMissingLine;
        TLogKind kind = lkError;
        if (!rest.empty()) {
          const std::size_t stop = rest.find('\n');
          const std::string_view whole = rest.substr(0, stop);
          rest = stop == std::string_view::npos ? std::string_view() : rest.substr(stop + 1);
          kind = SplitStoredLine(whole, text);
        }
        if (line >= index) visit(line, kind, text);
        ++line;
      }
      index = readEnd;
      page = lastPage;
    }
  }
}

void TLogStore::ReadPage(const TSegment& segment, std::size_t page, TPage& into) const {
  const std::uint64_t from = segment.pageStart[page];
  const std::uint64_t to = page + 1 < segment.pageStart.size() ? segment.pageStart[page + 1] : segment.end;
  std::string bytes;
  // What cannot be read back stays short; the lines below are marked.
  ReadBytes(segment, from, to, bytes);

  const std::size_t expected =
      std::min(options_.linesPerPage, segment.count - page * options_.linesPerPage);
  into.lines.clear();
  into.lines.reserve(expected);
  std::string_view rest(bytes);
  while (into.lines.size() < expected && !rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    TStoredLine stored;
    std::string_view text;
    stored.kind = SplitStoredLine(line, text);
    stored.text.assign(text);
    into.lines.push_back(std::move(stored));
  }
  // A file that cannot be read back leaves its lines empty rather than shifting the rest.
  while (into.lines.size() < expected) into.lines.push_back(TStoredLine{std::string(TLogStore::kMissingLine), lkError});
}

const TStoredLine& TLogStore::Peek(std::size_t index) const {
  static const TStoredLine kNone;
  if (index >= count_) return kNone;
  const auto it = std::upper_bound(segments_.begin(), segments_.end(), index,
                                   [](std::size_t i, const TSegment& s) { return i < s.firstLine; });
  const TSegment& segment = *(it - 1);
  const std::size_t inSegment = index - segment.firstLine;
  const std::size_t page = inSegment / options_.linesPerPage;
  const std::size_t line = inSegment % options_.linesPerPage;
  for (TPage& cached : cache_) {
    if (cached.segment == segment.id && cached.page == page && line < cached.lines.size()) {
      cached.used = ++useCounter_;
      return cached.lines[line];
    }
  }
  TPage& slot = CachePage(segment.id, page);
  // Any other copy of this page is older than the file; it must not be found first.
  for (TPage& cached : cache_) {
    if (&cached != &slot && cached.segment == segment.id && cached.page == page) cached.segment = 0;
  }
  ReadPage(segment, page, slot);
  return slot.lines[line];
}

void TLogStore::Poll(TTime now) {
  if (capturePaused_ && now >= retryAt_) {
    capturePaused_ = false;
    if (current_ != nullptr) Close(*current_, now);
    current_ = nullptr;
    Target(now);
  }
  if (current_ != nullptr && (current_->fd >= 0 || current_->failed) && !current_->pending.empty() &&
      (now - lastWrite_ >= std::chrono::seconds(1) || now < lastWrite_)) {
    Write(*current_, now);
  }
  // One line for all given up since the last one, at most once per pause.
  if (lostLines_ > 0 && (now >= lostReportAt_ || now + options_.retryAfter < lostReportAt_)) {
    failures_.push_back(std::to_string(lostLines_) + (lostLines_ == 1 ? " line" : " lines") +
                        " of the log not kept: no disk took them; the view marks where they are missing");
    lostLines_ = 0;
    lostReportAt_ = now + options_.retryAfter;
  }
}

void TLogStore::Flush() {
  if (current_ != nullptr && (current_->fd >= 0 || current_->failed)) Write(*current_, std::chrono::system_clock::now());
}

std::vector<std::string> TLogStore::TakeFailures() {
  std::vector<std::string> taken;
  taken.swap(failures_);
  return taken;
}

std::string TLogStore::CaptureFile() const {
  return current_ != nullptr && current_->capture && !current_->closed && !current_->failed ? current_->path
                                                                                          : std::string();
}

std::size_t TLogStore::PendingBytes() const {
  std::size_t bytes = 0;
  const TFile* last = nullptr;
  for (const TSegment& segment : segments_) {
    if (segment.file.get() != last) bytes += segment.file->pending.size();
    last = segment.file.get();
  }
  if (current_ != nullptr && current_.get() != last) bytes += current_->pending.size();
  return bytes;
}

std::size_t TLogStore::IndexBytes() const {
  std::size_t bytes = segments_.capacity() * sizeof(TSegment);
  for (const TSegment& segment : segments_) bytes += segment.pageStart.capacity() * sizeof(std::uint64_t);
  return bytes;
}

std::string CaptureTimeText(TLogStore::TTime when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  char text[48];
  FormatCaptureSecond(second, text, sizeof text);
  const std::size_t length = std::strlen(text);
  std::snprintf(text + length, sizeof text - length, "%03d", static_cast<int>(ms - second * 1000));
  return text;
}

}  // namespace ardel
