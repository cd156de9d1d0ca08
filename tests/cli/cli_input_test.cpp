// Standard input as ardel-cli takes it: lines cut across reads, and lines too long to be
// a command string refused as they come.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/ardel_app.h"
#include "cli/cli_run.h"
#include "cli/input_lines.h"
#include "support/fake_event_loop.h"

namespace ardel::cli {
namespace {

std::string Shown(const TInputLine& line) {
  return std::to_string(line.number) + (line.tooLong ? " too long" : " [" + line.text + "]");
}

TEST(InputLines, CutAcrossReads) {
  struct TCase {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> lines;  // as Shown gives them, the end of input included
  } cases[] = {
      {"one read", {"ab\ncd\n"}, {"1 [ab]", "2 [cd]"}},
      {"a line over three reads", {"a", "b", "c\n"}, {"1 [abc]"}},
      {"line end alone", {"abc", "\n", "\n"}, {"1 [abc]", "2 []"}},
      {"carriage return before the next read", {"ab\r", "\ncd\r\n"}, {"1 [ab]", "2 [cd]"}},
      {"carriage return inside kept", {"a\rb\n"}, {"1 [a\rb]"}},
      {"last line without its end", {"ab\ncd"}, {"1 [ab]", "2 [cd]"}},
      {"nothing after the last end", {"ab\n"}, {"1 [ab]"}},
      {"empty input", {}, {}},
      {"exactly the limit", {"12345678\n"}, {"1 [12345678]"}},
      {"the limit and CR LF", {"12345678\r", "\n"}, {"1 [12345678]"}},
      {"one byte over", {"123456789\n"}, {"1 too long"}},
      {"one byte over, then CR LF", {"123456789\r\n"}, {"1 too long"}},
      {"over across reads, then a good one", {"12345", "67890", "12345", "\nok\n"}, {"1 too long", "2 [ok]"}},
      {"over and no end", {"1234567890", "1234567890"}, {"1 too long"}},
      {"over at once with a good one after", {"1234567890123\nab\n"}, {"1 too long", "2 [ab]"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TInputLines input(8);
    std::vector<std::string> lines;
    const auto take = [&](const TInputLine& line) { lines.push_back(Shown(line)); };
    for (const std::string& read : c.reads) input.Take(read, take);
    input.End(take);
    EXPECT_EQ(lines, c.lines);
  }
}

// The run on a real pipe: what is written arrives in whatever pieces the pipe gives.
class CliInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(fds_), 0);
    err_ = std::tmpfile();
    ASSERT_NE(err_, nullptr);
    // No start-up: the queue fills and nothing is sent.
    app_ = std::make_unique<TArdelApp>(loop_, errors_);
    run_ = std::make_unique<TCliRun>(TCliOptions{}, *app_, loop_, fds_[0], false, err_);
    run_->Start();
  }
  void TearDown() override {
    run_.reset();
    if (fds_[1] >= 0) ::close(fds_[1]);
    ::close(fds_[0]);
    std::fclose(err_);
  }
  void Write(const std::string& bytes) {
    ASSERT_EQ(::write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    loop_.RunPending();
  }
  void Close() {
    ::close(fds_[1]);
    fds_[1] = -1;
    loop_.RunPending();
  }
  // Oldest first.
  std::vector<std::string> Queued() const {
    const TLineList& commands = app_->Queues().Commands();
    std::vector<std::string> out;
    for (std::size_t i = commands.Count(); i-- > 0;) out.push_back(commands.At(i));
    return out;
  }
  std::string Errors() const {
    std::rewind(err_);
    std::string text;
    for (int c; (c = std::fgetc(err_)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
  }

  int fds_[2] = {-1, -1};
  std::FILE* err_ = nullptr;
  testing::TFakeEventLoop loop_;
  testing::TRecordingErrorSink errors_;
  std::unique_ptr<TArdelApp> app_;
  std::unique_ptr<TCliRun> run_;
};

TEST_F(CliInput, LinesAreQueuedInOrderAndLongOnesRefusedOnce) {
  const std::string longest(kCommandStringMax, 'x');
  Write("AB B0 00000000 FFFFFF80 00   first\nAB C0");
  Write(" 00000000 FFFFFF80 FF   second\r\n   \n");
  Write(longest + "\n" + longest + "y\n");
  // Five megabytes without a line end, in the pipe's own pieces.
  const std::string block(64 * 1024, 'z');
  for (int i = 0; i < 80; ++i) Write(block);
  Write("\nAB B0 00000000 FFFFFF81 00   last");
  Close();
  EXPECT_EQ(Queued(), (std::vector<std::string>{"AB B0 00000000 FFFFFF80 00   first",
                                                "AB C0 00000000 FFFFFF80 FF   second", longest,
                                                "AB B0 00000000 FFFFFF81 00   last"}));
  EXPECT_EQ(Errors(),
            "ardel-cli: input line 5 is longer than a command string can be (128 characters) and is not sent\n"
            "ardel-cli: input line 6 is longer than a command string can be (128 characters) and is not sent\n");
  // The window's list of typed lines is not touched.
  EXPECT_EQ(app_->ManualSend().List().size(), 1u);
}

// Characters, not bytes, count: "ä" is two bytes of UTF-8 and one character on the link.
TEST_F(CliInput, TheLimitCountsCharacters) {
  std::string fits;
  for (std::size_t i = 0; i < kCommandStringMax; ++i) fits += "\xC3\xA4";
  Write(fits + "\n" + fits + "\xC3\xA4\n");
  Close();
  ASSERT_EQ(Queued().size(), 1u);
  EXPECT_EQ(Queued().front(), std::string(kCommandStringMax, '\xE4'));
  EXPECT_NE(Errors().find("input line 2 is longer"), std::string::npos) << Errors();
}

}  // namespace
}  // namespace ardel::cli
