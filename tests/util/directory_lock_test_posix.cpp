#include "util/directory_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "util/text_file.h"

namespace ardel {
namespace {

class DirectoryLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ardel-lock-XXXXXX";
    dir_ = std::string(::mkdtemp(pattern)) + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

// Two opens of the lock file are two owners to flock, even in one process.
TEST_F(DirectoryLockTest, SecondOwnerIsRefusedUntilTheFirstEnds) {
  auto first = std::make_unique<TDirectoryLock>();
  ASSERT_TRUE(first->Acquire(dir_));
  EXPECT_EQ(ReadWholeFile(dir_ + TDirectoryLock::kFileName), std::to_string(::getpid()) + "\n");

  TDirectoryLock second;
  EXPECT_FALSE(second.Acquire(dir_));
  EXPECT_FALSE(second.Held());
  EXPECT_EQ(second.Holder(), ::getpid());
  const std::string text = second.RefusalText();
  EXPECT_NE(text.find(dir_), std::string::npos) << text;
  EXPECT_NE(text.find("process " + std::to_string(::getpid())), std::string::npos) << text;

  first.reset();
  EXPECT_TRUE(second.Acquire(dir_));
}

// A stale pid from an earlier owner is replaced; a lock file that is a link is not
// followed, so nobody's file is written through it.
TEST_F(DirectoryLockTest, StaleAndPlantedLockFiles) {
  WriteFileAtomically(dir_ + TDirectoryLock::kFileName, "99999999\n");
  {
    TDirectoryLock lock;
    ASSERT_TRUE(lock.Acquire(dir_));
    EXPECT_EQ(ReadWholeFile(dir_ + TDirectoryLock::kFileName), std::to_string(::getpid()) + "\n");
  }
  std::filesystem::remove(dir_ + TDirectoryLock::kFileName);
  WriteFileAtomically(dir_ + "victim", "kept");
  std::filesystem::create_symlink(dir_ + "victim", dir_ + TDirectoryLock::kFileName);
  TDirectoryLock lock;
  EXPECT_FALSE(lock.Acquire(dir_));
  EXPECT_FALSE(lock.Held());
  EXPECT_EQ(ReadWholeFile(dir_ + "victim"), "kept");
}

// A lock name taken by something else than a file is a refusal naming it, for every
// start: two programs that each went on without the lock would share the folder.
TEST_F(DirectoryLockTest, SomethingElseAtTheLockNameRefusesEveryStart) {
  struct TCase {
    const char* name;
    void (*plant)(const std::string& path, const std::string& dir);
    const char* said;
  } const cases[] = {
      {"symbolic link to a file",
       [](const std::string& path, const std::string& dir) {
         WriteFileAtomically(dir + "victim", "kept");
         std::filesystem::create_symlink(dir + "victim", path);
       },
       "is a symbolic link"},
      {"dangling symbolic link",
       [](const std::string& path, const std::string& dir) { std::filesystem::create_symlink(dir + "nowhere", path); },
       "is a symbolic link"},
      {"FIFO", [](const std::string& path, const std::string&) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
       "is a FIFO"},
      {"directory", [](const std::string& path, const std::string&) { std::filesystem::create_directory(path); },
       "is a directory"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directory(dir_);
    const std::string path = dir_ + TDirectoryLock::kFileName;
    c.plant(path, dir_);
    TDirectoryLock first, second;
    EXPECT_FALSE(first.Acquire(dir_));
    EXPECT_FALSE(second.Acquire(dir_));
    EXPECT_FALSE(first.Held());
    const std::string text = first.RefusalText();
    EXPECT_NE(text.find(path + " " + c.said), std::string::npos) << text;
    EXPECT_EQ(text.find("in use by another"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "nowhere"));
    if (std::filesystem::exists(dir_ + "victim")) EXPECT_EQ(ReadWholeFile(dir_ + "victim"), "kept");
  }
}

}  // namespace
}  // namespace ardel
