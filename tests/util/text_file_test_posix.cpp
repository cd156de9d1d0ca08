#include "util/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

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

// A message for a terminal: a lone CR would let its second part overwrite the first.
TEST(WithLineFeeds, EveryLineEndBecomesALineFeed) {
  const std::pair<std::string, std::string> cases[] = {
      {"TCOMPORT : cannot open COM1\r/dev/zero: not a serial device",
       "TCOMPORT : cannot open COM1\n/dev/zero: not a serial device"},
      {"a\r\nb", "a\nb"},
      {"a\n\rb\r", "a\n\nb\n"},
      {"plain", "plain"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(WithLineFeeds(text), shown) << text;
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
  EXPECT_THROW(ReadWholeFile(path, 2), EFileError);  // over the size bound
}

// The temporary files of this directory: anything but the files the test made.
std::vector<std::string> Leftovers(const std::string& dir, const std::vector<std::string>& made) {
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (std::find(made.begin(), made.end(), name) == made.end()) left.push_back(name);
  }
  return left;
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A save keeps what the user made of the file: a link stays a link to its target,
// which is replaced in its own folder; mode bits stay; a planted temporary name is
// neither followed nor removed.
TEST_F(TextFileTest, SavesKeepLinksModesAndPlantedNames) {
  const std::string other = dir_ + "/other";
  std::filesystem::create_directory(other);
  const std::string target = other + "/real.txt";
  WriteFileAtomically(target, "old");
  ::chmod(target.c_str(), 0640);
  const std::string link = dir_ + "/veskData.txt";
  std::filesystem::create_symlink("other/real.txt", link);  // relative, as people make them
  const std::string victim = dir_ + "/victim.txt";
  WriteFileAtomically(victim, "not yours");
  for (const char* planted : {"/veskData.txt.new", "/other/real.txt.new"}) {
    std::filesystem::create_symlink(victim, dir_ + planted);
  }

  WriteFileAtomically(link, "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::read_symlink(link), "other/real.txt");
  EXPECT_EQ(ReadWholeFile(target), "new");
  EXPECT_EQ(Mode(target), 0640u);
  EXPECT_EQ(ReadWholeFile(victim), "not yours");
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/veskData.txt.new"));
  EXPECT_EQ(Leftovers(dir_, {"other", "veskData.txt", "victim.txt", "veskData.txt.new"}), std::vector<std::string>{});
  EXPECT_EQ(Leftovers(other, {"real.txt", "real.txt.new"}), std::vector<std::string>{});

  // A link whose target is not there yet creates the target.
  const std::string dangling = dir_ + "/dangling";
  std::filesystem::create_symlink(other + "/later.txt", dangling);
  WriteFileAtomically(dangling, "made");
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_EQ(ReadWholeFile(other + "/later.txt"), "made");
}

// A file without write permission is the user's "leave this": not replaced, for root
// too, with the system's reason in the error.
TEST_F(TextFileTest, ReadOnlyFileIsNotReplaced) {
  const std::string path = dir_ + "/veskData.txt";
  WriteFileAtomically(path, "old");
  ::chmod(path.c_str(), 0444);
  try {
    WriteFileAtomically(path, "new");
    ADD_FAILURE() << "written";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(path + ": " + std::strerror(EACCES)), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadWholeFile(path), "old");
  EXPECT_EQ(Mode(path), 0444u);
  EXPECT_EQ(Leftovers(dir_, {"veskData.txt"}), std::vector<std::string>{});
}

// In a folder the user may not write into, a file the user may write is written in
// place. Root may write anywhere, so as root the save runs as another user.
TEST_F(TextFileTest, WritableFileInAFolderThatIsNot) {
  const std::string path = dir_ + "/veskData.txt";
  WriteFileAtomically(path, "an old and longer text");
  const uid_t nobody = 65534;
  if (::geteuid() == 0 && ::chown(path.c_str(), nobody, nobody) != 0) FAIL() << "chown";
  ::chmod(dir_.c_str(), 0555);
  struct stat before {};
  ::stat(path.c_str(), &before);
  bool saved = false;
  if (::geteuid() == 0) {
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
      try {
        WriteFileAtomically(path, "new");
      } catch (const EFileError&) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    saved = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  } else {
    EXPECT_NO_THROW(WriteFileAtomically(path, "new"));
    saved = true;
  }
  ::chmod(dir_.c_str(), 0755);
  EXPECT_TRUE(saved);
  EXPECT_EQ(ReadWholeFile(path), "new");
  struct stat after {};
  ::stat(path.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino) << "written in place";
  EXPECT_EQ(Leftovers(dir_, {"veskData.txt"}), std::vector<std::string>{});
}

// Only regular files are read or written: a FIFO, a device, a directory or a link to
// one is refused at once, never waited on.
TEST_F(TextFileTest, OnlyRegularFiles) {
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string linkToFifo = dir_ + "/link-to-fifo";
  std::filesystem::create_symlink(fifo, linkToFifo);
  struct Case {
    std::string path;
    const char* kind;
  } cases[] = {
      {fifo, "a FIFO"}, {linkToFifo, "a FIFO"}, {"/dev/null", "a character device"}, {dir_, "a directory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    for (const bool write : {false, true}) {
      try {
        if (write) {
          WriteFileAtomically(c.path, "x");
        } else {
          ReadWholeFile(c.path);
        }
        ADD_FAILURE() << (write ? "written" : "read");
      } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find(std::string("it is ") + c.kind + ", not a regular file"),
                  std::string::npos)
            << e.what();
      }
    }
  }
  EXPECT_EQ(Leftovers(dir_, {"fifo", "link-to-fifo"}), std::vector<std::string>{});
}

}  // namespace
}  // namespace ardel
