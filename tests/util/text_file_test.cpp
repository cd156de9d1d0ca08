#include "util/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace ardel {
namespace {

TEST(SplitLines, AcceptsEveryLineEnd) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"a\r\r\n", {"a", ""}},
      {std::string("x\0y\n", 4), {std::string("x\0y", 3)}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
}

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ardel-textfile-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(TextFileTest, WriteReplacesWholeAndLeavesNoTemporary) {
  const std::string path = dir_ + "/f.txt";
  WriteFileAtomically(path, "first version, longer\r\n");
  WriteFileAtomically(path, JoinLinesCrLf({"a", "b"}));
  EXPECT_EQ(ReadWholeFile(path), "a\r\nb\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

TEST_F(TextFileTest, FailuresNameTheFileAndKeepTheOld) {
  EXPECT_THROW(ReadWholeFile(dir_ + "/missing"), EFileError);
  try {
    ReadWholeFile(dir_ + "/missing");
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(dir_ + "/missing"), std::string::npos);
  }
  EXPECT_THROW(ReadWholeFile(dir_), EFileError);  // a directory
  EXPECT_THROW(WriteFileAtomically(dir_ + "/no/such/dir/f", "x"), EFileError);

  const std::string path = dir_ + "/kept.txt";
  WriteFileAtomically(path, "old");
  if (::geteuid() != 0) {  // root writes anywhere
    ::chmod(dir_.c_str(), 0555);
    EXPECT_THROW(WriteFileAtomically(path, "new"), EFileError);
    ::chmod(dir_.c_str(), 0755);
  }
  EXPECT_EQ(ReadWholeFile(path), "old");
  EXPECT_THROW(ReadWholeFile(path, 2), EFileError);  // over the size bound
}

}  // namespace
}  // namespace ardel
