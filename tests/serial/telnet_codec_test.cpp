#include "serial/telnet_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "serial/net_port.h"

namespace ardel::telnet {
namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(TelnetDecoder, DataCommandsAndAnswers) {
  struct TCase {
    const char* what;
    std::string in;
    std::string data;
    std::string replies;
  };
  const TCase cases[] = {
      {"plain data", "AB\r\n", "AB\r\n", ""},
      {"doubled 0xFF is one", B({'a', 255, 255, 'b', 255, 255, 255, 255}), B({'a', 255, 'b', 255, 255}), ""},
      {"NOP, GA, DM carry nothing", B({'a', 255, 241, 255, 249, 255, 242, 'b'}), "ab", ""},
      {"answers to our own requests need none", B({255, kDo, 0, 255, kWill, 0, 255, kDo, 44}), "", ""},
      {"suppress-go-ahead is taken", B({255, kWill, 3, 255, kDo, 3}), "", B({255, kDo, 3, 255, kWill, 3})},
      {"echo and terminal type are refused",
       B({255, kWill, 1, 255, kDo, 24}), "", B({255, kDont, 1, 255, kWont, 24})},
      {"a refusal of what is off needs no answer", B({255, kWont, 1, 255, kDont, 24}), "", ""},
      {"taken once, a repeat is not answered", B({255, kWill, 3, 255, kWill, 3}), "", B({255, kDo, 3})},
      {"withdrawing what is on is confirmed", B({255, kDo, 0, 255, kDont, 0}), "", B({255, kWont, 0})},
      {"a refused request needs no answer", B({255, kWont, 0, 255, kDont, 44}), "", ""},
      {"a request refused once is not refused again",
       B({255, kWill, 1, 255, kDo, 24, 255, kWill, 1, 255, kDo, 24}), "", B({255, kDont, 1, 255, kWont, 24})},
      {"an endless flood of one request gets one answer", [] {
         std::string flood;
         for (int i = 0; i < 20000; ++i) flood += B({255, kDo, 24, 255, kWill, 1});
         return flood + "d";
       }(), "d", B({255, kWont, 24, 255, kDont, 1})},
      {"a flood that takes back and asks again gets no more answers",
       [] {
         std::string flood;
         for (int i = 0; i < 1000; ++i) flood += B({255, kDo, 24, 255, kDont, 24});
         return flood;
       }(),
       "", B({255, kWont, 24})},
      {"notifications are not data",
       B({'x', 255, kSb, 44, 107, 0x30, 255, kSe, 255, kSb, 44, 106, 0x60, 255, kSe, 'y'}), "xy", ""},
      {"0xFF inside a subnegotiation", B({255, kSb, 44, 101, 255, 255, 0, 0, 0, 255, kSe, 'z'}), "z", ""},
      {"a subnegotiation of another option", B({255, kSb, 24, 1, 255, kSe, 'q'}), "q", ""},
      {"a command ends a subnegotiation left open", B({255, kSb, 44, 107, 1, 255, kWill, 1, 'k'}), "k",
       B({255, kDont, 1})},
      {"an overlong subnegotiation is read to its end",
       B({255, kSb, 44}) + std::string(500, 'm') + B({255, kSe, 'e'}), "e", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const bool bytewise : {false, true}) {
      TDecoder decoder;
      decoder.Start({});
      std::string data;
      std::string replies;
      if (bytewise) {
        for (char ch : c.in) decoder.Feed(std::string_view(&ch, 1), data, replies);
      } else {
        decoder.Feed(c.in, data, replies);
      }
      EXPECT_EQ(data, c.data);
      EXPECT_EQ(replies, c.replies);
    }
  }
}

TEST(TelnetDecoder, ModemAndLineStateAreKeptAndAcceptanceIsSeen) {
  TDecoder decoder;
  decoder.Start({});
  EXPECT_FALSE(decoder.ComPortAccepted());
  std::string data;
  std::string replies;
  decoder.Feed(B({255, kDo, 44, 255, kDo, 0, 255, kWill, 0, 255, kSb, 44, 107, 0xB0, 255}), data, replies);
  EXPECT_FALSE(decoder.ComPort().modemStateKnown);
  decoder.Feed(B({kSe}), data, replies);
  EXPECT_TRUE(decoder.ComPortAccepted());
  EXPECT_TRUE(decoder.ServerDoesBinary());
  EXPECT_TRUE(decoder.ServerSendsBinary());
  ASSERT_TRUE(decoder.ComPort().modemStateKnown);
  EXPECT_EQ(decoder.ComPort().modemState, 0xB0);
  EXPECT_FALSE(decoder.ComPort().lineStateKnown);
  EXPECT_EQ(replies, "");
}

TEST(TelnetStart, AsksForBinaryAndTheOptionThenSetsTheLine) {
  TDecoder decoder;
  TComPortSettings settings;
  settings.baud = 0x0001FFFF;  // a byte of the rate is 0xFF and must be doubled
  const std::string start = decoder.Start(settings);
  const std::string expected =
      B({255, kWill, 0, 255, kDo, 0, 255, kWill, 44}) +
      B({255, kSb, 44, 1, 0, 1, 255, 255, 255, 255, 255, kSe}) + B({255, kSb, 44, 2, 8, 255, kSe}) +
      B({255, kSb, 44, 3, 1, 255, kSe}) + B({255, kSb, 44, 4, 1, 255, kSe}) +
      B({255, kSb, 44, 5, 1, 255, kSe}) + B({255, kSb, 44, 5, 9, 255, kSe}) +
      B({255, kSb, 44, 5, 12, 255, kSe}) + B({255, kSb, 44, 12, 3, 255, kSe});
  EXPECT_EQ(start, expected);
  EXPECT_EQ(Escape(B({1, 255, 2, 255, 255})), B({1, 255, 255, 2, 255, 255, 255, 255}));
}

TEST(NetworkPortNames, UrlsAndTheirFaults) {
  struct TCase {
    const char* url;
    bool ok;
    TNetworkPort::TKind kind;
    const char* host;
    const char* service;
  };
  const TCase cases[] = {
      {"socket://127.0.0.1:2000", true, TNetworkPort::kRaw, "127.0.0.1", "2000"},
      {"rfc2217://bus-server.lan:4001/", true, TNetworkPort::kRfc2217, "bus-server.lan", "4001"},
      {"socket://[::1]:65535", true, TNetworkPort::kRaw, "::1", "65535"},
      {"socket://host", false, TNetworkPort::kRaw, "", ""},
      {"socket://:2000", false, TNetworkPort::kRaw, "", ""},
      {"socket://host:0", false, TNetworkPort::kRaw, "", ""},
      {"socket://host:65536", false, TNetworkPort::kRaw, "", ""},
      {"socket://host:20x0", false, TNetworkPort::kRaw, "", ""},
      {"socket://::1:2000", false, TNetworkPort::kRaw, "", ""},
      {"socket://[::1]2000", false, TNetworkPort::kRaw, "", ""},
      {"telnet://host:23", false, TNetworkPort::kRaw, "", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.url);
    std::string error;
    const auto port = ParseNetworkPort(c.url, error);
    ASSERT_EQ(port.has_value(), c.ok) << error;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(port->kind, c.kind);
    EXPECT_EQ(port->host, c.host);
    EXPECT_EQ(port->service, c.service);
  }
}

}  // namespace
}  // namespace ardel::telnet
