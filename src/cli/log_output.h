#pragma once
// The link log, the information field and the message field on standard output: one
// line each, as the window shows them (in the log's colours on a terminal), or one JSON
// object each for other programs.

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "log/link_log.h"
#include "util/text_lines.h"

namespace ardel::cli {

// The telegram text's fields, as they stand in a log line, held apart from the line.
struct TTelegramFields {
  std::string header, org, data, id, status;
};

// What a log line reports, from its colour and its text.
std::string LineKind(const TLogLine& line);
// The telegram of a sent or received telegram's line; nothing for other lines.
std::optional<TTelegramFields> TelegramOfLine(const TLogLine& line);

// UTF-8 as Latin-1 bytes, the link's and the files' texts; a character beyond Latin-1
// (or a byte that is no UTF-8) becomes "?" and sets lossy.
std::string Utf8ToLatin1(std::string_view utf8, bool& lossy);

// A JSON string with its quotes; every character beyond ASCII as \u escapes, a byte
// that is no UTF-8 as U+FFFD.
std::string JsonString(std::string_view utf8);
// Local time as 2026-12-09T05:10:00.123+0100.
std::string TimeWithMilliseconds(std::chrono::system_clock::time_point when);
std::string JsonLine(std::chrono::system_clock::time_point when, std::string_view kind, std::string_view text,
                     const std::optional<TTelegramFields>& telegram = std::nullopt);
// The text in the colour as 24-bit ANSI escapes; black, the terminal's own colour, stays
// plain.
std::string ColouredLine(std::string_view text, TColor color);

struct TOutputOptions {
  bool json = false;
  bool colours = false;
  TClock clock = SystemClock();
};

// Follows the three from the moment it is made until it goes.
class TLogOutput : public ILinkLogObserver {
 public:
  TLogOutput(TLinkLog& log, TTextLines& information, TTextLines& messages, std::FILE* out, TOutputOptions options);
  ~TLogOutput() override;
  TLogOutput(const TLogOutput&) = delete;
  TLogOutput& operator=(const TLogOutput&) = delete;

  void BeforeAppend(std::size_t) override {}
  void AfterAppend(bool scroll) override;
  void BeforeClear() override {}
  void AfterClear() override {}

 private:
  class TFieldOutput : public ITextLinesObserver {
   public:
    TFieldOutput(TLogOutput& output, TTextLines& lines, const char* kind)
        : output_(output), lines_(lines), kind_(kind) {}
    void BeforeAppend(std::size_t) override {}
    void AfterAppend() override { output_.FieldLine(kind_, lines_.Lines().back()); }
    void BeforeClear() override {}
    void AfterClear() override {}

   private:
    TLogOutput& output_;
    TTextLines& lines_;
    const char* kind_;
  };

  void FieldLine(const char* kind, const std::string& text);
  void Write(const std::string& line);

  TLinkLog& log_;
  TTextLines& information_;
  TTextLines& messages_;
  std::FILE* out_;
  TOutputOptions options_;
  TFieldOutput informationOutput_;
  TFieldOutput messageOutput_;
};

}  // namespace ardel::cli
