#include "log/link_log.h"
#include "link/receive_path.h"
#include "queue/queues.h"

#include <gtest/gtest.h>

#include <vector>

namespace ardel {
namespace {

using namespace std::chrono;

const std::string kVersionWire("\xA5\x5A\xAB\xB0\x00\x00\x00\x00\xFF\xFF\xFF\x80\x00\xD8\x11", 15);
const std::string kFixedStamp = "[T]";

std::string Wire(const TTelegramBody& body) {
  const TWireTelegram w = EncodeTelegram(body);
  return std::string(reinterpret_cast<const char*>(w.data()), 14);  // no trailer
}

TTelegramBody Body(std::uint8_t org, std::uint8_t id) {
  return {0x8B, org, 0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x00, id, 0x00};
}

struct Rig {
  Rig() : log([] { return system_clock::time_point{}; }), path(log, queues.Answers()) {
    path.SetAckDecision([this](const TFrame& frame) { acked.push_back(frame[3]); });
    log.Clear();
  }
  std::vector<std::string> Answers() const {  // top first
    std::vector<std::string> out;
    for (std::size_t i = 0; i < queues.Answers().Count(); ++i) out.push_back(queues.Answers().At(i));
    return out;
  }
  TLinkLog log;
  TQueues queues;
  TReceivePath path;
  std::vector<int> acked;
};

TEST(ReceivePath, GoodTelegramInDeliveriesOfEverySize) {
  for (std::size_t chunk = 1; chunk <= kVersionWire.size(); ++chunk) {
    Rig rig;
    for (std::size_t i = 0; i < kVersionWire.size(); i += chunk) {
      rig.path.ComPort1ReceiveCallBack(std::string_view(kVersionWire).substr(i, chunk));
    }
    ASSERT_EQ(rig.log.Count(), 1u) << chunk;
    const TLogLine& line = rig.log.Line(0);
    EXPECT_EQ(line.color, colors::kReceived);
    EXPECT_EQ(line.text.substr(0, 2), "  ");
    EXPECT_NE(line.text.find("   AB B0 00000000 FFFFFF80 00   "), std::string::npos);
    EXPECT_EQ(line.text.substr(line.text.size() - 3), "   ");
    EXPECT_EQ(rig.Answers(), std::vector<std::string>{"AB B0 00000000 FFFFFF80 00"});
    EXPECT_TRUE(rig.acked.empty()) << "org B0 is not below A0";
    EXPECT_EQ(rig.path.LastGoodChecksum(), 0xD8);
    EXPECT_EQ(rig.path.Framer().State(), 0);
  }
}

TEST(ReceivePath, FramingCases) {
  const std::string good = Wire(Body(0x05, 1));
  const std::string goodText = FormatTelegramText(Body(0x05, 1));
  std::string badSum = good;
  badSum[13] = static_cast<char>(badSum[13] + 1);
  std::string seven;
  for (int i = 0; i < 7; ++i) seven += Wire(Body(0x05, static_cast<std::uint8_t>(i)));

  struct Case {
    const char* name;
    std::string bytes;
    std::size_t answers;
    std::size_t errorLines;
  } cases[] = {
      {"repeated A5 is absorbed", "\xA5" + good, 1, 0},
      {"noise and trailers skipped", std::string("\x11\x00\x5A\x33", 4) + good + "\x11", 1, 0},
      {"A5 00 returns to hunting", std::string("\xA5\x00\x5A", 3) + good.substr(2), 0, 0},
      {"seven back to back", seven, 7, 0},
      {"wrong checksum", badSum, 0, 1},
      // The cut telegram swallows the next one's first bytes as body and fails its
      // checksum; the hunt restarts after it, so the third telegram is found.
      {"cut telegram then good ones", good.substr(0, 9) + good + good + good, 2, 1},
      {"A5 5A inside a body are data", Wire({0xA5, 0x5A, 0xA5, 0x5A, 0, 0, 0, 0, 0, 0, 0}), 1, 0},
      {"empty delivery", "", 0, 0},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.path.ComPort1ReceiveCallBack(c.bytes);
    EXPECT_EQ(rig.queues.Answers().Count(), c.answers) << c.name;
    std::size_t errors = 0;
    for (std::size_t i = 0; i < rig.log.Count(); ++i) errors += rig.log.Line(i).color == colors::kError;
    EXPECT_EQ(errors, c.errorLines) << c.name;
    EXPECT_EQ(rig.log.Count(), c.answers + c.errorLines) << c.name;
  }
}

TEST(ReceivePath, AnswersAreNewestFirstAndAckedInArrivalOrder) {
  Rig rig;
  std::string bytes;
  for (std::uint8_t org : {0x05, 0xB4, 0x9F, 0xA0}) bytes += Wire(Body(org, org));
  rig.path.ComPort1ReceiveCallBack(bytes);
  EXPECT_EQ(rig.Answers(), (std::vector<std::string>{
                               FormatTelegramText(Body(0xA0, 0xA0)), FormatTelegramText(Body(0x9F, 0x9F)),
                               FormatTelegramText(Body(0xB4, 0xB4)), FormatTelegramText(Body(0x05, 0x05))}));
  EXPECT_EQ(rig.acked, (std::vector<int>{0x05, 0x9F}));
}

TEST(ReceivePath, ChecksumErrorLine) {
  Rig rig;
  std::string bad = kVersionWire.substr(0, 14);
  bad[13] = '\xD9';
  rig.path.ComPort1ReceiveCallBack(bad);
  ASSERT_EQ(rig.log.Count(), 1u);
  const std::string& text = rig.log.Line(0).text;
  EXPECT_EQ(text.substr(0, 2), "E ");
  EXPECT_NE(text.find("   00 00 00000000 00000000 00   cksum error. sent:D9 <-> calc:D8]"),
            std::string::npos)
      << text;
  EXPECT_EQ(rig.path.LastGoodChecksum(), 0);
}

TEST(ReceivePath, RawReceptionLeavesTheFramerWhereItWas) {
  Rig rig;
  rig.path.ComPort1ReceiveCallBack(kVersionWire.substr(0, 6));
  const int state = rig.path.Framer().State();
  rig.log.Switches().rawReception = true;
  rig.path.ComPort1ReceiveCallBack(std::string("\xA5\x5A", 2));
  ASSERT_EQ(rig.log.Count(), 2u);
  EXPECT_EQ(rig.log.Line(0).text, "  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:A5");
  EXPECT_EQ(rig.log.Line(1).text.substr(rig.log.Line(1).text.size() - 6), "hex:5A");
  EXPECT_EQ(rig.log.Line(0).color, colors::kLime);
  EXPECT_EQ(rig.path.Framer().State(), state);
  rig.path.ComPort1ReceiveCallBack("");
  EXPECT_EQ(rig.log.Count(), 2u);
  rig.log.Switches().rawReception = false;
  rig.path.ComPort1ReceiveCallBack(kVersionWire.substr(6));
  EXPECT_EQ(rig.queues.Answers().Count(), 1u) << "the cut telegram completes after the raw period";
}

TEST(ReceivePath, StopLogingStillFeedsAnswersAndAcks) {
  Rig rig;
  rig.log.Switches().stopLogging = true;
  std::string bad = Wire(Body(0x05, 2));
  bad[13] = static_cast<char>(bad[13] ^ 1);
  rig.path.ComPort1ReceiveCallBack(Wire(Body(0x05, 1)) + bad);
  EXPECT_EQ(rig.log.Count(), 0u);
  EXPECT_EQ(rig.queues.Answers().Count(), 1u);
  EXPECT_EQ(rig.acked.size(), 1u);
}

TEST(ReceivePath, EveryByteValuePassesTheFramer) {
  Rig rig;
  for (int v = 0; v < 256; ++v) {
    TTelegramBody body;
    body.fill(static_cast<std::uint8_t>(v));
    rig.path.ComPort1ReceiveCallBack(Wire(body));
  }
  ASSERT_EQ(rig.queues.Answers().Count(), 256u);
  for (int v = 0; v < 256; ++v) {
    TTelegramBody body;
    body.fill(static_cast<std::uint8_t>(v));
    EXPECT_EQ(rig.queues.Answers().At(255 - v), FormatTelegramText(body));
  }
}

TEST(LinkLog, ColumnGuideAndClear) {
  TLinkLog log;
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_EQ(log.Line(0).text, "E dd.nn.yyyy hh.mm.ss   xx xx xxxxxxxx .............");
  log.Clear();
  EXPECT_EQ(log.Count(), 0u);
  log.AppendLine(colors::kPurple, "W x");
  EXPECT_EQ(log.Line(0).text, "W x");
}

}  // namespace
}  // namespace ardel
