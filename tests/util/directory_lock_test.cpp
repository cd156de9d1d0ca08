#include "util/directory_lock.h"

#include <gtest/gtest.h>
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
  EXPECT_THROW(lock.Acquire(dir_), EFileError);
  EXPECT_EQ(ReadWholeFile(dir_ + "victim"), "kept");
}

}  // namespace
}  // namespace ardel
