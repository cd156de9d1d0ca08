#include "bus_sim.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ardel {
namespace {

using namespace std::chrono_literals;
using TTime = TBusSim::TTime;

const TTime kT0{std::chrono::seconds(1000)};

TTelegramBody BodyOfText(const std::string& text) {
  const TParsedCommand parsed = ParseCommandString(text);
  EXPECT_EQ(parsed.kind, pkValid) << text;
  return parsed.body;
}

std::string Wire(const std::string& text) {
  const TWireTelegram w = EncodeTelegram(BodyOfText(text));
  return std::string(reinterpret_cast<const char*>(w.data()), w.size());
}

// What the PC makes of the bus's output, by the PC's own framing rules.
struct TFramed : TReceiveFramer::TSink {
  void OnGoodTelegram(const TFrame& frame) override { telegrams.push_back(FormatTelegramText(BodyOf(frame))); }
  void OnChecksumError(std::uint8_t, std::uint8_t) override { ++checksumErrors; }
  std::vector<std::string> telegrams;
  int checksumErrors = 0;
};

TFramed Frame(const std::string& bytes) {
  TFramed framed;
  TReceiveFramer framer;
  framer.Feed(bytes, framed);
  return framed;
}

TBusConfig Config() {
  TBusConfig config;
  config.stations = DefaultStations(4);  // FFFFFF80, FFFFFF00, FFFFFE80, FFFFFE00
  config.answerDelay = 20ms;
  config.ackTimeout = 300ms;
  return config;
}

TClock FixedWallClock() {
  return [] { return std::chrono::system_clock::time_point{}; };
}

struct TRig {
  explicit TRig(TBusConfig config = Config()) : sim(std::move(config), FixedWallClock()) { sim.Start(kT0); }
  // Sends the command at kT0 and collects everything the bus says within a second.
  std::vector<std::string> Ask(const std::string& command, TTime at = kT0) {
    sim.Receive(Wire(command), at);
    sim.Advance(at + 1s);
    return Frame(sim.TakeOutput()).telegrams;
  }
  TBusSim sim;
};

using TTexts = std::vector<std::string>;

TEST(BusSim, DefaultStationsLookReal) {
  const TSimStations stations = DefaultStations(4);
  const std::uint32_t sbis[] = {0xFFFFFF80, 0xFFFFFF00, 0xFFFFFE80, 0xFFFFFE00};
  for (int s = 0; s < 16; ++s) {
    const TSimStation& st = stations[static_cast<std::size_t>(s)];
    EXPECT_EQ(st.present, s < 4) << s;
    if (!st.present) continue;
    EXPECT_EQ(st.sbi, sbis[s]);
    EXPECT_GE(st.sbi, kLowestSbi);
    EXPECT_EQ(st.sbi % 0x80, 0u) << "an SBI heads a block of 128 IDs";
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(st.infi[static_cast<std::size_t>(i)], sbis[(s + 1) % 4] + static_cast<std::uint32_t>(i))
          << "entries are distinct, so a wrong index shows";
    }
  }
}

TEST(BusSim, EachCommandAnsweredOnlyByItsStation) {
  struct TCase {
    const char* command;
    TTexts answers;
  };
  const TCase cases[] = {
      {"AB B0 00000000 FFFFFF80 00", {"8B B0 01000000 FFFFFF80 00"}},
      {"AB B0 00000000 FFFFFE00 00", {"8B B0 01000000 FFFFFE00 00"}},
      {"AB B4 00000000 FFFFFF80 00", {"8B B4 FFFFFF00 FFFFFF80 00"}},
      {"AB B4 00000000 FFFFFF80 0A", {"8B B4 FFFFFF0A FFFFFF80 0A"}},
      {"AB B4 00000000 FFFFFF00 0F", {"8B B4 FFFFFE8F FFFFFF00 0F"}},
      {"AB B4 00000000 FFFFFF80 10", {}},  // a filter has sixteen entries
      {"AB C0 00000000 FFFFFE80 FF", {"8B AC 00000000 FFFFFE80 FF"}},
      {"AB C0 00000000 FFFFFE80 AA", {"8B AC 00000000 FFFFFE80 AA"}},
      {"AB C0 00000000 FFFFFE80 00", {"8B AC 00000000 FFFFFE80 00"}},
      {"AB D0 FF800000 FFFFFF80 00", {"8B D0 FF800000 FFFFFF80 F7"}},
      // Nobody is addressed: an ID that is no SBI, an ID inside a block, not a command.
      {"AB B0 00000000 12345678 00", {}},
      {"AB B0 00000000 FFFFFF81 00", {}},
      {"6B 05 30000000 FFFFFF80 10", {}},
      {"8B B0 01000000 FFFFFF80 00", {}},
      {"AB B1 00000000 FFFFFF80 00", {}},  // unknown command
      {"AB AC 00000000 FFFFFF80 00", {}},  // an ACK is never answered
  };
  for (const TCase& c : cases) {
    TRig rig;
    EXPECT_EQ(rig.Ask(c.command), c.answers) << c.command;
    EXPECT_EQ(rig.sim.Stats().received, 1) << c.command;
    EXPECT_EQ(rig.sim.Stats().answered, static_cast<long>(c.answers.size())) << c.command;
  }
}

TEST(BusSim, OutputFollowsTheCommand) {
  TRig rig;
  for (const std::uint8_t value : {kOutputOn, kOutputFlashing, kOutputOff}) {
    rig.Ask("AB C0 00000000 FFFFFF00 " + HexByte(value));
    EXPECT_EQ(rig.sim.Station(1).output, value);
  }
  EXPECT_EQ(rig.sim.Station(0).output, kOutputOff) << "another station's output stays";
}

TEST(BusSim, AnswerComesAfterTheDelayWithTrailer) {
  TRig rig;
  rig.sim.Receive(Wire("AB B0 00000000 FFFFFF80 00"), kT0);
  EXPECT_EQ(rig.sim.TakeOutput(), "");
  ASSERT_TRUE(rig.sim.NextDeadline());
  EXPECT_EQ(*rig.sim.NextDeadline(), kT0 + 20ms);
  rig.sim.Advance(kT0 + 19ms);
  EXPECT_EQ(rig.sim.TakeOutput(), "");
  rig.sim.Advance(kT0 + 20ms);
  EXPECT_EQ(rig.sim.TakeOutput(), Wire("8B B0 01000000 FFFFFF80 00"));
  EXPECT_FALSE(rig.sim.NextDeadline()) << "no timer left: the program can sleep";

  TBusConfig immediate = Config();
  immediate.answerDelay = 0ms;
  TRig now(immediate);
  now.sim.Receive(Wire("AB B0 00000000 FFFFFF80 00"), kT0);
  EXPECT_EQ(now.sim.TakeOutput(), Wire("8B B0 01000000 FFFFFF80 00"));
}

TEST(BusSim, CommandsSplitAndMixedWithGarbageAreFramedLikeArdelDoes) {
  TRig rig;
  std::string bytes = std::string("\x11\x00\xA5\x00\x5A", 5) + Wire("AB B0 00000000 FFFFFF80 00");
  std::string bad = Wire("AB B4 00000000 FFFFFF80 01");
  bad[13] = static_cast<char>(bad[13] + 1);
  bytes += bad + "\xA5" + Wire("AB B4 00000000 FFFFFF80 02");
  for (char c : bytes) rig.sim.Receive(std::string(1, c), kT0);
  rig.sim.Advance(kT0 + 1s);
  EXPECT_EQ(Frame(rig.sim.TakeOutput()).telegrams,
            (TTexts{"8B B0 01000000 FFFFFF80 00", "8B B4 FFFFFF02 FFFFFF80 02"}));
  EXPECT_EQ(rig.sim.Stats().framingErrors, 1);
  EXPECT_EQ(rig.sim.Stats().received, 2);
}

TEST(BusSim, SilentStationHearsNothing) {
  TBusConfig config = Config();
  config.stations[2].silent = true;
  config.stations[2].lrnMode = true;
  TRig rig(config);
  for (const char* command : {"AB B0 00000000 FFFFFE80 00", "AB B4 00000000 FFFFFE80 00",
                              "AB C0 00000000 FFFFFE80 FF", "AB D0 FF800000 FFFFFE80 00"}) {
    EXPECT_EQ(rig.Ask(command), TTexts{}) << command;
  }
  EXPECT_EQ(rig.sim.Station(2).output, kOutputOff);
  EXPECT_EQ(rig.sim.Station(2).sbi, 0xFFFFFE80u);
  EXPECT_EQ(rig.Ask("AB B0 00000000 FFFFFF80 00"), TTexts{"8B B0 01000000 FFFFFF80 00"})
      << "the others still answer";
}

TEST(BusSim, BaseIdChangeOutcomes) {
  struct TCase {
    bool lrnMode;
    int changesBefore;
    const char* newSbi;
    std::uint8_t status;
  };
  const TCase cases[] = {
      {false, 0, "FF800000", kChangeNotLearning},
      {false, 0, "00000080", kChangeNotLearning},  // LRN-Mode is checked first
      {false, 10, "FF800000", kChangeNotLearning},
      {true, 0, "FF800000", kChangeSet},
      {true, 0, "FFFFFF00", kChangeSet},
      {true, 0, "FF7FFF80", kChangeTooLow},
      {true, 0, "00000000", kChangeTooLow},
      {true, 10, "FF7FFF80", kChangeTooLow},
      {true, 9, "FF800000", kChangeSet},  // the tenth change is allowed
      {true, 10, "FF800000", kChangeTooOften},
      {true, 25, "FF800000", kChangeTooOften},
  };
  for (const TCase& c : cases) {
    TBusConfig config = Config();
    config.stations[0].lrnMode = c.lrnMode;
    config.stations[0].baseIdChanges = c.changesBefore;
    TRig rig(config);
    const std::string label = std::string(c.newSbi) + " lrn " + std::to_string(c.lrnMode) + " changes " +
                              std::to_string(c.changesBefore);
    // New SBI in the data field, the SBI before the change in the ID field.
    EXPECT_EQ(rig.Ask(std::string("AB D0 ") + c.newSbi + " FFFFFF80 00"),
              TTexts{std::string("8B D0 ") + c.newSbi + " FFFFFF80 " + HexByte(c.status)})
        << label;
    const bool set = c.status == kChangeSet;
    const std::string newSbi = c.newSbi;
    EXPECT_EQ(IdText(rig.sim.Station(0).sbi), set ? newSbi : "FFFFFF80") << label;
    EXPECT_EQ(rig.sim.Station(0).baseIdChanges, c.changesBefore + (set ? 1 : 0)) << label;
    if (set && newSbi != "FFFFFF00") {
      EXPECT_EQ(rig.Ask("AB B0 00000000 " + newSbi + " 00"), TTexts{"8B B0 01000000 " + newSbi + " 00"})
          << "the station answers to its new SBI: " << label;
      EXPECT_EQ(rig.Ask("AB B0 00000000 FFFFFF80 00"), TTexts{}) << "and no longer to the old one: " << label;
    }
  }
}

TEST(BusSim, TwoStationsWithOneSbiAnswerOnce) {
  TBusConfig config = Config();
  config.stations[3].sbi = 0xFFFFFF80;
  config.stations[3].infi[0] = 0x12345678;
  TRig rig(config);
  EXPECT_EQ(rig.Ask("AB B4 00000000 FFFFFF80 00"), TTexts{"8B B4 FFFFFF00 FFFFFF80 00"})
      << "the lower station number answers, alone";
}

// Sender telegrams and their repetition: the effect each ACK policy has on the bus.
TEST(BusSim, SenderRepeatsUntilAcknowledged) {
  struct TCase {
    int ackAfter;  // the transmission that the PC acknowledges; 0: none
    int transmissions;
  };
  const TCase cases[] = {{0, 3}, {1, 1}, {2, 2}, {3, 3}};
  for (const TCase& c : cases) {
    TRig rig;
    rig.sim.TriggerSender(kT0);
    std::vector<std::string> sent;
    TTime t = kT0;
    for (int n = 1; n <= 5; ++n) {
      for (const std::string& text : Frame(rig.sim.TakeOutput()).telegrams) sent.push_back(text);
      if (n == c.ackAfter) {
        // Ardel's ACK: header AB, org AC, the rest as received.
        rig.sim.Receive(Wire("AB AC " + sent.back().substr(6)), t + 5ms);
      }
      if (!rig.sim.NextDeadline()) break;
      t = *rig.sim.NextDeadline();
      EXPECT_EQ(t, kT0 + n * 300ms) << "repetitions follow the ACK time-out";
      rig.sim.Advance(t);
    }
    ASSERT_EQ(sent.size(), static_cast<std::size_t>(c.transmissions)) << c.ackAfter;
    for (const std::string& text : sent) EXPECT_EQ(text, "6B 05 30000000 FFFFFF80 10") << "repeated unchanged";
    const TBusStats& s = rig.sim.Stats();
    EXPECT_EQ(s.sendersSent, 1);
    EXPECT_EQ(s.repeats, c.transmissions - 1);
    EXPECT_EQ(s.unacknowledged, c.ackAfter == 0 ? 1 : 0);
    EXPECT_EQ(s.acksSeen, c.ackAfter == 0 ? 0 : 1);
    EXPECT_FALSE(rig.sim.NextDeadline());
  }
}

TEST(BusSim, AckOfAnotherIdDoesNotStopTheRepetition) {
  TRig rig;
  rig.sim.TriggerSender(kT0);  // FFFFFF80
  rig.sim.Receive(Wire("AB AC 30000000 FFFFFF00 10"), kT0 + 10ms);
  rig.sim.Advance(kT0 + 300ms);
  EXPECT_EQ(Frame(rig.sim.TakeOutput()).telegrams.size(), 2u);
  EXPECT_EQ(rig.sim.Stats().acksSeen, 1);
  EXPECT_EQ(rig.sim.Stats().repeats, 1);
}

TEST(BusSim, SenderScheduleGoesRoundTheModules) {
  TBusConfig config = Config();
  config.senderInterval = 1000ms;
  config.senders = {{0, 0}, {1, 0x7F}};
  TRig rig(config);
  ASSERT_TRUE(rig.sim.NextDeadline());
  EXPECT_EQ(*rig.sim.NextDeadline(), kT0 + 1000ms);
  TTexts sent;
  for (int n = 1; n <= 4; ++n) {
    const TTime t = kT0 + n * 1000ms;
    rig.sim.Advance(t);
    const TTexts now = Frame(rig.sim.TakeOutput()).telegrams;
    ASSERT_EQ(now.size(), 1u) << n;
    sent.push_back(now[0]);
    rig.sim.Receive(Wire("AB AC " + now[0].substr(6)), t + 1ms);  // no repetitions
  }
  EXPECT_EQ(sent, (TTexts{"6B 05 30000000 FFFFFF80 10", "6B 05 10000000 FFFFFF7F 10",
                          "6B 05 00000000 FFFFFF80 00", "6B 05 00000000 FFFFFF7F 00"}))
      << "each module presses a rocker, then releases it";
  EXPECT_EQ(rig.sim.Stats().sendersSent, 4);
  EXPECT_EQ(rig.sim.Stats().repeats, 0);
}

TEST(BusSim, SenderFollowsItsStationsNewSbi) {
  TBusConfig config = Config();
  config.stations[0].lrnMode = true;
  config.senders = {{0, 1}};
  TRig rig(config);
  rig.Ask("AB D0 FF800000 FFFFFF80 00");
  rig.sim.TriggerSender(kT0 + 2s);
  EXPECT_EQ(Frame(rig.sim.TakeOutput()).telegrams, TTexts{"6B 05 30000000 FF800001 10"});
}

// Noise may cost the PC a checksum error, but never the telegram that follows it.
TEST(BusSim, NoiseDoesNotBreakTheFramingOfFollowingTelegrams) {
  for (const TNoiseKind kind : {nkRandomBytes, nkCutTelegram, nkWrongChecksum}) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
      TBusConfig config = Config();
      config.seed = seed;
      TRig rig(config);
      rig.sim.InjectNoise(kT0, kind);
      rig.sim.InjectNoise(kT0, kind);  // two in a row, then the answer
      rig.sim.Receive(Wire("AB B0 00000000 FFFFFF80 00"), kT0);
      rig.sim.Advance(kT0 + 1s);
      const TFramed heard = Frame(rig.sim.TakeOutput());
      EXPECT_EQ(heard.telegrams, TTexts{"8B B0 01000000 FFFFFF80 00"}) << kind << " seed " << seed;
      EXPECT_LE(heard.checksumErrors, 2) << kind << " seed " << seed;
      if (kind != nkRandomBytes) {
        EXPECT_EQ(heard.checksumErrors, 2) << kind << " seed " << seed;
      }
      EXPECT_EQ(rig.sim.Stats().noiseInjected, 2);
    }
  }
}

TEST(BusSim, NoiseBeforeEveryTelegramStillLetsEveryTelegramThrough) {
  TBusConfig config = Config();
  config.noiseProbability = 1.0;
  config.seed = 7;
  TBusSim sim(config, FixedWallClock());
  sim.Start(kT0);
  std::string line;
  TTexts expected;
  for (int i = 0; i < 16; ++i) {
    const std::string command = "AB B4 00000000 FFFFFF80 " + HexByte(static_cast<std::uint8_t>(i));
    sim.Receive(Wire(command), kT0 + i * 100ms);
    sim.Advance(kT0 + i * 100ms + 20ms);
    line += sim.TakeOutput();
    expected.push_back("8B B4 FFFFFF" + HexByte(static_cast<std::uint8_t>(i)) + " FFFFFF80 " +
                       HexByte(static_cast<std::uint8_t>(i)));
  }
  const TFramed framed = Frame(line);
  TTexts answers;
  for (const std::string& t : framed.telegrams) {
    if (t.rfind("8B B4", 0) == 0 && t.substr(15, 8) == "FFFFFF80") answers.push_back(t);
  }
  EXPECT_EQ(answers, expected);
  EXPECT_EQ(sim.Stats().noiseInjected, 16);
  EXPECT_GE(framed.checksumErrors, 1);
}

TEST(BusSim, NoiseRateKeepsItsTimer) {
  TBusConfig config = Config();
  config.noiseRate = 20;
  config.seed = 3;
  TBusSim sim(config, FixedWallClock());
  sim.Start(kT0);
  TTime t = kT0;
  int wakeUps = 0;
  while (t < kT0 + 10s) {
    ASSERT_TRUE(sim.NextDeadline());
    ASSERT_GT(*sim.NextDeadline(), t) << "each wake-up has work to do";
    t = *sim.NextDeadline();
    sim.Advance(t);
    ++wakeUps;
  }
  EXPECT_GT(sim.Stats().noiseInjected, 100) << "about 200 in 10 s";
  EXPECT_LT(sim.Stats().noiseInjected, 300);
  EXPECT_EQ(sim.Stats().noiseInjected, wakeUps);
}

TEST(BusSim, LogLinesCarryTimeAndDirection) {
  TRig rig;
  rig.Ask("AB B0 00000000 FFFFFF80 00");
  rig.sim.TriggerSender(kT0 + 2s);
  rig.sim.InjectNoise(kT0 + 2s, nkWrongChecksum);
  const std::vector<std::string> log = rig.sim.TakeLog();
  ASSERT_EQ(log.size(), 4u);
  // hh:mm:ss.mmm, the mark, the telegram text.
  for (const std::string& line : log) {
    ASSERT_GE(line.size(), 16u);
    EXPECT_EQ(line[2], ':') << line;
    EXPECT_EQ(line[8], '.') << line;
  }
  EXPECT_EQ(log[0].substr(12, 31), " <- AB B0 00000000 FFFFFF80 00 ");
  EXPECT_EQ(log[1].substr(12, 31), " -> 8B B0 01000000 FFFFFF80 00 ");
  EXPECT_EQ(log[2].substr(12, 31), " -> 6B 05 30000000 FFFFFF80 10 ");
  EXPECT_EQ(log[3].substr(12, 4), " !! ");
  EXPECT_EQ(rig.sim.SummaryText(),
            "received 1, answered 1, senders sent 1, repeats 0, unacknowledged 0, acks seen 0, "
            "noise injected 1, framing errors 0");
}

}  // namespace
}  // namespace ardel
