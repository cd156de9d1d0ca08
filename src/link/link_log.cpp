#include "link/link_log.h"

#include <utility>

#include "util/text_encoding.h"

namespace ardel {

TLinkLog::TLinkLog(TClock clock) : clock_(std::move(clock)) {
  lines_.push_back({kColumnGuide, colors::kBlack});
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

void TLinkLog::Append(TColor color, std::string text, bool scroll) {
  observers_.Notify([&](auto& o) { o.BeforeAppend(lines_.size()); });
  lines_.push_back({std::move(text), color});
  observers_.Notify([&](auto& o) { o.AfterAppend(scroll); });
}

void TLinkLog::AppendLine(TColor color, std::string text) { Append(color, std::move(text), true); }

void TLinkLog::AppendLineNoScroll(TColor color, std::string text) {
  Append(color, std::move(text), false);
}

void TLinkLog::LogTelegram(TColor color, char letter, const TTelegramBody& body,
                           std::string_view text) {
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
  AppendLine(color, std::move(line));
}

void TLinkLog::Clear() {
  // Swap so the memory of a large log goes back at once.
  observers_.Notify([&](auto& o) { o.BeforeClear(); });
  std::deque<TLogLine>().swap(lines_);
  observers_.Notify([&](auto& o) { o.AfterClear(); });
}

}  // namespace ardel
