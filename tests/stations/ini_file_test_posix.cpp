#include "util/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "util/text_file.h"

namespace ardel {
namespace {

const char* const kText =
    "\xEF\xBB\xBF; written by hand\r\n"
    "[Link]\r\n"
    "Comport=3\r\n"
    "[ ports ]\n"
    "  com1 =  /dev/ttyUSB0  \n"
    "COM2=\"/dev/ttyACM0\"\n"
    "COM1=/dev/second\n"
    ";COM3=/dev/commented\n"
    "no equals sign\n"
    "=no key\n"
    "[Other]\n"
    "COM4=/dev/other\n"
    "[PORTS]\n"
    "COM4=/dev/later\n"
    "COM1=/dev/third";

TEST(TIniFileTest, ReadsValuesWithoutCaseOrBlanks) {
  const TIniFile ini(kText);
  struct TCase {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  };
  const TCase cases[] = {
      {"Link", "Comport", "3"},
      {"LINK", "COMPORT", "3"},
      {"Ports", "COM1", "/dev/ttyUSB0"},  // the first entry wins
      {"Ports", "com2", "/dev/ttyACM0"},
      {"Ports", "COM3", std::nullopt},  // comment
      {"Ports", "COM4", "/dev/later"},  // a section may come again
      {"Other", "COM4", "/dev/other"},
      {"Ports", "no equals sign", std::nullopt},
      {"Missing", "Comport", std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.Value(c.section, c.key), c.value);
  }
  EXPECT_EQ(ini.ReadString("Link", "Missing", "fallback"), "fallback");

  const auto ports = ini.ReadSection("Ports");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"com1", "/dev/ttyUSB0"}, {"COM2", "/dev/ttyACM0"}, {"COM4", "/dev/later"}};
  EXPECT_EQ(ports, expected);
  // Every line is kept as it was, for writing back.
  EXPECT_EQ(ini.Lines().size(), 15u);
  EXPECT_EQ(ini.Lines()[4], "  com1 =  /dev/ttyUSB0  ");
}

TEST(TIniFileTest, ReadIntegerTakesDecimalOrHexAndOtherwiseTheDefault) {
  struct TCase {
    const char* value;
    int expected;
  };
  const TCase cases[] = {
      {"3", 3},
      {" 9 ", 9},
      {"-2", -2},
      {"+4", 4},
      {"0x2", 2},
      {"0X1f", 31},
      {"0x", 7},
      {"abc", 7},
      {"", 7},
      {"12abc", 7},
      {"0xZZ", 7},
      {"99999999999", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.value);
    const TIniFile ini(std::string("[Link]\nComport=") + c.value + "\n");
    EXPECT_EQ(ini.ReadInteger("link", "comport", 7), c.expected);
  }
  EXPECT_EQ(TIniFile().ReadInteger("Link", "Comport", 1), 1);
}

// Writing one entry changes that entry's line and nothing else: comments, other
// sections, blanks, line endings and a byte order mark stay byte for byte.
TEST(TIniFileTest, WritingOneEntryLeavesEveryOtherByte) {
  struct TCase {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    int value;
    std::string after;
  };
  const TCase cases[] = {
      {"empty file", "", "Link", "Comport", 1, "[Link]\nComport=1\n"},
      {"value replaced, other case and blanks kept",
       "\xEF\xBB\xBF; made by hand\r\n[Ports]\r\nCOM1 = /dev/ttyUSB0\r\n\r\n [link] \nComPort =  3 \n"
       "[Other]\r\nComport=9",
       "Link", "Comport", 2,
       "\xEF\xBB\xBF; made by hand\r\n[Ports]\r\nCOM1 = /dev/ttyUSB0\r\n\r\n [link] \nComPort =  2\n"
       "[Other]\r\nComport=9"},
      {"key added after the section's last entry",
       "[Link]\r\nBaud=9600\r\n\r\n; the devices\r\n[Ports]\r\n", "LINK", "Comport", 1,
       "[Link]\r\nBaud=9600\r\nComport=1\r\n\r\n; the devices\r\n[Ports]\r\n"},
      {"key added under a header without entries", "[LINK]\n;Comport=3\n[Ports]\nCOM1=x\n", "Link",
       "Comport", 4, "[LINK]\nComport=4\n;Comport=3\n[Ports]\nCOM1=x\n"},
      {"section added after a last line without ending", "[Ports]\r\nCOM1=/dev/x", "Link", "Comport", 2,
       "[Ports]\r\nCOM1=/dev/x\r\n[Link]\r\nComport=2\r\n"},
      {"the entry that reading finds", "[Link]\nA=1\n[Ports]\n[Link]\ncomport=0x2\n[Link]\nComport=7\n",
       "Link", "Comport", 3, "[Link]\nA=1\n[Ports]\n[Link]\ncomport=3\n[Link]\nComport=7\n"},
      {"lone CR line ends", "[Link]\rComport=1\r; end", "Link", "Comport", 12,
       "[Link]\rComport=12\r; end"},
      {"quoted value", "[Link]\nComport=\"3\"\n", "Link", "Comport", -1, "[Link]\nComport=-1\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TIniFile ini(c.before);
    EXPECT_EQ(ini.Text(), c.before);  // read and written unchanged
    ini.WriteInteger(c.section, c.key, c.value);
    EXPECT_EQ(ini.Text(), c.after);
    EXPECT_EQ(TIniFile(ini.Text()).ReadInteger(c.section, c.key, 0), c.value);
  }
}

TEST(TIniFileTest, WriteIniIntegerCreatesTheFileAndNeverReplacesOneItCannotRead) {
  char dir[] = "/tmp/ardel-ini-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/ardel.INI";
  WriteIniInteger(path, "Link", "Comport", 1);
  EXPECT_EQ(ReadWholeFile(path), "[Link]\nComport=1\n");
  WriteFileAtomically(path, "; mine\r\n[Ports]\r\nCOM2=/dev/ttyUSB1\r\n[Link]\r\nComport=1\r\n");
  WriteIniInteger(path, "Link", "Comport", 3);
  EXPECT_EQ(ReadWholeFile(path), "; mine\r\n[Ports]\r\nCOM2=/dev/ttyUSB1\r\n[Link]\r\nComport=3\r\n");

  // Something there that is not a readable file stays as it is.
  const std::string blocked = std::string(dir) + "/blocked.INI";
  ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
  EXPECT_THROW(WriteIniInteger(blocked, "Link", "Comport", 2), EFileError);
  EXPECT_THROW(WriteIniInteger(std::string(dir) + "/missing/ardel.INI", "Link", "Comport", 2), EFileError);
  ::rmdir(blocked.c_str());
  ::unlink(path.c_str());
  EXPECT_EQ(::rmdir(dir), 0);  // no temporary left behind
}

TEST(TIniFileTest, LoadReadsAFileAndTakesAMissingOneAsEmpty) {
  char dir[] = "/tmp/ardel-ini-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/ardel.INI";
  EXPECT_TRUE(TIniFile::Load(path).Lines().empty());
  WriteFileAtomically(path, "[Ports]\r\nCOM1=/dev/pts/3\r\n");
  EXPECT_EQ(TIniFile::Load(path).Value("Ports", "COM1"), "/dev/pts/3");
  // A directory in its place is a failure, not an empty file.
  EXPECT_THROW(TIniFile::Load(dir), EFileError);
  ::unlink(path.c_str());
  ::rmdir(dir);
}

TEST(TIniFileTest, FileNames) {
  EXPECT_EQ(ChangeFileExt("/opt/ardel/ardel", ".INI"), "/opt/ardel/ardel.INI");
  EXPECT_EQ(ChangeFileExt("/opt/ardel/ardel.bin", ".INI"), "/opt/ardel/ardel.INI");
  EXPECT_EQ(ChangeFileExt("/opt/v1.2/ardel", ".INI"), "/opt/v1.2/ardel.INI");
  EXPECT_EQ(ChangeFileExt("tool.exe", ".INI"), "tool.INI");
  EXPECT_EQ(ExtractFilePath("/opt/ardel/ardel"), "/opt/ardel/");
  EXPECT_EQ(ExtractFilePath("/ardel"), "/");
  EXPECT_EQ(ExtractFilePath("ardel"), "");
  EXPECT_EQ(ExtractFileName("/opt/ardel/ardel.bin"), "ardel.bin");
  EXPECT_EQ(ExtractFileName("ardel"), "ardel");
  const std::string self = ProgramFileName();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  EXPECT_NE(self.find("test_stations"), std::string::npos);
}

}  // namespace
}  // namespace ardel
