#include "serial/telnet_codec.h"

namespace ardel::telnet {

namespace {

// Client-to-server com port commands; the server answers each with the number + 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kNotifyLineState = 106;
constexpr std::uint8_t kNotifyModemState = 107;

constexpr std::uint8_t kNoFlowControl = 1;
constexpr std::uint8_t kDtrOff = 9;
constexpr std::uint8_t kRtsOff = 12;
constexpr std::uint8_t kPurgeBoth = 3;

void Put(std::string& out, std::uint8_t byte) { out.push_back(static_cast<char>(byte)); }

void PutVerb(std::string& out, std::uint8_t verb, std::uint8_t option) {
  Put(out, kIac);
  Put(out, verb);
  Put(out, option);
}

void PutComPort(std::string& out, std::uint8_t command, std::string_view value) {
  Put(out, kIac);
  Put(out, kSb);
  Put(out, kComPort);
  Put(out, command);
  out += Escape(value);
  Put(out, kIac);
  Put(out, kSe);
}

void PutComPort(std::string& out, std::uint8_t command, std::uint8_t value) {
  const char byte = static_cast<char>(value);
  PutComPort(out, command, std::string_view(&byte, 1));
}

}  // namespace

std::string Escape(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  for (char c : data) {
    out.push_back(c);
    if (static_cast<std::uint8_t>(c) == kIac) out.push_back(c);
  }
  return out;
}

std::string ComPortCommands(const TComPortSettings& settings) {
  std::string out;
  const char baud[4] = {static_cast<char>(settings.baud >> 24), static_cast<char>(settings.baud >> 16),
                        static_cast<char>(settings.baud >> 8), static_cast<char>(settings.baud)};
  PutComPort(out, kSetBaudRate, std::string_view(baud, 4));
  PutComPort(out, kSetDataSize, settings.dataBits);
  PutComPort(out, kSetParity, settings.parity);
  PutComPort(out, kSetStopSize, settings.stopBits);
  PutComPort(out, kSetControl, kNoFlowControl);
  PutComPort(out, kSetControl, kDtrOff);
  PutComPort(out, kSetControl, kRtsOff);
  PutComPort(out, kPurgeData, kPurgeBoth);
  return out;
}

TDecoder::TDecoder() = default;

bool TDecoder::Wanted(std::uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

std::string TDecoder::Start(const TComPortSettings& settings) {
  std::string out;
  PutVerb(out, kWill, kBinary);
  PutVerb(out, kDo, kBinary);
  PutVerb(out, kWill, kComPort);
  us_[kBinary] = us_[kComPort] = kAsked;
  him_[kBinary] = kAsked;
  // Not held back for the server's consent: a server that cannot carry a command out
  // may never answer, and the data must flow all the same.
  out += ComPortCommands(settings);
  return out;
}

void TDecoder::Verb(std::uint8_t verb, std::uint8_t option, std::string& replies) {
  const bool ours = verb == kDo || verb == kDont;  // about what we perform
  std::uint8_t& state = ours ? us_[option] : him_[option];
  const bool enable = verb == kDo || verb == kWill;
  const std::uint8_t yes = ours ? kWill : kDo;
  const std::uint8_t no = ours ? kWont : kDont;
  if (enable) {
    if (state == kOn) return;
    if (!Wanted(option)) {
      bool& refused = ours ? refusedUs_[option] : refusedHim_[option];
      if (!refused) PutVerb(replies, no, option);
      refused = true;
      return;
    }
    // An answer to our own request needs no answer.
    if (state == kOff) PutVerb(replies, yes, option);
    state = kOn;
  } else {
    if (state == kOff) return;
    if (state == kOn) PutVerb(replies, no, option);
    state = kOff;
  }
}

void TDecoder::Subnegotiation() {
  if (sbTooLong_ || sb_.size() < 3 || static_cast<std::uint8_t>(sb_[0]) != kComPort) return;
  const auto command = static_cast<std::uint8_t>(sb_[1]);
  const auto value = static_cast<std::uint8_t>(sb_[2]);
  if (command == kNotifyModemState) {
    comPort_.modemStateKnown = true;
    comPort_.modemState = value;
  } else if (command == kNotifyLineState) {
    comPort_.lineStateKnown = true;
    comPort_.lineState = value;
  }
  // Answers to our settings and anything else are taken without comment.
}

void TDecoder::Feed(std::string_view in, std::string& data, std::string& replies) {
  for (char c : in) {
    const auto byte = static_cast<std::uint8_t>(c);
    switch (state_) {
      case sData:
        if (byte == kIac) {
          state_ = sIac;
        } else {
          data.push_back(c);
        }
        break;
      case sIac:
        if (byte == kIac) {
          data.push_back(c);
          state_ = sData;
        } else {
          Command(byte);
        }
        break;
      case sVerb:
        Verb(verb_, byte, replies);
        state_ = sData;
        break;
      case sSb:
        if (byte == kIac) {
          state_ = sSbIac;
        } else {
          KeepSubnegotiationByte(c);
        }
        break;
      case sSbIac:
        if (byte == kIac) {
          KeepSubnegotiationByte(c);
          state_ = sSb;
        } else if (byte == kSe) {
          Subnegotiation();
          state_ = sData;
        } else {
          // A command inside a subnegotiation ends it unfinished; the command counts.
          Subnegotiation();
          Command(byte);
        }
        break;
    }
  }
}

void TDecoder::Command(std::uint8_t byte) {
  if (byte >= kWill) {
    verb_ = byte;
    state_ = sVerb;
  } else if (byte == kSb) {
    sb_.clear();
    sbTooLong_ = false;
    state_ = sSb;
  } else {
    // NOP, go-ahead, data mark and the like carry nothing for a serial line.
    state_ = sData;
  }
}

void TDecoder::KeepSubnegotiationByte(char c) {
  if (sb_.size() < kMaxSubnegotiation) {
    sb_.push_back(c);
  } else {
    sbTooLong_ = true;
  }
}

}  // namespace ardel::telnet
