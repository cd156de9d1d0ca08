#pragma once
// What the receive and transmit paths write into the link log: telegram log lines, the
// lines of raw reception and their own error lines. The link log (log/link_log.h) is the one writer; the paths
// know no more of it, so the link stays below the log.

#include <string>
#include <string_view>

#include "link/log_kind.h"
#include "link/telegram.h"

namespace ardel {

class ITelegramLog {
 public:
  virtual ~ITelegramLog() = default;
  // A telegram log line: letter, time stamp, telegram text and text; not written while
  // logging is stopped.
  virtual void LogTelegram(TLogKind kind, char letter, const TTelegramBody& body, std::string_view text) = 0;
  // A line of its own, scrolling the view to it or not.
  virtual void AppendLine(TLogKind kind, std::string_view text) = 0;
  virtual void AppendLineNoScroll(TLogKind kind, std::string_view text) = 0;
  // The time stamp text of a line written now.
  virtual const std::string& TimeStamp() const = 0;
  // "raw reception": each byte is logged by itself and nothing is framed.
  virtual bool RawReception() const = 0;
};

}  // namespace ardel
