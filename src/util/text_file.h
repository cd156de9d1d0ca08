#pragma once
// Whole-file reading and writing for the data files. Writing goes to a new file beside
// the old one that is then renamed over it, so a crash or a full disk never leaves a
// truncated file behind.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ardel {

// A file that could not be read or written; the text names the file and the cause.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole file as bytes. Throws EFileError when it is missing or unreadable, or
// larger than maxBytes.
std::string ReadWholeFile(const std::string& path, std::size_t maxBytes = 256u << 20);

// Replaces the file with the bytes, atomically. Throws EFileError; the old file is
// then left as it was.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Lines ended by CR LF, a lone CR or a lone LF; an end after the last line adds no
// empty line.
std::vector<std::string> SplitLines(std::string_view text);

// Lines joined by CR LF, the last one ended too.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

}  // namespace ardel
