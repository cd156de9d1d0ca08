#pragma once
// The link log: coloured, append-only lines with no limit of their own.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "link/telegram.h"
#include "link/time_stamp.h"

#include "util/observers.h"

namespace ardel {

struct TColor {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const TColor&, const TColor&) = default;
};

namespace colors {
constexpr TColor kSent{0, 128, 0};
constexpr TColor kReceived{0, 0, 255};
constexpr TColor kError{255, 0, 0};
constexpr TColor kLime{0, 255, 0};
constexpr TColor kPurple{128, 0, 128};
constexpr TColor kGrey{128, 128, 128};
constexpr TColor kBlack{0, 0, 0};
}  // namespace colors

struct TLogLine {
  std::string text;
  TColor color;
};

// Told about every change, so a view can follow the model without copying it.
class ILinkLogObserver {
 public:
  virtual ~ILinkLogObserver() = default;
  // Qt's models want to hear of a change both before and after it.
  virtual void BeforeAppend(std::size_t index) = 0;
  virtual void AfterAppend(bool scroll) = 0;
  virtual void BeforeClear() = 0;
  virtual void AfterClear() = 0;
};

struct TLinkLogSwitches {
  bool rawReception = false;
  bool stopLogging = false;
  bool debugInfo = false;
  // Time stamps of new lines carry milliseconds.
  bool milliseconds = false;
};

class TLinkLog {
 public:
  static constexpr const char* kColumnGuide =
      "E dd.nn.yyyy hh.mm.ss   xx xx xxxxxxxx .............";

  explicit TLinkLog(TClock clock = SystemClock());

  void AddObserver(ILinkLogObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(ILinkLogObserver* observer) { observers_.Remove(observer); }

  // Appends one line and asks the view to show the end.
  void AppendLine(TColor color, std::string text);
  // Appends without asking the view to scroll (raw reception).
  void AppendLineNoScroll(TColor color, std::string text);
  // One telegram log line, unless "Stop Loging" is on.
  void LogTelegram(TColor color, char letter, const TTelegramBody& body, std::string_view text);
  void Clear();

  std::size_t Count() const { return lines_.size(); }
  const TLogLine& Line(std::size_t index) const { return lines_[index]; }

  // The time stamp text of now; formatted once per second of the clock, with the
  // milliseconds added while that switch is on.
  const std::string& TimeStamp() const;
  TLinkLogSwitches& Switches() { return switches_; }
  const TLinkLogSwitches& Switches() const { return switches_; }

 private:
  void Append(TColor color, std::string text, bool scroll);

  std::deque<TLogLine> lines_;
  TClock clock_;
  mutable std::time_t stampSecond_ = -1;
  mutable std::string stamp_;
  mutable std::string stampMs_;
  TLinkLogSwitches switches_;
  TObservers<ILinkLogObserver> observers_;
};

}  // namespace ardel
