#pragma once
// The simulated station bus: up to sixteen stations and their sender modules on the far
// side of the link. Bytes and time go in, bytes and log lines come out; the program
// around it does the I/O, so the whole bus runs in tests without a terminal.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "link/receive_path.h"
#include "link/telegram.h"
#include "link/time_stamp.h"

namespace ardel {

constexpr int kBusStations = 16;
constexpr int kBusInfi = 16;
// A station refuses the eleventh change of its base ID.
constexpr int kMaxBaseIdChanges = 10;
constexpr std::uint32_t kLowestSbi = 0xFF800000u;
// Transmissions of one sender telegram: the first and up to two repetitions.
constexpr int kSenderTransmissions = 3;

// Signal output values of the command AB C0, carried in its status byte.
constexpr std::uint8_t kOutputOff = 0x00;
constexpr std::uint8_t kOutputFlashing = 0xAA;
constexpr std::uint8_t kOutputOn = 0xFF;

// Outcomes of a base ID change, the status byte of the answer 8B D0.
constexpr std::uint8_t kChangeSet = 0x00;
constexpr std::uint8_t kChangeTooLow = 0x01;
constexpr std::uint8_t kChangeTooOften = 0x02;
constexpr std::uint8_t kChangeNotLearning = 0xF7;

struct TSimStation {
  bool present = false;
  std::uint32_t sbi = 0;
  std::array<std::uint32_t, kBusInfi> infi{};
  std::uint8_t output = kOutputOff;
  bool lrnMode = false;
  int baseIdChanges = 0;
  bool silent = false;  // hears nothing, answers nothing
};

using TSimStations = std::array<TSimStation, kBusStations>;

// One sender module: a station's block ID (SBI + offset) that sends 6B 05 telegrams.
struct TSenderModule {
  int station = 0;
  std::uint8_t offset = 0;
};

struct TBusConfig {
  TSimStations stations{};
  std::chrono::milliseconds answerDelay{20};
  std::chrono::milliseconds ackTimeout{300};
  std::chrono::milliseconds senderInterval{0};  // 0: only on demand
  // Empty: every present station with offset 0.
  std::vector<TSenderModule> senders;
  std::uint32_t version = 0x01000000;  // data field of the answer 8B B0
  double noiseRate = 0;                // noise events per second, on their own timer
  double noiseProbability = 0;         // chance of a noise event before each telegram sent
  std::uint32_t seed = 1;
};

struct TBusStats {
  long received = 0;        // good telegrams from the PC
  long answered = 0;        // station answers sent
  long sendersSent = 0;     // sender telegrams, first transmissions
  long repeats = 0;         // sender telegrams sent again for want of an ACK
  long unacknowledged = 0;  // sender telegrams given up after the last transmission
  long acksSeen = 0;        // AB AC telegrams from the PC
  long noiseInjected = 0;
  long framingErrors = 0;   // telegrams from the PC with a wrong checksum
};

enum TNoiseKind { nkRandomBytes, nkCutTelegram, nkWrongChecksum };

// Stations 0 to count-1 with SBIs from FFFFFF80 downwards in steps of 80 and input
// filters that name the sender IDs of the next station's block.
TSimStations DefaultStations(int count);

// "FFFFFF80" for 0xFFFFFF80.
std::string IdText(std::uint32_t id);

class TBusSim {
 public:
  using TTime = std::chrono::steady_clock::time_point;

  // The wall clock only stamps the log lines; every timer runs on the times passed in.
  TBusSim(TBusConfig config, TClock wallClock);

  // Arms the sender and noise timers.
  void Start(TTime now);

  // Bytes from the PC, in arrival order, any number of telegrams or a part of one.
  void Receive(std::string_view bytes, TTime now);

  // Runs every timer that is due: answers, sender telegrams, repetitions, noise.
  void Advance(TTime now);

  // The next moment Advance has something to do; none when all timers are idle.
  std::optional<TTime> NextDeadline() const;

  // One sender telegram from the next sender module, now.
  void TriggerSender(TTime now);
  // One noise event now; a random kind unless one is given.
  void InjectNoise(TTime now, std::optional<TNoiseKind> kind = std::nullopt);

  // Bytes for the PC since the last call.
  std::string TakeOutput();
  // Log lines since the last call, each one telegram or event, without line end.
  std::vector<std::string> TakeLog();

  const TBusStats& Stats() const { return stats_; }
  std::string SummaryText() const;
  const TSimStation& Station(int s) const { return config_.stations.at(static_cast<std::size_t>(s)); }
  TSimStation& Station(int s) { return config_.stations.at(static_cast<std::size_t>(s)); }
  const std::vector<TSenderModule>& Senders() const { return config_.senders; }
  // Lines that describe the stations and senders, for the start of a run.
  std::vector<std::string> DescribeSetup() const;

 private:
  struct TPendingAnswer {
    TTime due;
    TTelegramBody body;
    std::string note;
  };
  struct TOutstanding {
    TTime deadline;
    TTelegramBody body;
    int transmissions = 0;
  };
  class TFramerSink;
  friend class TFramerSink;

  void OnTelegram(const TTelegramBody& body, TTime now);
  void OnChecksumError(std::uint8_t sent, std::uint8_t calculated);
  void HandleCommand(int station, const TTelegramBody& body, TTime now);
  void HandleAck(const TTelegramBody& body);
  std::optional<int> StationOf(const TTelegramBody& body) const;

  void SendSender(TTime now);
  void Emit(const TTelegramBody& body, const std::string& note);
  void EmitNoise(TNoiseKind kind);
  TNoiseKind RandomNoiseKind();
  void EmitRaw(std::string_view bytes);
  void CloseOpenFrame();
  void ScheduleNoise(TTime now);
  void Log(std::string_view mark, std::string_view text);

  TBusConfig config_;
  TClock wallClock_;
  TReceiveFramer framer_;
  // Follows our own output as the PC frames it, so that noise never swallows the
  // telegram that comes after it.
  TReceiveFramer lineMirror_;
  std::mt19937 random_;
  std::deque<TPendingAnswer> answers_;  // due times rise: one delay for all
  std::deque<TOutstanding> outstanding_;
  std::optional<TTime> nextSender_;
  std::optional<TTime> nextNoise_;
  std::size_t senderCursor_ = 0;
  unsigned senderCodeCursor_ = 0;
  std::vector<bool> senderPressed_;  // per sender module
  std::string output_;
  std::vector<std::string> log_;
  TBusStats stats_;
};

}  // namespace ardel
