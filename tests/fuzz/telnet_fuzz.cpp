// The Telnet reader against any bytes a hostile server may send. Its data bytes are
// compared with a reading written another way: over the whole stream at once, finding
// each command's end by index. Fed in pieces of sizes taken from the first byte, it must
// give the same data and the same answers as fed at once; its answers are well-formed
// commands; and the escape of the stream, read back, is the stream.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "serial/telnet_codec.h"

namespace {

using namespace ardel::telnet;

std::uint8_t At(std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

std::string DataOfWholeStream(std::string_view s) {
  std::string data;
  std::size_t i = 0;
  while (i < s.size()) {
    if (At(s, i) != kIac) {
      data.push_back(s[i++]);
      continue;
    }
    if (i + 1 >= s.size()) break;
    const std::uint8_t command = At(s, i + 1);
    if (command == kIac) {
      data.push_back(s[i + 1]);
      i += 2;
    } else if (command >= kWill) {
      i += 3;  // verb and option
    } else if (command != kSb) {
      i += 2;
    } else {
      // To the first IAC that is not doubled: SE closes it, anything else starts over.
      std::size_t j = i + 2;
      for (;;) {
        while (j < s.size() && At(s, j) != kIac) ++j;
        if (j + 1 >= s.size()) return data;
        if (At(s, j + 1) == kIac) {
          j += 2;
          continue;
        }
        break;
      }
      i = At(s, j + 1) == kSe ? j + 2 : j;
    }
  }
  return data;
}

// Only IAC DO/DONT/WILL/WONT option triples.
bool WellFormedReplies(std::string_view r) {
  if (r.size() % 3 != 0) return false;
  for (std::size_t i = 0; i < r.size(); i += 3) {
    if (At(r, i) != kIac || At(r, i + 1) < kWill) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  const unsigned seed = bytes[0];
  const std::string_view stream(reinterpret_cast<const char*>(bytes) + 1, size - 1);

  TDecoder whole;
  std::string start = whole.Start({});
  std::string wholeData;
  std::string wholeReplies;
  whole.Feed(stream, wholeData, wholeReplies);

  TDecoder pieces;
  FUZZ_CHECK(pieces.Start({}) == start);
  std::string pieceData;
  std::string pieceReplies;
  for (std::size_t pos = 0, n = 0; pos < stream.size(); ++n) {
    const std::size_t length = 1 + ((seed * 31 + n * 17) % 7);
    pieces.Feed(stream.substr(pos, length), pieceData, pieceReplies);
    pos += length;
  }
  FUZZ_CHECK(pieceData == wholeData);
  FUZZ_CHECK(pieceReplies == wholeReplies);
  FUZZ_CHECK(wholeData == DataOfWholeStream(stream));
  FUZZ_CHECK(WellFormedReplies(wholeReplies));
  // Never more than one answer per command read.
  FUZZ_CHECK(wholeReplies.size() <= stream.size());

  TDecoder back;
  back.Start({});
  std::string data;
  std::string replies;
  back.Feed(Escape(stream), data, replies);
  FUZZ_CHECK(data == stream);
  FUZZ_CHECK(replies.empty());
  return 0;
}
