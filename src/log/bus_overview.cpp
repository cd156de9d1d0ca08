#include "log/bus_overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "log/log_store.h"

namespace ardel {

namespace {

std::int64_t SecondOf(TOverviewTime at) {
  return std::chrono::duration_cast<std::chrono::seconds>(at.time_since_epoch()).count();
}

double Milliseconds(TOverviewTime from, TOverviewTime to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// A station's block: its SBI and the 127 IDs after it.
constexpr std::uint32_t kBlockSize = 0x80;

template <typename TKinds>
void Count(TKinds& kinds, std::uint8_t& used, std::uint16_t kind) {
  for (std::size_t i = 0; i < used; ++i) {
    if (kinds[i].first == kind) {
      ++kinds[i].second;
      return;
    }
  }
  if (used + 1u < TBusOverview::kKindsPerId) {
    kinds[used++] = {kind, 1};
    return;
  }
  // The last place counts every further kind.
  if (used + 1u == TBusOverview::kKindsPerId) kinds[used++] = {TBusOverview::kOtherKinds, 0};
  ++kinds[used - 1].second;
}

std::size_t PlaceOf(std::uint32_t id, unsigned bits) {
  return static_cast<std::size_t>((id * 0x9E3779B1u) >> (32 - bits));
}

std::string TimeText(const std::optional<TOverviewTime>& at) { return at ? CaptureTimeText(*at) : std::string(); }

}  // namespace

std::uint32_t BodyId(const TTelegramBody& body) {
  return std::uint32_t{body[6]} << 24 | std::uint32_t{body[7]} << 16 | std::uint32_t{body[8]} << 8 | body[9];
}

TBusOverview::TBusOverview(std::size_t maxIds) : maxIds_(maxIds) {
  placeBits_ = 1;
  while ((std::size_t{1} << placeBits_) < 2 * std::max<std::size_t>(maxIds_, 1)) ++placeBits_;
  places_.assign(std::size_t{1} << placeBits_, 0);
}

TBusOverview::TIdStats& TBusOverview::Stats(std::uint32_t id, TOverviewTime at) {
  TIdStats* stats = nullptr;
  const std::size_t mask = places_.size() - 1;
  std::size_t place = PlaceOf(id, placeBits_);
  for (;; place = (place + 1) & mask) {
    const std::uint32_t held = places_[place];
    if (held == 0) break;
    if (ids_[held - 1].id == id) {
      stats = &ids_[held - 1];
      break;
    }
  }
  if (stats == nullptr) {
    if (ids_.size() < maxIds_) {
      stats = &ids_.emplace_back();
      stats->id = id;
      places_[place] = static_cast<std::uint32_t>(ids_.size());
    } else {
      otherUsed_ = true;
      stats = &other_;
    }
  }
  if (stats->firstSeen == kNever) stats->firstSeen = at;
  stats->lastSeen = at;
  return *stats;
}

TBusOverview::TSecond& TBusOverview::Second(TOverviewTime at) {
  const std::int64_t second = SecondOf(at);
  // Mostly the second of the last call.
  if (second == seconds_[lastSlot_].second) return seconds_[lastSlot_];
  const std::size_t slot = static_cast<std::size_t>(((second % std::int64_t{kSeconds}) + kSeconds) % kSeconds);
  TSecond& bucket = seconds_[slot];
  if (bucket.second != second) bucket = TSecond{second};
  lastSlot_ = slot;
  return bucket;
}

void TBusOverview::BytesReceived(std::size_t count, TOverviewTime at) {
  totals_.bytesReceived += count;
  Second(at).bytesReceived += count;
}

void TBusOverview::Received(const TTelegramBody& body, TOverviewTime at) {
  ++totals_.telegramsReceived;
  ++Second(at).telegramsReceived;
  TIdStats& stats = Stats(BodyId(body), at);
  ++stats.received;
  stats.lastReceived = at;
  Count(stats.kinds, stats.kindCount, static_cast<std::uint16_t>(body[0] << 8 | body[1]));
}

void TBusOverview::ChecksumError(const TTelegramBody& body, TOverviewTime at) {
  ++totals_.checksumErrors;
  ++Second(at).errors;
  ++Stats(BodyId(body), at).checksumErrorsUnsure;
}

void TBusOverview::ChecksumError(TOverviewTime at) {
  ++totals_.checksumErrors;
  ++Second(at).errors;
}

void TBusOverview::Sent(const TTelegramBody& body, bool repetition, TOverviewTime at) {
  ++totals_.telegramsSent;
  totals_.bytesSent += kWireSize;
  TSecond& second = Second(at);
  ++second.telegramsSent;
  second.bytesSent += kWireSize;
  TIdStats& stats = Stats(BodyId(body), at);
  ++(repetition ? stats.repeats : stats.sent);
  stats.lastSent = at;
}

void TBusOverview::AckSent(std::uint32_t id, TOverviewTime at) {
  ++totals_.telegramsSent;
  totals_.bytesSent += kWireSize;
  TSecond& second = Second(at);
  ++second.telegramsSent;
  second.bytesSent += kWireSize;
  ++Stats(id, at).acks;
}

void TBusOverview::Completed(std::uint32_t id, TOverviewTime at) {
  TIdStats& stats = Stats(id, at);
  ++stats.completed;
  if (!stats.lastSent) return;  // answered before anything was sent: no time to tell
  const float ms = static_cast<float>(std::max(0.0, Milliseconds(*stats.lastSent, at)));
  stats.lastResponseMs = ms;
  if (stats.responseMs.size() < kResponseWindow) {
    stats.responseMs.push_back(ms);
  } else {
    stats.responseMs[stats.responseNext] = ms;
    stats.responseNext = (stats.responseNext + 1) % kResponseWindow;
  }
}

void TBusOverview::TimedOut(std::uint32_t id, TOverviewTime at) {
  ++totals_.timeouts;
  ++Second(at).errors;
  ++Stats(id, at).timeouts;
}

void TBusOverview::TimedOut(TOverviewTime at) {
  ++totals_.timeouts;
  ++Second(at).errors;
}

void TBusOverview::OutputDropped(std::uint64_t bytes, TOverviewTime) { totals_.droppedBytes += bytes; }

void TBusOverview::PortLost(TOverviewTime) { ++totals_.portLosses; }

namespace {

TResponseTimes Summary(std::vector<float> times, float last) {
  TResponseTimes r;
  r.count = times.size();
  if (times.empty()) return r;
  r.lastMs = last;
  // The nearest rank: the smallest time that at least that share of times do not exceed.
  auto rank = [&](double share) {
    const std::size_t k = static_cast<std::size_t>(std::max(1.0, std::ceil(share * static_cast<double>(times.size()))));
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(k - 1), times.end());
    return static_cast<double>(times[k - 1]);
  };
  r.medianMs = rank(0.5);
  r.p95Ms = rank(0.95);
  const auto [lo, hi] = std::minmax_element(times.begin(), times.end());
  r.minMs = *lo;
  r.maxMs = *hi;
  return r;
}

}  // namespace

std::vector<TIdRow> TBusOverview::Rows(const TStationBases& bases) const {
  std::vector<TIdRow> rows;
  rows.reserve(ids_.size() + 1);
  auto fill = [](const TIdStats& s, TIdRow& row) {
    auto time = [](TOverviewTime at) { return at == kNever ? std::nullopt : std::optional<TOverviewTime>(at); };
    row.received = s.received;
    row.sent = s.sent;
    row.repeats = s.repeats;
    row.completed = s.completed;
    row.timeouts = s.timeouts;
    row.acks = s.acks;
    row.checksumErrorsUnsure = s.checksumErrorsUnsure;
    row.firstSeen = time(s.firstSeen);
    row.lastSeen = time(s.lastSeen);
    row.lastReceived = time(s.lastReceived);
    row.receivedByKind.assign(s.kinds.begin(), s.kinds.begin() + s.kindCount);
    std::stable_sort(row.receivedByKind.begin(), row.receivedByKind.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    row.response = Summary(s.responseMs, s.lastResponseMs);
  };
  for (const TIdStats& stats : ids_) {
    const std::uint32_t id = stats.id;
    TIdRow row;
    row.id = id;
    for (int station = 0; station < 16; ++station) {
      const auto& sbi = bases[static_cast<std::size_t>(station)];
      if (sbi && id >= *sbi && id - *sbi < kBlockSize) {
        row.station = station;
        row.offset = id - *sbi;
        break;
      }
    }
    fill(stats, row);
    rows.push_back(std::move(row));
  }
  std::sort(rows.begin(), rows.end(), [](const TIdRow& a, const TIdRow& b) {
    const int sa = a.station < 0 ? 16 : a.station;
    const int sb = b.station < 0 ? 16 : b.station;
    if (sa != sb) return sa < sb;
    return a.id < b.id;
  });
  if (otherUsed_) {
    TIdRow row;
    row.other = true;
    fill(other_, row);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::size_t TBusOverview::MemoryBytes() const {
  std::size_t bytes = sizeof(*this) + ids_.capacity() * sizeof(TIdStats) + places_.capacity() * sizeof(std::uint32_t);
  for (const TIdStats& s : ids_) bytes += s.responseMs.capacity() * sizeof(float);
  return bytes + other_.responseMs.capacity() * sizeof(float);
}

TLinkRates TBusOverview::RatesOf(const TSecond& sum, double seconds) const {
  TLinkRates r;
  if (seconds <= 0) return r;
  r.telegramsReceived = sum.telegramsReceived / seconds;
  r.telegramsSent = sum.telegramsSent / seconds;
  r.bytesReceived = static_cast<double>(sum.bytesReceived) / seconds;
  r.bytesSent = static_cast<double>(sum.bytesSent) / seconds;
  r.errors = sum.errors / seconds;
  if (baud_ > 0) r.loadPercent = 100.0 * 10.0 * (r.bytesReceived + r.bytesSent) / baud_;
  return r;
}

TLinkRates TBusOverview::Rates(TOverviewTime now, std::chrono::seconds window) const {
  const std::int64_t span = std::clamp<std::int64_t>(window.count(), 1, kSeconds);
  const std::int64_t last = SecondOf(now);
  TSecond sum;
  for (const TSecond& s : seconds_) {
    if (s.second > last - span && s.second <= last) {
      sum.telegramsReceived += s.telegramsReceived;
      sum.telegramsSent += s.telegramsSent;
      sum.errors += s.errors;
      sum.bytesReceived += s.bytesReceived;
      sum.bytesSent += s.bytesSent;
    }
  }
  return RatesOf(sum, static_cast<double>(span));
}

std::vector<TLinkRates> TBusOverview::History(TOverviewTime now) const {
  std::vector<TLinkRates> history(kSeconds);
  const std::int64_t last = SecondOf(now);
  for (const TSecond& s : seconds_) {
    if (s.second > last - static_cast<std::int64_t>(kSeconds) && s.second <= last) {
      history[static_cast<std::size_t>(kSeconds - 1 - (last - s.second))] = RatesOf(s, 1.0);
    }
  }
  return history;
}

bool TBusOverview::Alive(const TIdRow& row, TOverviewTime now) {
  return row.lastReceived && now - *row.lastReceived <= kAliveWithin;
}

std::string OverviewCsv(const std::vector<TIdRow>& rows) {
  std::string csv =
      "id,station,offset,received,sent,repeats,completed,timeouts,acks,checksum_errors_unsure,"
      "response_ms_min,response_ms_median,response_ms_p95,response_ms_max,first_seen,last_seen\r\n";
  char number[64];
  for (const TIdRow& row : rows) {
    if (row.other) {
      csv += "other,,";
    } else {
      std::snprintf(number, sizeof number, "%08X,", static_cast<unsigned>(row.id));
      csv += number;
      if (row.station >= 0) {
        std::snprintf(number, sizeof number, "%X,%02X", row.station, static_cast<unsigned>(row.offset));
        csv += number;
      } else {
        csv += ",";
      }
    }
    std::snprintf(number, sizeof number, ",%llu,%llu,%llu,%llu,%llu,%llu,%llu",
                  static_cast<unsigned long long>(row.received), static_cast<unsigned long long>(row.sent),
                  static_cast<unsigned long long>(row.repeats), static_cast<unsigned long long>(row.completed),
                  static_cast<unsigned long long>(row.timeouts), static_cast<unsigned long long>(row.acks),
                  static_cast<unsigned long long>(row.checksumErrorsUnsure));
    csv += number;
    if (row.response.count > 0) {
      std::snprintf(number, sizeof number, ",%.1f,%.1f,%.1f,%.1f", row.response.minMs, row.response.medianMs,
                    row.response.p95Ms, row.response.maxMs);
      csv += number;
    } else {
      csv += ",,,,";
    }
    csv += "," + TimeText(row.firstSeen) + "," + TimeText(row.lastSeen) + "\r\n";
  }
  return csv;
}

}  // namespace ardel
