#pragma once
// Telnet with the COM-PORT-OPTION, as a network serial server speaks it: the bytes a
// client sends first, the escaping of data, and a reader that turns any bytes a server
// sends into data bytes and the replies the client owes. No I/O here.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ardel::telnet {

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;

constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPort = 44;

// Line format in the option's own numbering: parity 1 none, 2 odd, 3 even, 4 mark,
// 5 space; stop bits 1 one, 2 two, 3 one and a half.
struct TComPortSettings {
  std::uint32_t baud = 9600;
  std::uint8_t dataBits = 8;
  std::uint8_t parity = 1;
  std::uint8_t stopBits = 1;
};

// Data bytes with every 0xFF doubled.
std::string Escape(std::string_view data);

// The option commands that set the line: format, no flow control, DTR and RTS off, and
// both buffers purged. Sent before any data, so the purge loses none.
std::string ComPortCommands(const TComPortSettings& settings);

// What the server has sent of the com port's state.
struct TComPortState {
  bool modemStateKnown = false;
  std::uint8_t modemState = 0;
  bool lineStateKnown = false;
  std::uint8_t lineState = 0;
};

// Reads a server's stream. Fed in pieces of any size, it gives the same data and the
// same replies as fed at once. Options other than binary mode, suppress-go-ahead and
// the com port are refused, once each; each option's state changes only on a real
// change, and a request that changes no state is not answered, so two peers never
// answer each other for ever and a flood of requests gets no flood of answers.
class TDecoder {
 public:
  TDecoder();

  // What the client says first: binary mode both ways and the com port option,
  // followed by the line settings. Marks those requests as asked.
  std::string Start(const TComPortSettings& settings);

  // Appends the data bytes in `in` to data and the owed answers to replies.
  void Feed(std::string_view in, std::string& data, std::string& replies);

  const TComPortState& ComPort() const { return comPort_; }
  // Whether the server takes binary data from us / sends binary data.
  bool ServerDoesBinary() const { return us_[kBinary] == kOn; }
  bool ServerSendsBinary() const { return him_[kBinary] == kOn; }
  bool ComPortAccepted() const { return us_[kComPort] == kOn; }

  // Longest subnegotiation kept; longer ones are read to their end and dropped.
  static constexpr std::size_t kMaxSubnegotiation = 64;

 private:
  enum TOptionState : std::uint8_t { kOff = 0, kOn = 1, kAsked = 2 };
  enum TState : std::uint8_t { sData, sIac, sVerb, sSb, sSbIac };

  void Verb(std::uint8_t verb, std::uint8_t option, std::string& replies);
  void Subnegotiation();
  // The command byte after IAC: a verb, a subnegotiation or nothing.
  void Command(std::uint8_t byte);
  void KeepSubnegotiationByte(char c);
  static bool Wanted(std::uint8_t option);

  TState state_ = sData;
  std::uint8_t verb_ = 0;
  std::string sb_;
  bool sbTooLong_ = false;
  std::array<std::uint8_t, 256> us_{};   // options we perform
  std::array<std::uint8_t, 256> him_{};  // options the server performs
  // Options refused once each way: asking again changes nothing, so it is not answered.
  std::array<bool, 256> refusedUs_{};
  std::array<bool, 256> refusedHim_{};
  TComPortState comPort_;
};

}  // namespace ardel::telnet
