#include "log/link_log.h"

#include <utility>

#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {
namespace {

TLogKind KindOfColor(TColor color, bool scroll) {
  if (color == colors::kReceived) return lkRx;
  if (color == colors::kSent) return lkTx;
  if (color == colors::kError) return lkError;
  if (color == colors::kLime) return scroll ? lkOk : lkRaw;
  if (color == colors::kPurple) return lkRepeat;
  if (color == colors::kGrey) return lkRule;
  return lkInfo;
}

}  // namespace

TColor KindColor(TLogKind kind) {
  switch (kind) {
    case lkRx:
      return colors::kReceived;
    case lkTx:
      return colors::kSent;
    case lkError:
      return colors::kError;
    case lkRaw:
    case lkOk:
      return colors::kLime;
    case lkRepeat:
      return colors::kPurple;
    case lkRule:
      return colors::kGrey;
    case lkInfo:
      break;
  }
  return colors::kBlack;
}

TLinkLog::TLinkLog(TClock clock, TLogStoreOptions storeOptions)
    : clock_(std::move(clock)), store_(storeOptions) {
  store_.Append(lkInfo, clock_(), kColumnGuide);
}

const std::string& TLinkLog::TimeStamp() const {
  // Locale formatting costs more than the rest of a log line; the text only changes
  // once a second.
  const auto now = clock_();
  const std::time_t second = std::chrono::system_clock::to_time_t(now);
  if (second != stampSecond_) {
    stamp_ = TimeStampText(std::chrono::system_clock::from_time_t(second));
    stampSecond_ = second;
  }
  if (!switches_.milliseconds) return stamp_;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  stampMs_ = WithMilliseconds(stamp_, static_cast<int>(ms % 1000));
  return stampMs_;
}

TLogLine TLinkLog::Line(std::size_t index) const {
  const TStoredLine& line = store_.Peek(index);
  return TLogLine{line.text, KindColor(line.kind), line.kind};
}

void TLinkLog::Append(TLogKind kind, std::string_view text, bool scroll) {
  // A line break inside a text (an error's CR between what failed and why) goes on in
  // the next line of the log. Two passes of memchr: most texts have none.
  if (text.find('\r') != std::string_view::npos || text.find('\n') != std::string_view::npos) {
    for (const std::string& line : SplitLines(text)) AppendOne(kind, line, scroll);
    return;
  }
  AppendOne(kind, text, scroll);
}

void TLinkLog::AppendOne(TLogKind kind, std::string_view text, bool scroll) {
  observers_.Notify([&](auto& o) { o.BeforeAppend(store_.Count()); });
  store_.Append(kind, clock_(), text);
  observers_.Notify([&](auto& o) { o.AfterAppend(scroll); });
  ReportStoreFailures();
}

void TLinkLog::ReportStoreFailures() {
  // The red line itself may be what fails next; it then waits for the next call.
  if (reporting_) return;
  reporting_ = true;
  for (const std::string& text : store_.TakeFailures()) Append(lkError, "E " + TimeStamp() + "   " + text, true);
  reporting_ = false;
}

void TLinkLog::AppendLine(TLogKind kind, std::string_view text) { Append(kind, text, true); }

void TLinkLog::AppendLineNoScroll(TLogKind kind, std::string_view text) { Append(kind, text, false); }

void TLinkLog::AppendLine(TColor color, std::string_view text) { Append(KindOfColor(color, true), text, true); }

void TLinkLog::AppendLineNoScroll(TColor color, std::string_view text) {
  Append(KindOfColor(color, false), text, false);
}

void TLinkLog::LogTelegram(TColor color, char letter, const TTelegramBody& body, std::string_view text) {
  LogTelegram(KindOfColor(color, true), letter, body, text);
}

void TLinkLog::LogTelegram(TLogKind kind, char letter, const TTelegramBody& body, std::string_view text) {
  if (switches_.stopLogging) return;
  std::string line;
  line.reserve(64 + text.size());
  line.push_back(letter);
  line.push_back(' ');
  line += TimeStamp();
  line += "   ";
  line += FormatTelegramText(body);
  line += "   ";
  // The log's lines are UTF-8; a command comment is Latin-1 like every link text.
  line += Latin1ToUtf8(text);
  AppendLine(kind, line);
}

void TLinkLog::Clear() {
  observers_.Notify([&](auto& o) { o.BeforeClear(); });
  store_.Clear(clock_());
  observers_.Notify([&](auto& o) { o.AfterClear(); });
}

void TLinkLog::StartCapture(const TCaptureSettings& settings) {
  store_.StartCapture(settings, clock_());
  ReportStoreFailures();
}

void TLinkLog::Poll() {
  store_.Poll(clock_());
  ReportStoreFailures();
}

}  // namespace ardel
