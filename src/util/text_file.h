#pragma once
// Whole-file reading and writing for the data files. Writing goes to a new file beside
// the old one that is then renamed over it, so a crash or a full disk never leaves a
// truncated file behind.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ardel {

// A file that could not be read or written; the text (UTF-8) names the file and the
// cause.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file as bytes. Throws EFileError when it is missing or unreadable, not a
// regular file (a FIFO, a device or a directory is refused, never waited on), or
// larger than maxBytes.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes = 256u << 20);

// Replaces the file with the bytes, atomically: through a symbolic link to its target,
// by a new file of its own name in the target's folder, with the old file's mode bits.
// A file without write permission is not replaced, also for root. In a folder that
// cannot be written into, a writable file is written in place and flushed. Throws
// EFileError; the old file is then left as it was.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Nothing at all under the name, not even a link that leads nowhere. A name that cannot
// be looked at counts as taken: it may be someone's data.
bool NameIsFree(const std::string& path);
// Nothing where the name leads; a link that leads nowhere leaves it free.
bool TargetIsFree(const std::string& path);

// Lines ended by CR LF, a lone CR or a lone LF; an end after the last line adds no
// empty line.
std::vector<std::string> SplitLines(std::string_view text);

// The text for a terminal: every line end (CR LF, a lone CR) a LF, so that no part of
// a message overwrites another.
std::string WithLineFeeds(std::string_view text);

// Lines joined by CR LF, the last one ended too.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

}  // namespace ardel
