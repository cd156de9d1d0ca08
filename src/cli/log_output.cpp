#include "cli/log_output.h"

#include <cstdint>
#include <ctime>

#include "link/telegram_fields.h"
#include "util/file_io.h"
#include "util/text_encoding.h"

namespace ardel::cli {

namespace {

// The next code point of UTF-8 text, or U+FFFD for a byte that starts none; moves on.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  int length = 0;
  std::uint32_t cp = 0;
  std::uint32_t lowest = 0;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, lowest = 0x10000;
  } else {
    ++at;
    return 0xFFFD;
  }
  if (at + static_cast<std::size_t>(length) > text.size()) {
    ++at;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    const std::uint8_t next = byte(at + static_cast<std::size_t>(i));
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++at;
    return 0xFFFD;
  }
  at += static_cast<std::size_t>(length);
  return cp;
}

void AppendEscape(std::string& out, std::uint32_t unit) {
  static const char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(unit >> shift) & 0xF]);
}

}  // namespace

std::string LineKind(const TLogLine& line) {
  if (line.color == colors::kSent) return "sent";
  if (line.color == colors::kReceived) return "received";
  if (line.color == colors::kError) return "error";
  if (line.color == colors::kPurple) return "repeat";
  if (line.color == colors::kGrey) return "trace";
  if (line.color == colors::kLime) return line.text.rfind("ok", 0) == 0 ? "ok" : "raw";
  return "note";
}

std::optional<TTelegramFields> TelegramOfLine(const TLogLine& line) {
  if (line.color != colors::kSent && line.color != colors::kReceived) return std::nullopt;
  // The letter, the time stamp and three blanks come first.
  const std::string_view text = line.text;
  std::size_t at = text.find("   ");
  while (at != std::string_view::npos && !IsTelegramText(text.substr(at + 3, 26))) at = text.find("   ", at + 1);
  if (at == std::string_view::npos) return std::nullopt;
  const ardel::TTelegramFields f = ReadTelegramFields(text.substr(at + 3, 26));
  return TTelegramFields{std::string(f.header), std::string(f.org), std::string(f.data), std::string(f.id),
                         std::string(f.status)};
}

std::string Utf8ToLatin1(std::string_view utf8, bool& lossy) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const std::uint32_t cp = NextCodePoint(utf8, at);
    const bool fits = cp <= 0xFF && cp != 0xFFFD;
    if (!fits) lossy = true;
    out.push_back(fits ? static_cast<char>(cp) : '?');
  }
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (std::size_t at = 0; at < utf8.size();) {
    const std::uint32_t cp = NextCodePoint(utf8, at);
    if (cp == '"' || cp == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(cp));
    } else if (cp >= 0x20 && cp < 0x7F) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x10000) {
      AppendEscape(out, cp);
    } else {
      const std::uint32_t v = cp - 0x10000;
      AppendEscape(out, 0xD800 + (v >> 10));
      AppendEscape(out, 0xDC00 + (v & 0x3FF));
    }
  }
  out.push_back('"');
  return out;
}

std::string TimeWithMilliseconds(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto millis = duration_cast<milliseconds>(when.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  long fraction = static_cast<long>(millis % 1000);
  if (fraction < 0) fraction += 1000, --seconds;
  const std::tm local = LocalTime(seconds);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  // The offset from UTC as the local clock shows it; strftime's %z is a zone's name on
  // Windows.
  const sys_days localDay{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
  const long long localSeconds = localDay.time_since_epoch().count() * 86400LL + local.tm_hour * 3600LL +
                                 local.tm_min * 60LL + local.tm_sec;
  const long long offsetMinutes = (localSeconds - static_cast<long long>(seconds)) / 60;
  const long long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03ld%c%02lld%02lld", date, fraction, offsetMinutes < 0 ? '-' : '+',
                absolute / 60, absolute % 60);
  return text;
}

std::string JsonLine(std::chrono::system_clock::time_point when, std::string_view kind, std::string_view text,
                     const std::optional<TTelegramFields>& telegram) {
  std::string out = "{\"time\":" + JsonString(TimeWithMilliseconds(when)) + ",\"kind\":" + JsonString(kind) +
                    ",\"text\":" + JsonString(text);
  if (telegram) {
    out += ",\"header\":" + JsonString(telegram->header) + ",\"org\":" + JsonString(telegram->org) +
           ",\"data\":" + JsonString(telegram->data) + ",\"id\":" + JsonString(telegram->id) +
           ",\"status\":" + JsonString(telegram->status);
  }
  out += "}";
  return out;
}

std::string ColouredLine(std::string_view text, TColor color) {
  if (color == colors::kBlack) return std::string(text);
  return "\x1b[38;2;" + std::to_string(color.r) + ";" + std::to_string(color.g) + ";" + std::to_string(color.b) +
         "m" + std::string(text) + "\x1b[0m";
}

TLogOutput::TLogOutput(TLinkLog& log, TTextLines& information, TTextLines& messages, std::FILE* out,
                       TOutputOptions options)
    : log_(log),
      information_(information),
      messages_(messages),
      out_(out),
      options_(std::move(options)),
      informationOutput_(*this, information, "info"),
      messageOutput_(*this, messages, "message") {
  log_.AddObserver(this);
  information_.AddObserver(&informationOutput_);
  messages_.AddObserver(&messageOutput_);
}

TLogOutput::~TLogOutput() {
  log_.RemoveObserver(this);
  information_.RemoveObserver(&informationOutput_);
  messages_.RemoveObserver(&messageOutput_);
}

void TLogOutput::AfterAppend(bool) {
  const TLogLine& line = log_.Line(log_.Count() - 1);
  if (options_.json) {
    Write(JsonLine(options_.clock(), LineKind(line), line.text, TelegramOfLine(line)));
  } else {
    const std::string text = Utf8ToLocale(line.text);
    Write(options_.colours ? ColouredLine(text, line.color) : text);
  }
}

void TLogOutput::FieldLine(const char* kind, const std::string& text) {
  if (options_.json) {
    Write(JsonLine(options_.clock(), kind, text));
  } else {
    Write(std::string(kind) + ": " + Utf8ToLocale(text));
  }
}

void TLogOutput::Write(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
  // Another program reads along.
  std::fflush(out_);
}

}  // namespace ardel::cli
