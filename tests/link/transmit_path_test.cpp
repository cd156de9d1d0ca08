#include "log/link_log.h"
#include "link/transmit_path.h"

#include <gtest/gtest.h>

#include "queue/queues.h"

namespace ardel {
namespace {

std::string Wire(const TTelegramBody& body) {
  const TWireTelegram w = EncodeTelegram(body);
  return std::string(reinterpret_cast<const char*>(w.data()), w.size());
}

struct Rig {
  Rig() : log([] { return std::chrono::system_clock::time_point{}; }), receive(log, queues.Answers()), transmit(log, receive) {
    log.Clear();
    transmit.SetWriter([this](std::string_view bytes) {
      written.emplace_back(bytes);
      return std::string();
    });
    receive.SetAckDecision([this](const TFrame& f) { transmit.AckDecision(f); });
  }
  TLinkLog log;
  TQueues queues;
  TReceivePath receive;
  TTransmitPath transmit;
  std::vector<std::string> written;
};

TEST(TransmitPath, SendCommandStringWritesThenLogs) {
  Rig rig;
  rig.transmit.SendCommandString(TManualSend::kInitialCommand);
  ASSERT_EQ(rig.written.size(), 1u);
  EXPECT_EQ(rig.written[0], std::string("\xA5\x5A\xAB\xB0\x00\x00\x00\x00\xFF\xFF\xFF\x80\x00\xD8\x11", 15));
  ASSERT_EQ(rig.log.Count(), 1u);
  EXPECT_EQ(rig.log.Line(0).color, colors::kSent);
  const std::string& line = rig.log.Line(0).text;
  EXPECT_EQ(line.substr(0, 2), "  ");
  EXPECT_EQ(line.substr(line.size() - 70), "AB B0 00000000 FFFFFF80 00   get SW Version of Station with default ID");
}

TEST(TransmitPath, InvalidAndUnconvertibleStrings) {
  Rig rig;
  rig.transmit.SendCommandString("[empty]");
  EXPECT_TRUE(rig.written.empty());
  ASSERT_EQ(rig.log.Count(), 1u);
  EXPECT_EQ(rig.log.Line(0).color, colors::kError);
  EXPECT_EQ(rig.log.Line(0).text.substr(0, 2), "E ");
  EXPECT_NE(rig.log.Line(0).text.find("00 00 00000000 00000000 00   no valid command string"), std::string::npos);

  try {
    rig.transmit.SendCommandString("AB ZZ 00000000 FFFFFF80 00");
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'$ZZ' ist kein g\xC3\xBCltiger Integerwert");
  }
  EXPECT_TRUE(rig.written.empty());
  EXPECT_EQ(rig.log.Count(), 1u);
}

TEST(TransmitPath, ClosedPortStillLogs) {
  Rig rig;
  rig.transmit.SetWriter(nullptr);
  rig.transmit.SendCommandString(TManualSend::kInitialCommand);
  EXPECT_EQ(rig.log.Count(), 1u);
}

TEST(TransmitPath, AckOfAnOrg05Telegram) {
  Rig rig;
  rig.receive.ComPort1ReceiveCallBack(
      std::string("\xA5\x5A\x8B\x05\x30\x00\x00\x00\x00\x00\x00\x01\x00\xC1", 14));
  ASSERT_EQ(rig.written.size(), 1u);
  EXPECT_EQ(rig.written[0], std::string("\xA5\x5A\xAB\xAC\x30\x00\x00\x00\x00\x00\x00\x01\x00\x88\x11", 15));
  ASSERT_EQ(rig.log.Count(), 2u);
  EXPECT_EQ(rig.log.Line(1).color, colors::kSent);
  const std::string& ack = rig.log.Line(1).text;
  EXPECT_EQ(ack.substr(ack.size() - 32), "   AB AC 30000000 00000001 00   ");
}

TEST(TransmitPath, Policies) {
  const TTelegramBody a{0x8B, 0x05, 1, 0, 0, 0, 0, 0, 0, 1, 0};
  const TTelegramBody b{0x8B, 0x05, 2, 0, 0, 0, 0, 0, 0, 1, 0};
  const TTelegramBody zero{0x00, 0x01, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};  // checksum 00
  const TTelegramBody answer{0x8B, 0xB4, 1, 0, 0, 0, 0, 0, 0, 1, 0};
  struct Case {
    const char* name;
    TAckPolicy policy;
    std::vector<TTelegramBody> received;
    std::vector<bool> acked;
  } cases[] = {
      {"always", apAlways, {a, b, answer, a}, {true, true, false, true}},
      {"never", apNever, {a, a, a}, {false, false, false}},
      {"never upon 1st: repetitions", apNeverUponFirst, {a, a, a, b, b}, {false, true, true, false, true}},
      {"never upon 1st: first with checksum 00", apNeverUponFirst, {zero}, {true}},
      // An answer is never acknowledged but still counts as the last good telegram.
      {"never upon 1st: answer in between", apNeverUponFirst, {a, answer, a}, {false, false, false}},
  };
  for (const auto& c : cases) {
    Rig rig;
    rig.transmit.SetPolicy(c.policy);
    for (std::size_t i = 0; i < c.received.size(); ++i) {
      const std::size_t before = rig.written.size();
      rig.receive.ComPort1ReceiveCallBack(Wire(c.received[i]).substr(0, 14));
      EXPECT_EQ(rig.written.size() > before, c.acked[i]) << c.name << " #" << i;
    }
  }
}

TEST(TransmitPath, RandomPolicyIsFair) {
  Rig rig;
  rig.transmit.SetPolicy(apRandomly);
  rig.transmit.Seed(12345);
  const std::string telegram = Wire({0x8B, 0x05, 1, 0, 0, 0, 0, 0, 0, 1, 0}).substr(0, 14);
  for (int i = 0; i < 10000; ++i) rig.receive.ComPort1ReceiveCallBack(telegram);
  EXPECT_GE(rig.written.size(), 4700u);
  EXPECT_LE(rig.written.size(), 5300u);
}

TEST(ManualSend, ListRule) {
  struct Case {
    const char* name;
    std::vector<std::string> sends;
    std::vector<std::string> expectedTail;  // entries after the initial one
  } cases[] = {
      {"exact repetition", {TManualSend::kInitialCommand}, {}},
      {"part of an entry", {"FFFFFF80 00   get"}, {}},
      {"new text", {"AB C0 FF000000 FFFFFF80 00"}, {"AB C0 FF000000 FFFFFF80 00"}},
      {"empty always appended", {"", ""}, {"", ""}},
      // The quotes that the delimited text adds are part of what is searched.
      {"quoted joint", {"\"AB"}, {}},
      {"comma between entries", {"x", "y", "x,y"}, {"x", "y"}},
      {"doubled quote", {"a\"b", "a\"\"b"}, {"a\"b"}},
  };
  for (const auto& c : cases) {
    TManualSend send;
    for (const auto& s : c.sends) send.Remember(s);
    std::vector<std::string> tail(send.List().begin() + 1, send.List().end());
    EXPECT_EQ(tail, c.expectedTail) << c.name;
  }
}

}  // namespace
}  // namespace ardel
