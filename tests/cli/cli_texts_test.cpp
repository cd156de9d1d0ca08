// ardel-cli's command line and the texts it writes for other programs.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/log_output.h"

namespace ardel::cli {
namespace {

TEST(CliOptions, ReadWhatTheyAskFor) {
  struct TCase {
    std::vector<std::string> arguments;
    std::function<bool(const TCliOptions&)> holds;
  };
  const TCase cases[] = {
      {{}, [](const TCliOptions& o) { return o.ack == apAlways && o.rules && !o.json && o.count == 1 && !o.timeoutSeconds; }},
      {{"--ack", "random"}, [](const TCliOptions& o) { return o.ack == apRandomly; }},
      {{"--ack=first"}, [](const TCliOptions& o) { return o.ack == apNeverUponFirst; }},
      {{"--ack", "never", "--no-rules", "--json", "--debug"},
       [](const TCliOptions& o) { return o.ack == apNever && !o.rules && o.json && o.debugInfo; }},
      {{"--send", "AB B0", "--send=CD"}, [](const TCliOptions& o) { return o.sends == std::vector<std::string>{"AB B0", "CD"}; }},
      {{"--expect", "8B *", "--expect", "?", "--count", "3", "--timeout", "0.25"},
       [](const TCliOptions& o) { return o.expects.size() == 2 && o.count == 3 && o.timeoutSeconds == 0.25; }},
      {{"--port", "socket://bench:4001", "--dir", "~/x"},
       [](const TCliOptions& o) { return o.port == "socket://bench:4001" && o.directory == "~/x"; }},
      {{"read-infi", "a"}, [](const TCliOptions& o) { return o.subcommand == scReadInfi && o.station == 10; }},
      {{"read-infi", "15"}, [](const TCliOptions& o) { return o.station == 15; }},
      {{"--json", "signal", "F", "off"},
       [](const TCliOptions& o) { return o.subcommand == scSignal && o.station == 15 && o.button == 2 && o.json; }},
      {{"signal", "0", "flash"}, [](const TCliOptions& o) { return o.button == 1; }},
      {{"change-base-id", "3", "ff800080"},
       [](const TCliOptions& o) { return o.subcommand == scChangeBaseId && o.button == 3 && o.newSbi == "ff800080"; }},
      {{"--timeout", "1", "--help", "--bogus"}, [](const TCliOptions& o) { return o.help; }},
      {{}, [](const TCliOptions& o) { return !o.statsSeconds && o.statsOf.empty(); }},
      {{"--stats", "10", "--json"}, [](const TCliOptions& o) { return o.statsSeconds == 10.0 && o.json; }},
      {{"--stats=0.5", "--send", "AB"}, [](const TCliOptions& o) { return o.statsSeconds == 0.5; }},
      {{"--stats-of", "log/a.log", "--json", "--dir", "d"},
       [](const TCliOptions& o) { return o.statsOf == "log/a.log" && o.json && o.directory == "d"; }},
  };
  for (const TCase& c : cases) {
    std::string line;
    for (const std::string& a : c.arguments) line += a + " ";
    SCOPED_TRACE(line);
    EXPECT_TRUE(c.holds(ParseCliOptions(c.arguments)));
  }
}

TEST(CliOptions, RefuseWhatCannotRun) {
  const std::vector<std::vector<std::string>> cases = {
      {"--ack"},           {"--ack", "sometimes"},       {"--count", "0"},       {"--count", "2x"},
      {"--timeout", "0"},  {"--timeout", "-1"},          {"--timeout", "nan"},   {"--json=yes"},
      {"--dir", "a", "--dir", "b"},                      {"--expect", ""},       {"--frobnicate"},
      {"read-infi"},       {"read-infi", "16"},          {"read-infi", "0", "1"}, {"signal", "0", "blink"},
      {"change-base-id", "0", "FF80000"},                {"change-base-id", "0", "FF80000G"},
      {"reboot", "0"},     {"read-infi", "0", "--send", "AB"}, {"--expect", "8B *", "signal", "1", "on"},
      // The overview's period: a number of seconds above 0, whole milliseconds at least.
      {"--stats"},         {"--stats", "0"},             {"--stats", "-5"},      {"--stats", "ten"},
      {"--stats", "1s"},   {"--stats", "inf"},           {"--stats", "0.0001"},  {"--stats="},
      // A capture's overview ends the run: nothing else to do beside it.
      {"--stats-of"},      {"--stats-of", ""},           {"--stats-of", "a.log", "--send", "AB"},
      {"--stats-of", "a.log", "--stats", "1"},           {"--stats-of", "a.log", "read-infi", "0"},
      {"--stats-of", "a.log", "--expect", "8B *"},
  };
  for (const auto& arguments : cases) {
    std::string line;
    for (const std::string& a : arguments) line += a + " ";
    EXPECT_THROW(ParseCliOptions(arguments), ECliUsage) << line;
  }
}

TEST(CliOptions, EveryOptionOfTheHelpIsRead) {
  // Whatever --help offers must not be refused as unknown.
  const std::string help = CliUsageText();
  for (std::size_t at = help.find("  --"); at != std::string::npos; at = help.find("  --", at + 1)) {
    const std::string option = help.substr(at + 2, help.find_first_of(" \n", at + 2) - at - 2);
    std::vector<std::string> arguments{option};
    if (option == "--dir" || option == "--port" || option == "--send" || option == "--expect") arguments.push_back("x");
    if (option == "--ack") arguments.push_back("never");
    if (option == "--count" || option == "--timeout" || option == "--stats") arguments.push_back("2");
    if (option == "--stats-of") arguments.push_back("a.log");
    EXPECT_NO_THROW(ParseCliOptions(arguments)) << option;
  }
}

TEST(CliTexts, JsonStringsEscapeWhatJsonRequires) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"\"q\" \\", "\"\\\"q\\\" \\\\\""},
      {"a\nb\tc\x01\x7F", "\"a\\u000ab\\u0009c\\u0001\\u007f\""},
      {"\xC3\xA4", "\"\\u00e4\""},
      {"\xE2\x82\xAC", "\"\\u20ac\""},
      {"\xF0\x9F\x98\x80", "\"\\ud83d\\ude00\""},
      // No UTF-8: a stray continuation byte, a lead byte cut off, an overlong form, a surrogate.
      {"\x80", "\"\\ufffd\""},
      {"x\xC3", "\"x\\ufffd\""},
      {"\xC0\xAF", "\"\\ufffd\\ufffd\""},
      {"\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json) << json;
}

TEST(CliTexts, Utf8BecomesLatin1WhereItCan) {
  bool lossy = false;
  EXPECT_EQ(Utf8ToLatin1("AB \xC3\xA4\xC3\xBF", lossy), "AB \xE4\xFF");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(Utf8ToLatin1("\xE2\x82\xAC!", lossy), "?!");
  EXPECT_TRUE(lossy);
}

TEST(CliTexts, TelegramFieldsComeFromTelegramLinesOnly) {
  struct TCase {
    TLogLine line;
    const char* kind;
    std::optional<std::string> fields;  // header org data id status, blank-separated
  };
  const TCase cases[] = {
      {{"  09.12.2026 05:16:36   AB B4 00000000 FFFFFF80 0F   read", colors::kSent}, "sent", "AB B4 00000000 FFFFFF80 0F"},
      {{"  9/12/26 5:16:36 PM   8B B4 FFFFFF00 FFFFFF80 00   ", colors::kReceived}, "received", "8B B4 FFFFFF00 FFFFFF80 00"},
      {{"E 09.12.2026 05:16:36   00 00 00000000 00000000 00   cksum error.", colors::kError}, "error", std::nullopt},
      {{"W 09.12.2026 05:16:36                                         repeat it", colors::kPurple}, "repeat", std::nullopt},
      {{"  .. .. .... .. .. ..   .. .. ........ ........ ..    hex:A5", colors::kLime}, "raw", std::nullopt},
      {{"ok09.12.2026 05:16:36   remaining cmds 0", colors::kLime}, "ok", std::nullopt},
      {{"- 09.12.2026 05:16:36  Enter Rulecheck with 8B B4 FFFFFF00 FFFFFF80 00", colors::kGrey}, "trace", std::nullopt},
      {{"  09.12.2026 05:16:36   port COM1 (/dev/pts/3) is back", colors::kBlack}, "note", std::nullopt},
      {{"E 09.12.2026 05:16:36   not sent: port COM1 is lost: trying again every second", colors::kError}, "error",
       std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.line.text);
    EXPECT_EQ(LineKind(c.line), c.kind);
    const std::optional<TTelegramFields> fields = TelegramOfLine(c.line);
    ASSERT_EQ(fields.has_value(), c.fields.has_value());
    if (fields) {
      EXPECT_EQ(fields->header + " " + fields->org + " " + fields->data + " " + fields->id + " " + fields->status,
                *c.fields);
    }
  }
}

TEST(CliTexts, JsonLineHoldsTimeKindTextAndTelegram) {
  const auto when = std::chrono::system_clock::from_time_t(0) + std::chrono::milliseconds(1234);
  const std::string line = JsonLine(when, "received", "t", TTelegramFields{"8B", "B0", "01000000", "FFFFFF80", "00"});
  EXPECT_NE(line.find("\"time\":\"19"), std::string::npos) << line;
  EXPECT_NE(line.find(":01.234"), std::string::npos) << line;
  EXPECT_NE(line.find("\"kind\":\"received\",\"text\":\"t\",\"header\":\"8B\",\"org\":\"B0\",\"data\":\"01000000\","
                      "\"id\":\"FFFFFF80\",\"status\":\"00\"}"),
            std::string::npos)
      << line;
  EXPECT_EQ(ColouredLine("x", colors::kReceived), "\x1b[38;2;0;0;255mx\x1b[0m");
  EXPECT_EQ(ColouredLine("x", colors::kBlack), "x");
}

}  // namespace
}  // namespace ardel::cli
