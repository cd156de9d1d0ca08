#pragma once
// The bus at a glance: what the link carried for every ID seen on it, and for the line as
// a whole, since the start and over the last ten minutes. Fed by the receive path, the
// transmit path and the queue tick's outcomes (or by the lines of a capture); memory
// stays bounded whatever the line carries: past a fixed number of IDs the rest is
// counted in one row "other".

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/telegram.h"

namespace ardel {

using TOverviewTime = std::chrono::system_clock::time_point;

// The IDs a telegram body names: its ID field, bytes 6 to 9.
std::uint32_t BodyId(const TTelegramBody& body);

struct TResponseTimes {
  std::size_t count = 0;  // of the last ones kept (at most TBusOverview::kResponseWindow)
  double lastMs = 0;
  double minMs = 0;
  double medianMs = 0;
  double p95Ms = 0;
  double maxMs = 0;
};

// What the line said of one ID, counted as it happens.
struct TIdCounts {
  std::uint64_t received = 0;
  // Received telegrams by header and org (header << 8 | org); beyond a few kinds the rest
  // count under 0xFFFF. In a row, most frequent first.
  std::vector<std::pair<std::uint16_t, std::uint64_t>> receivedByKind;
  std::uint64_t sent = 0;     // first transmissions of commands to it
  std::uint64_t repeats = 0;  // repetitions
  std::uint64_t completed = 0;
  std::uint64_t timeouts = 0;
  std::uint64_t acks = 0;
  // Telegrams with a wrong checksum whose ID field named it: the bytes may be wrong.
  std::uint64_t checksumErrorsUnsure = 0;
  std::optional<TOverviewTime> firstSeen;
  std::optional<TOverviewTime> lastSeen;
  std::optional<TOverviewTime> lastReceived;
};

struct TIdRow : TIdCounts {
  std::uint32_t id = 0;
  // The row that counts every ID beyond the limit; its id means nothing.
  bool other = false;
  // The station whose block (its SBI to SBI + 7F) holds the ID, and the ID's place in
  // it; -1 for an ID of no station.
  int station = -1;
  std::uint32_t offset = 0;
  TResponseTimes response;
};

struct TLinkTotals {
  std::uint64_t telegramsReceived = 0;
  std::uint64_t telegramsSent = 0;  // commands, repetitions and ACKs
  std::uint64_t bytesReceived = 0;
  std::uint64_t bytesSent = 0;
  std::uint64_t checksumErrors = 0;
  std::uint64_t timeouts = 0;
  std::uint64_t droppedBytes = 0;
  std::uint64_t portLosses = 0;
};

// Per second over a window, and the line's load in percent of its rate (ten bits a byte
// at the baud rate, both ways on one pair of wires).
struct TLinkRates {
  double telegramsReceived = 0;
  double telegramsSent = 0;
  double bytesReceived = 0;
  double bytesSent = 0;
  double errors = 0;  // checksum errors and time-outs
  double loadPercent = 0;
};

// The SBI of each station; a station without one owns no IDs.
using TStationBases = std::array<std::optional<std::uint32_t>, 16>;

class TBusOverview {
 public:
  static constexpr std::size_t kMaxIds = 4096;
  static constexpr std::size_t kResponseWindow = 1000;
  static constexpr std::size_t kSeconds = 600;
  static constexpr std::size_t kKindsPerId = 8;
  static constexpr std::uint16_t kOtherKinds = 0xFFFF;
  // An ID is alive while something came from it this recently.
  static constexpr std::chrono::seconds kAliveWithin{60};

  explicit TBusOverview(std::size_t maxIds = kMaxIds);

  void SetBaud(std::uint32_t baud) { baud_ = baud; }
  std::uint32_t Baud() const { return baud_; }

  // Bytes as the port delivered them, noise included.
  void BytesReceived(std::size_t count, TOverviewTime at);
  // A telegram with a right checksum.
  void Received(const TTelegramBody& body, TOverviewTime at);
  // A telegram whose checksum was wrong, with the bytes as framed.
  void ChecksumError(const TTelegramBody& body, TOverviewTime at);
  // One without its bytes (a capture line may carry none): no ID to blame, the link counts it.
  void ChecksumError(TOverviewTime at);
  // A command's transmission; repetition when it is not its first.
  void Sent(const TTelegramBody& body, bool repetition, TOverviewTime at);
  // An acknowledgement of a telegram from the ID.
  void AckSent(std::uint32_t id, TOverviewTime at);
  // The oldest command to the ID was answered: its response time runs from its last
  // transmission.
  void Completed(std::uint32_t id, TOverviewTime at);
  void TimedOut(std::uint32_t id, TOverviewTime at);
  // A time-out of a command not known: the link counts it.
  void TimedOut(TOverviewTime at);
  void OutputDropped(std::uint64_t bytes, TOverviewTime at);
  void PortLost(TOverviewTime at);

  // A row per ID, by station and place in its block, then the IDs of no station, then
  // "other" when the limit was reached.
  std::vector<TIdRow> Rows(const TStationBases& bases) const;
  const TLinkTotals& Totals() const { return totals_; }
  // Over the last window (at most ten minutes) up to the second of now.
  TLinkRates Rates(TOverviewTime now, std::chrono::seconds window) const;
  // A second's rates each, oldest first, for the last ten minutes up to now.
  std::vector<TLinkRates> History(TOverviewTime now) const;
  std::size_t IdCount() const { return ids_.size(); }
  // Bytes the rows' counts take, for the benchmarks.
  std::size_t MemoryBytes() const;

  static bool Alive(const TIdRow& row, TOverviewTime now);

 private:
  // What every received telegram touches lies in its first cache line; a time of
  // kNever is none.
  static constexpr TOverviewTime kNever = TOverviewTime::min();
  struct alignas(64) TIdStats {
    std::uint32_t id = 0;
    std::uint8_t kindCount = 0;
    std::uint64_t received = 0;
    TOverviewTime firstSeen = kNever;
    TOverviewTime lastSeen = kNever;
    TOverviewTime lastReceived = kNever;
    // Header and org of received telegrams: few per ID, so kept in place.
    std::array<std::pair<std::uint16_t, std::uint64_t>, kKindsPerId> kinds{};
    std::uint64_t sent = 0, repeats = 0, completed = 0, timeouts = 0, acks = 0, checksumErrorsUnsure = 0;
    std::vector<float> responseMs;  // a ring of the last ones
    std::size_t responseNext = 0;
    float lastResponseMs = 0;
    std::optional<TOverviewTime> lastSent;
  };
  struct TSecond {
    std::int64_t second = -1;
    std::uint32_t telegramsReceived = 0, telegramsSent = 0, errors = 0;
    std::uint64_t bytesReceived = 0, bytesSent = 0;
  };

  TIdStats& Stats(std::uint32_t id, TOverviewTime at);
  TSecond& Second(TOverviewTime at);
  TLinkRates RatesOf(const TSecond& sum, double seconds) const;

  std::size_t maxIds_;
  std::uint32_t baud_ = 9600;
  // Every telegram passes here: an open-addressing table of positions in ids_ (plus one,
  // 0 for a free place), twice the limit in size, so a lookup touches few cache lines.
  std::vector<TIdStats> ids_;
  std::vector<std::uint32_t> places_;
  unsigned placeBits_ = 0;
  TIdStats other_;
  bool otherUsed_ = false;
  TLinkTotals totals_;
  std::array<TSecond, kSeconds> seconds_{};
  std::size_t lastSlot_ = 0;
};

// The rows as CSV, a header line first, for a spreadsheet.
std::string OverviewCsv(const std::vector<TIdRow>& rows);

}  // namespace ardel
