#include "util/text_encoding.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "link/time_stamp.h"
#include "support/locales.h"

namespace ardel {
namespace {

TEST(TextEncoding, Latin1BytesBecomeTheirCharacters) {
  struct Case {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"g\xFCltig", "g\xC3\xBCltig"},
      {"\xA0\xFF", "\xC2\xA0\xC3\xBF"},
      {std::string("\0\x7F\x80", 3), std::string("\0\x7F\xC2\x80", 4)},
  };
  for (const auto& c : cases) EXPECT_EQ(Latin1ToUtf8(c.bytes), c.utf8) << c.bytes;
}

// 2026-01-02 03:04:05 local time.
std::chrono::system_clock::time_point Moment() {
  std::tm when{};
  when.tm_year = 126;
  when.tm_mon = 0;
  when.tm_mday = 2;
  when.tm_hour = 3;
  when.tm_min = 4;
  when.tm_sec = 5;
  when.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&when));
}

// The Japanese formats hold non-ASCII characters; in either of the locale's encodings
// the time stamp is the same UTF-8 text.
TEST(TextEncoding, TimeStampIsUtf8InEveryEncoding) {
  const std::string expected = "2026\xE5\xB9\xB4" "01\xE6\x9C\x88" "02\xE6\x97\xA5 03\xE6\x99\x82" "04\xE5\x88\x86" "05\xE7\xA7\x92";
  for (const char* charmap : {"UTF-8", "EUC-JP"}) {
    SCOPED_TRACE(charmap);
    if (!testing::UseGeneratedLocale("ja_JP", charmap)) GTEST_SKIP() << "localedef cannot make ja_JP." << charmap;
    EXPECT_EQ(TimeStampText(Moment()), expected);
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(TimeStampText(Moment()), "02.01.2026 03:04:05");
}

// In EUC-JP a system text is converted to UTF-8 and back for the terminal; what the
// locale cannot hold shows as "?" or U+FFFD, never as bytes of another encoding.
TEST(TextEncoding, LocaleTextsBothWays) {
  if (!testing::UseGeneratedLocale("ja_JP", "EUC-JP")) GTEST_SKIP() << "localedef cannot make ja_JP.EUC-JP";
  const std::string nihonEuc = "\xC6\xFC\xCB\xDC";  // 日本
  const std::string nihonUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC";
  EXPECT_EQ(LocaleToUtf8("/tmp/" + nihonEuc + "/veskData.txt"), "/tmp/" + nihonUtf8 + "/veskData.txt");
  EXPECT_EQ(Utf8ToLocale("cannot open /tmp/" + nihonUtf8), "cannot open /tmp/" + nihonEuc);
  EXPECT_EQ(Utf8ToLocale("smile \xF0\x9F\x98\x80"), "smile ?");
  EXPECT_EQ(LocaleToUtf8("\xFF"), "\xEF\xBF\xBD");
  EXPECT_EQ(SystemErrorText(ENOENT), LocaleToUtf8(std::strerror(ENOENT)));
  // The plain locale knows nothing beyond ASCII: UTF-8 passes both ways.
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(LocaleToUtf8("/tmp/" + nihonUtf8), "/tmp/" + nihonUtf8);
  EXPECT_EQ(Utf8ToLocale("/tmp/" + nihonUtf8), "/tmp/" + nihonUtf8);
  EXPECT_EQ(LocaleToUtf8("\xFF"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace ardel
