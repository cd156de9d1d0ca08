// A save killed at any moment leaves the station data file and the rule-set file whole:
// the old content or the new one, never a mix or a cut. A child process saves two
// contents in turn without pause; the parent kills it with SIGKILL after a random delay
// and reads the file. ARDEL_SAVE_KILLS sets the number of kills per file (default 50).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "rules/rule_set.h"
#include "stations/station_file.h"
#include "stations/station_table.h"
#include "util/text_file.h"

namespace ardel {
namespace {

using Clock = std::chrono::steady_clock;

// What the child tells the parent without any call that could be cut: plain stores to
// memory that both share.
struct TShared {
  std::atomic<long> saves{0};
  std::atomic<int> inSave{0};
};

struct TKillStats {
  int kills = 0;
  int duringSave = 0;     // the child was inside a save when it died
  int tempLeft = 0;       // the kill left the new file beside the old one
  int sawVersion[2] = {0, 0};
  long saves = 0;         // saves the children finished
};

int KillCount() {
  const char* env = std::getenv("ARDEL_SAVE_KILLS");
  const int n = env != nullptr ? std::atoi(env) : 0;
  return n > 0 ? n : 50;
}

// The temporary files of saves of this file that are still there.
std::vector<std::string> Temporaries(const std::string& path) {
  const std::filesystem::path file(path);
  const std::string prefix = file.filename().string() + ".";
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0 &&
        name.find_first_not_of("0123456789.", prefix.size()) == name.size() - 3) {
      found.push_back(name);
    }
  }
  return found;
}

class SaveKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "ardel-save-kill-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    void* memory = ::mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    shared_ = new (memory) TShared;
  }
  void TearDown() override {
    if (shared_ != nullptr) ::munmap(shared_, sizeof(TShared));
    std::filesystem::remove_all(dir_);
  }

  // saveVersion(k) saves content k (0 or 1) to path, throwing when it cannot;
  // versions[k] is what the file then holds. The file holds version 0 at the start.
  TKillStats Run(const std::string& path, const std::string (&versions)[2],
                 const std::function<void(int)>& saveVersion) {
    TKillStats stats;
    // How long one save takes here, so that the kills fall over whole saves.
    const auto start = Clock::now();
    for (int k = 0; k < 10; ++k) saveVersion(k % 2);
    const auto perSave = (Clock::now() - start) / 10;
    EXPECT_EQ(ReadWholeFile(path), versions[1]);
    saveVersion(0);

    std::mt19937 random(std::random_device{}());
    // The child's first save is slower than the others (it starts by copying memory).
    const auto spread = std::chrono::duration_cast<std::chrono::microseconds>(perSave * 8) +
                        std::chrono::milliseconds(2);
    std::uniform_int_distribution<long> delay(0, spread.count());
    const int kills = KillCount();
    for (int round = 0; round < kills; ++round) {
      shared_->inSave = 0;
      shared_->saves = 0;
      const pid_t child = ::fork();
      if (child == 0) {
        try {
          for (long k = 1;; ++k) {
            shared_->inSave = 1;
            saveVersion(static_cast<int>(k % 2));
            shared_->inSave = 0;
            shared_->saves = k;
          }
        } catch (...) {
        }
        ::_exit(3);  // a save failed: the parent sees an exit instead of the kill
      }
      EXPECT_GT(child, 0);
      if (child <= 0) break;
      ::usleep(static_cast<useconds_t>(delay(random)));
      ::kill(child, SIGKILL);
      int status = 0;
      ::waitpid(child, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "a save failed";

      ++stats.kills;
      stats.duringSave += shared_->inSave.load();
      stats.saves += shared_->saves.load();
      stats.tempLeft += !Temporaries(path).empty();
      const std::string content = ReadWholeFile(path);
      if (content == versions[0]) {
        ++stats.sawVersion[0];
      } else if (content == versions[1]) {
        ++stats.sawVersion[1];
      } else {
        ADD_FAILURE() << "round " << round << ": the file holds " << content.size()
                      << " bytes that are neither version";
        break;
      }
    }
    // New files left behind by kills are removed by the next save, once their process
    // is gone; one that merely looks like a save's own name stays, and so does the
    // file that a planted link names.
    WriteFileAtomically(path + ".99999999.1.new", "left behind");
    WriteFileAtomically(dir_ + "/victim", "kept");
    std::filesystem::create_symlink(dir_ + "/victim", path + ".99999998.1.new");
    WriteFileAtomically(path + ".x.1.new", "not a save's");
    saveVersion(1);
    EXPECT_EQ(ReadWholeFile(path), versions[1]);
    EXPECT_EQ(Temporaries(path), std::vector<std::string>{});
    EXPECT_EQ(ReadWholeFile(dir_ + "/victim"), "kept");
    EXPECT_TRUE(std::filesystem::exists(path + ".x.1.new"));
    std::filesystem::remove(path + ".x.1.new");
    std::filesystem::remove(dir_ + "/victim");

    std::printf("%d kills, %d of them inside a save, %d left the new file behind; "
                "the file held version A %d times and version B %d times; "
                "%ld saves finished; one save takes %lld us\n",
                stats.kills, stats.duringSave, stats.tempLeft, stats.sawVersion[0],
                stats.sawVersion[1], stats.saves,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(perSave).count()));
    return stats;
  }

  std::string dir_;
  TShared* shared_ = nullptr;
};

void FillTable(TStationTable& table, int variant) {
  table.WriteHeadings();
  for (int column = 1; column < table.ColumnCount(); ++column) {
    char sbi[16];
    std::snprintf(sbi, sizeof sbi, "%08X", 0xFF800000u + static_cast<unsigned>(column * 0x80 + variant));
    table.SetCell(column, 1, sbi);
    for (int row = 2; row < 18; ++row) {
      // The two versions differ in length too, so a cut or a mix shows either way.
      table.SetCell(column, row, variant == 0 ? "n.a." : std::string("\"") + sbi + ", 1\"");
    }
  }
}

TEST_F(SaveKillTest, StationDataFileIsAlwaysOneVersionWhole) {
  const std::string path = dir_ + "/veskData.txt";
  TStationTable tables[2];
  std::string versions[2];
  for (int k = 0; k < 2; ++k) {
    FillTable(tables[k], k);
    versions[k] = StationFileText(tables[k]);
  }
  ASSERT_NE(versions[0], versions[1]);
  SaveStationTable(tables[0], path);
  TStationTable loaded;
  TStationFileGuard guard;
  guard.Load(loaded, path);

  const TKillStats stats = Run(path, versions, [&](int k) {
    if (!guard.Save(tables[k], path)) throw EFileError("the guard refused its own file");
  });
  EXPECT_EQ(stats.kills, KillCount());
  // The delays are drawn so that most kills hit a save; if none does, nothing was tested.
  EXPECT_GT(stats.duringSave, 0);
}

TEST_F(SaveKillTest, RuleSetFileIsAlwaysOneVersionWhole) {
  const std::string path = dir_ + "/" + TRuleSet::kFileName;
  std::string texts[2];
  for (int i = 0; i < 40; ++i) {
    const std::string id = std::to_string(i);
    texts[0] += "/ rule " + id + "\nif   8B B4 * 0" + id + "\nthen say input filter " + id + " came\n";
    texts[1] += "if   6B 05 5000000" + id + " *\nthen AB C0 01000000 FFFFFF80 00   lamp " + id + "\n";
  }
  TRuleSet ruleSet;
  ruleSet.SetText(texts[0]);
  ruleSet.Save(path);
  std::string versions[2] = {ReadWholeFile(path), {}};
  ruleSet.SetText(texts[1]);
  ruleSet.Save(path);
  versions[1] = ReadWholeFile(path);
  ASSERT_NE(versions[0], versions[1]);

  const TKillStats stats = Run(path, versions, [&](int k) {
    ruleSet.SetText(texts[k]);
    ruleSet.Save(path);
  });
  EXPECT_EQ(stats.kills, KillCount());
  EXPECT_GT(stats.duringSave, 0);
}

}  // namespace
}  // namespace ardel
