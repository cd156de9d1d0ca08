#include "stations/ini_file.h"

#include <gtest/gtest.h>
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
  const std::string self = ProgramFileName();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.front(), '/');
  EXPECT_NE(self.find("test_stations"), std::string::npos);
}

}  // namespace
}  // namespace ardel
