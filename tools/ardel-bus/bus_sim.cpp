#include "bus_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace ardel {

namespace {

constexpr std::uint8_t kHeaderCommand = 0xAB;
constexpr std::uint8_t kHeaderAnswer = 0x8B;
constexpr std::uint8_t kHeaderSender = 0x6B;
constexpr std::uint8_t kOrgSender = 0x05;
constexpr std::uint8_t kOrgAck = 0xAC;
constexpr std::uint8_t kOrgVersion = 0xB0;
constexpr std::uint8_t kOrgReadInfi = 0xB4;
constexpr std::uint8_t kOrgOutput = 0xC0;
constexpr std::uint8_t kOrgChangeBase = 0xD0;

// Rocker codes of a PTM sender as the PC's own simulation buttons send them; a press
// carries status 10, the release data 00 and status 00.
constexpr std::uint8_t kRockerCodes[] = {0x30, 0x10, 0x70, 0x50, 0xB0, 0x90, 0xF0, 0xD0};
constexpr std::uint8_t kPressStatus = 0x10;

std::uint32_t Field(const TTelegramBody& body, std::size_t first) {
  return std::uint32_t{body[first]} << 24 | std::uint32_t{body[first + 1]} << 16 |
         std::uint32_t{body[first + 2]} << 8 | std::uint32_t{body[first + 3]};
}

void SetField(TTelegramBody& body, std::size_t first, std::uint32_t value) {
  body[first] = static_cast<std::uint8_t>(value >> 24);
  body[first + 1] = static_cast<std::uint8_t>(value >> 16);
  body[first + 2] = static_cast<std::uint8_t>(value >> 8);
  body[first + 3] = static_cast<std::uint8_t>(value);
}

std::uint32_t DataOf(const TTelegramBody& body) { return Field(body, 2); }
std::uint32_t IdOf(const TTelegramBody& body) { return Field(body, 6); }

TTelegramBody MakeBody(std::uint8_t header, std::uint8_t org, std::uint32_t data, std::uint32_t id,
                       std::uint8_t status) {
  TTelegramBody body{};
  body[0] = header;
  body[1] = org;
  SetField(body, 2, data);
  SetField(body, 6, id);
  body[10] = status;
  return body;
}

std::string StationName(int s) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("station ") + kDigits[s & 0xF];
}

std::string OutputName(std::uint8_t value) {
  switch (value) {
    case kOutputOn: return "on";
    case kOutputFlashing: return "flashing";
    case kOutputOff: return "off";
    default: return "unknown value " + HexByte(value);
  }
}

std::string Ordinal(int transmission) {
  switch (transmission) {
    case 1: return "1st";
    case 2: return "2nd";
    case 3: return "3rd";
    default: return std::to_string(transmission) + "th";
  }
}

// Local time with milliseconds: answer delays and ACK time-outs are that short.
std::string ClockText(std::chrono::system_clock::time_point when) {
  const auto since = when.time_since_epoch();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                local.tm_sec, millis < 0 ? millis + 1000 : millis);
  return buffer;
}

}  // namespace

std::string IdText(std::uint32_t id) {
  char buffer[9];
  std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(id));
  return buffer;
}

TSimStations DefaultStations(int count) {
  count = std::clamp(count, 0, kBusStations);
  TSimStations stations{};
  auto sbiOf = [](int s) { return 0xFFFFFF80u - 0x80u * static_cast<std::uint32_t>(s); };
  for (int s = 0; s < count; ++s) {
    TSimStation& st = stations[static_cast<std::size_t>(s)];
    st.present = true;
    st.sbi = sbiOf(s);
    // Each station listens to the sender modules of the next station's block, so a
    // station's own senders show up in a neighbour's filter.
    const std::uint32_t listensTo = sbiOf((s + 1) % std::max(count, 2));
    for (int i = 0; i < kBusInfi; ++i) st.infi[static_cast<std::size_t>(i)] = listensTo + static_cast<std::uint32_t>(i);
  }
  return stations;
}

class TBusSim::TFramerSink : public TReceiveFramer::TSink {
 public:
  TFramerSink(TBusSim& sim, TTime now) : sim_(sim), now_(now) {}
  void OnGoodTelegram(const TFrame& frame) override { sim_.OnTelegram(BodyOf(frame), now_); }
  void OnChecksumError(std::uint8_t sent, std::uint8_t calculated) override {
    sim_.OnChecksumError(sent, calculated);
  }

 private:
  TBusSim& sim_;
  TTime now_;
};

namespace {

struct TIgnoringSink : TReceiveFramer::TSink {
  void OnGoodTelegram(const TFrame&) override {}
  void OnChecksumError(std::uint8_t, std::uint8_t) override {}
};

}  // namespace

TBusSim::TBusSim(TBusConfig config, TClock wallClock)
    : config_(std::move(config)), wallClock_(std::move(wallClock)), random_(config_.seed) {
  if (config_.senders.empty()) {
    for (int s = 0; s < kBusStations; ++s) {
      if (config_.stations[static_cast<std::size_t>(s)].present) config_.senders.push_back({s, 0});
    }
  }
}

void TBusSim::Start(TTime now) {
  if (config_.senderInterval.count() > 0 && !config_.senders.empty()) {
    nextSender_ = now + config_.senderInterval;
  }
  ScheduleNoise(now);
}

void TBusSim::Receive(std::string_view bytes, TTime now) {
  TFramerSink sink(*this, now);
  framer_.Feed(bytes, sink);
  Advance(now);
}

void TBusSim::Advance(TTime now) {
  while (!answers_.empty() && answers_.front().due <= now) {
    const TPendingAnswer answer = answers_.front();
    answers_.pop_front();
    ++stats_.answered;
    Emit(answer.body, answer.note);
  }
  // Repetitions before new telegrams: a repeat that is due is older.
  for (std::size_t i = 0; i < outstanding_.size();) {
    TOutstanding& out = outstanding_[i];
    if (out.deadline > now) {
      ++i;
      continue;
    }
    const std::string id = IdText(IdOf(out.body));
    if (out.transmissions >= kSenderTransmissions) {
      ++stats_.unacknowledged;
      Log("!!", "sender " + id + ": no ACK after " + std::to_string(out.transmissions) +
                    " transmissions, given up");
      outstanding_.erase(outstanding_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++out.transmissions;
    out.deadline = now + config_.ackTimeout;
    ++stats_.repeats;
    const TTelegramBody body = out.body;
    const int transmission = out.transmissions;
    Emit(body, "sender " + id + ", no ACK: repeat (" + Ordinal(transmission) + " transmission)");
    ++i;
  }
  if (nextSender_ && *nextSender_ <= now) {
    // Keep the schedule's phase, but never send a burst to catch up after a stall.
    *nextSender_ += config_.senderInterval;
    if (*nextSender_ <= now) *nextSender_ = now + config_.senderInterval;
    SendSender(now);
  }
  if (nextNoise_ && *nextNoise_ <= now) {
    InjectNoise(now);
    ScheduleNoise(now);
  }
}

std::optional<TBusSim::TTime> TBusSim::NextDeadline() const {
  std::optional<TTime> next;
  auto take = [&next](TTime t) {
    if (!next || t < *next) next = t;
  };
  if (!answers_.empty()) take(answers_.front().due);
  for (const TOutstanding& out : outstanding_) take(out.deadline);
  if (nextSender_) take(*nextSender_);
  if (nextNoise_) take(*nextNoise_);
  return next;
}

void TBusSim::TriggerSender(TTime now) { SendSender(now); }

void TBusSim::OnTelegram(const TTelegramBody& body, TTime now) {
  ++stats_.received;
  const std::string text = FormatTelegramText(body);
  if (body[0] == kHeaderCommand && body[1] == kOrgAck) {
    Log("<-", text + "   ACK");
    HandleAck(body);
    return;
  }
  if (body[0] != kHeaderCommand) {
    Log("<-", text + "   not a station command");
    return;
  }
  const std::optional<int> station = StationOf(body);
  if (!station) {
    Log("<-", text + "   no station has SBI " + IdText(IdOf(body)));
    return;
  }
  if (Station(*station).silent) {
    Log("<-", text + "   " + StationName(*station) + " is silent");
    return;
  }
  HandleCommand(*station, body, now);
}

void TBusSim::OnChecksumError(std::uint8_t sent, std::uint8_t calculated) {
  ++stats_.framingErrors;
  Log("!!", "checksum error from the PC: sent " + HexByte(sent) + ", calculated " + HexByte(calculated));
}

std::optional<int> TBusSim::StationOf(const TTelegramBody& body) const {
  const std::uint32_t id = IdOf(body);
  // Two stations with one SBI would both answer and garble each other on a real bus;
  // the lower number answers alone here.
  for (int s = 0; s < kBusStations; ++s) {
    const TSimStation& st = Station(s);
    if (st.present && st.sbi == id) return s;
  }
  return std::nullopt;
}

void TBusSim::HandleCommand(int s, const TTelegramBody& body, TTime now) {
  TSimStation& st = Station(s);
  const std::string text = FormatTelegramText(body);
  const std::string name = StationName(s);
  const std::uint8_t status = body[10];
  auto answer = [&](const TTelegramBody& reply, const std::string& note) {
    answers_.push_back({now + config_.answerDelay, reply, name + ": " + note});
  };
  switch (body[1]) {
    case kOrgVersion:
      Log("<-", text + "   " + name + ": get version");
      answer(MakeBody(kHeaderAnswer, kOrgVersion, config_.version, st.sbi, 0x00),
             "version " + IdText(config_.version));
      break;
    case kOrgReadInfi:
      if (status >= kBusInfi) {
        Log("<-", text + "   " + name + ": read INFI[" + HexByte(status) + "], no such entry");
        break;
      }
      Log("<-", text + "   " + name + ": read INFI[" + HexByte(status) + "]");
      answer(MakeBody(kHeaderAnswer, kOrgReadInfi, st.infi[status], st.sbi, status),
             "INFI[" + HexByte(status) + "] = " + IdText(st.infi[status]));
      break;
    case kOrgOutput:
      st.output = status;
      Log("<-", text + "   " + name + ": output " + OutputName(status));
      answer(MakeBody(kHeaderAnswer, kOrgAck, 0, st.sbi, status), "output " + OutputName(status));
      break;
    case kOrgChangeBase: {
      const std::uint32_t oldSbi = st.sbi;
      const std::uint32_t newSbi = DataOf(body);
      std::uint8_t code = kChangeSet;
      std::string outcome;
      if (!st.lrnMode) {
        code = kChangeNotLearning;
        outcome = "not in LRN-Mode";
      } else if (newSbi < kLowestSbi) {
        code = kChangeTooLow;
        outcome = "below FF800000";
      } else if (st.baseIdChanges >= kMaxBaseIdChanges) {
        code = kChangeTooOften;
        outcome = "changed " + std::to_string(st.baseIdChanges) + " times already";
      } else {
        st.sbi = newSbi;
        ++st.baseIdChanges;
        outcome = "SBI is now " + IdText(newSbi) + " (change " + std::to_string(st.baseIdChanges) + ")";
      }
      Log("<-", text + "   " + name + ": change SBI to " + IdText(newSbi));
      answer(MakeBody(kHeaderAnswer, kOrgChangeBase, newSbi, oldSbi, code),
             "change " + HexByte(code) + ", " + outcome);
      break;
    }
    default:
      Log("<-", text + "   " + name + ": unknown command, no answer");
      break;
  }
}

void TBusSim::HandleAck(const TTelegramBody& body) {
  ++stats_.acksSeen;
  const std::uint32_t id = IdOf(body);
  for (auto it = outstanding_.begin(); it != outstanding_.end(); ++it) {
    if (IdOf(it->body) == id) {
      Log("--", "sender " + IdText(id) + ": ACK after " + Ordinal(it->transmissions) + " transmission");
      outstanding_.erase(it);
      return;
    }
  }
  Log("--", "ACK for " + IdText(id) + " that no sender waits for");
}

void TBusSim::SendSender(TTime now) {
  if (config_.senders.empty()) return;
  const std::size_t index = senderCursor_++ % config_.senders.size();
  const TSenderModule module = config_.senders[index];
  const TSimStation& st = Station(module.station);
  const std::uint32_t id = st.sbi + module.offset;
  // A module presses a rocker and releases it with its next telegram.
  senderPressed_.resize(config_.senders.size());
  const bool release = senderPressed_[index];
  senderPressed_[index] = !release;
  std::uint8_t code = 0;
  if (!release) code = kRockerCodes[senderCodeCursor_++ % std::size(kRockerCodes)];
  const TTelegramBody body =
      release ? MakeBody(kHeaderSender, kOrgSender, 0, id, 0x00)
              : MakeBody(kHeaderSender, kOrgSender, std::uint32_t{code} << 24, id, kPressStatus);
  ++stats_.sendersSent;
  outstanding_.push_back({now + config_.ackTimeout, body, 1});
  Emit(body, "sender " + IdText(id) + " of " + StationName(module.station) + ": " +
                 (release ? std::string("release") : "press " + HexByte(code)));
}

void TBusSim::Emit(const TTelegramBody& body, const std::string& note) {
  if (config_.noiseProbability > 0 &&
      std::uniform_real_distribution<double>(0, 1)(random_) < config_.noiseProbability) {
    EmitNoise(RandomNoiseKind());
  }
  CloseOpenFrame();
  const TWireTelegram wire = EncodeTelegram(body);
  EmitRaw(std::string_view(reinterpret_cast<const char*>(wire.data()), wire.size()));
  Log("->", FormatTelegramText(body) + "   " + note);
}

void TBusSim::InjectNoise(TTime, std::optional<TNoiseKind> kind) {
  EmitNoise(kind ? *kind : RandomNoiseKind());
}

TNoiseKind TBusSim::RandomNoiseKind() {
  return static_cast<TNoiseKind>(std::uniform_int_distribution<int>(nkRandomBytes, nkWrongChecksum)(random_));
}

void TBusSim::EmitNoise(TNoiseKind kind) {
  ++stats_.noiseInjected;
  auto randomByte = [this] { return static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(random_)); };
  // Noise that looks like the bus: a sender telegram of some station's block.
  auto plausibleBody = [&] {
    std::uint32_t id = 0xFFFFFF80u;
    if (!config_.senders.empty()) {
      const TSenderModule& m = config_.senders[random_() % config_.senders.size()];
      id = Station(m.station).sbi + m.offset;
    }
    return MakeBody(kHeaderSender, kOrgSender, std::uint32_t{randomByte()} << 24, id, kPressStatus);
  };
  switch (kind) {
    case nkRandomBytes: {
      const int count = std::uniform_int_distribution<int>(1, 8)(random_);
      std::string bytes;
      for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(randomByte()));
      CloseOpenFrame();
      EmitRaw(bytes);
      std::string hex;
      for (char c : bytes) hex += (hex.empty() ? "" : " ") + HexByte(static_cast<std::uint8_t>(c));
      Log("!!", "noise: " + std::to_string(count) + " random bytes " + hex);
      break;
    }
    case nkCutTelegram: {
      const TTelegramBody body = plausibleBody();
      const TWireTelegram wire = EncodeTelegram(body);
      // At least the sync pair and one body byte, at most all but the checksum.
      const std::size_t keep = static_cast<std::size_t>(std::uniform_int_distribution<int>(3, 13)(random_));
      CloseOpenFrame();
      EmitRaw(std::string_view(reinterpret_cast<const char*>(wire.data()), keep));
      Log("!!", "noise: telegram " + FormatTelegramText(body) + " cut after " + std::to_string(keep) + " bytes");
      break;
    }
    case nkWrongChecksum: {
      const TTelegramBody body = plausibleBody();
      TWireTelegram wire = EncodeTelegram(body);
      wire[13] = static_cast<std::uint8_t>(wire[13] + 1 + randomByte() % 255);
      CloseOpenFrame();
      EmitRaw(std::string_view(reinterpret_cast<const char*>(wire.data()), wire.size()));
      Log("!!", "noise: telegram " + FormatTelegramText(body) + " with checksum " + HexByte(wire[13]) +
                    " instead of " + HexByte(TelegramChecksum(body)));
      break;
    }
  }
}

void TBusSim::CloseOpenFrame() {
  // A frame that noise left open on the PC's side would take the next telegram's bytes
  // as its own. Fill it up and give it a checksum that fails, so the PC reports one
  // checksum error and then hunts for the next telegram cleanly.
  const int state = lineMirror_.State();
  if (state < 2) return;  // hunting, or one A5 that the next A5 5A absorbs
  unsigned sum = 0;
  for (int pos = 2; pos < state; ++pos) sum += lineMirror_.Frame()[static_cast<std::size_t>(pos)];
  std::string fill(static_cast<std::size_t>(13 - state), '\0');
  fill.push_back(static_cast<char>(static_cast<std::uint8_t>(sum + 1)));
  EmitRaw(fill);
}

void TBusSim::EmitRaw(std::string_view bytes) {
  output_.append(bytes);
  TIgnoringSink ignore;
  lineMirror_.Feed(bytes, ignore);
}

void TBusSim::ScheduleNoise(TTime now) {
  if (config_.noiseRate <= 0) {
    nextNoise_.reset();
    return;
  }
  // Noise events at random moments: exponential gaps give the asked mean rate.
  const double seconds = std::exponential_distribution<double>(config_.noiseRate)(random_);
  const auto gap = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(std::min(seconds, 86400.0)));
  nextNoise_ = now + std::max(gap, std::chrono::steady_clock::duration(std::chrono::milliseconds(1)));
}

std::string TBusSim::TakeOutput() { return std::exchange(output_, {}); }

std::vector<std::string> TBusSim::TakeLog() { return std::exchange(log_, {}); }

void TBusSim::Log(std::string_view mark, std::string_view text) {
  std::string line = ClockText(wallClock_());
  line += ' ';
  line += mark;
  line += ' ';
  line += text;
  log_.push_back(std::move(line));
}

std::string TBusSim::SummaryText() const {
  const TBusStats& s = stats_;
  return "received " + std::to_string(s.received) + ", answered " + std::to_string(s.answered) +
         ", senders sent " + std::to_string(s.sendersSent) + ", repeats " + std::to_string(s.repeats) +
         ", unacknowledged " + std::to_string(s.unacknowledged) + ", acks seen " +
         std::to_string(s.acksSeen) + ", noise injected " + std::to_string(s.noiseInjected) +
         ", framing errors " + std::to_string(s.framingErrors);
}

std::vector<std::string> TBusSim::DescribeSetup() const {
  std::vector<std::string> lines;
  for (int s = 0; s < kBusStations; ++s) {
    const TSimStation& st = Station(s);
    if (!st.present) continue;
    std::string line = StationName(s) + ": SBI " + IdText(st.sbi) + ", LRN-Mode " +
                       (st.lrnMode ? "on" : "off") + ", base ID changes " + std::to_string(st.baseIdChanges) +
                       ", output " + OutputName(st.output);
    if (st.silent) line += ", silent";
    line += ", INFI " + IdText(st.infi[0]) + " .. " + IdText(st.infi[kBusInfi - 1]);
    lines.push_back(line);
  }
  std::string senders = "sender modules:";
  for (const TSenderModule& m : config_.senders) {
    senders += ' ' + IdText(Station(m.station).sbi + m.offset);
  }
  if (config_.senders.empty()) senders += " none";
  lines.push_back(senders);
  return lines;
}

}  // namespace ardel
