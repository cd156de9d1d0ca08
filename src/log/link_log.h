#pragma once
// The link log: coloured, append-only lines with no limit of their own. The lines live
// in a store on disk (log/log_store.h), so memory stays flat however long it runs.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "link/telegram.h"
#include "link/time_stamp.h"
#include "log/capture_settings.h"
#include "link/log_kind.h"
#include "link/telegram_log.h"
#include "log/log_store.h"

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

// Each kind has one colour; raw bytes and "ok" lines share lime.
TColor KindColor(TLogKind kind);

struct TLogLine {
  std::string text;
  TColor color;
  TLogKind kind = lkInfo;
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

class TLinkLog : public ITelegramLog {
 public:
  static constexpr const char* kColumnGuide =
      "E dd.nn.yyyy hh.mm.ss   xx xx xxxxxxxx .............";

  explicit TLinkLog(TClock clock = SystemClock(), TLogStoreOptions storeOptions = {});

  void AddObserver(ILinkLogObserver* observer) { observers_.Add(observer); }
  void RemoveObserver(ILinkLogObserver* observer) { observers_.Remove(observer); }

  // Appends one line of its kind, in the kind's colour, and asks the view to show the end.
  void AppendLine(TLogKind kind, std::string_view text) override;
  // Appends without asking the view to scroll (raw reception).
  void AppendLineNoScroll(TLogKind kind, std::string_view text) override;
  // One telegram log line, unless "Stop Loging" is on.
  void LogTelegram(TLogKind kind, char letter, const TTelegramBody& body, std::string_view text) override;
  // As above, the kind taken from the colour (lime: "ok", or raw without scrolling);
  // writers that know their kind say it instead.
  void AppendLine(TColor color, std::string_view text);
  void AppendLineNoScroll(TColor color, std::string_view text);
  void LogTelegram(TColor color, char letter, const TTelegramBody& body, std::string_view text);
  // Empties the log; a capture notes it and goes on.
  void Clear();

  std::size_t Count() const { return store_.Count(); }
  TLogLine Line(std::size_t index) const;
  // Characters of a line, without copying it.
  std::size_t LineLength(std::size_t index) const { return store_.Peek(index).text.size(); }

  // Captures into the files of the settings from now on (the lines so far included).
  void StartCapture(const TCaptureSettings& settings);
  // Writes waiting lines once a second and retries a failed capture; a failure becomes
  // one red line. Called a few times a second.
  void Poll();
  TLogStore& Store() { return store_; }
  const TLogStore& Store() const { return store_; }

  // The time stamp text of now; formatted once per second of the clock, with the
  // milliseconds added while that switch is on.
  const std::string& TimeStamp() const override;
  bool RawReception() const override { return switches_.rawReception; }
  TLinkLogSwitches& Switches() { return switches_; }
  const TLinkLogSwitches& Switches() const { return switches_; }

 private:
  void Append(TLogKind kind, std::string_view text, bool scroll);
  void AppendOne(TLogKind kind, std::string_view text, bool scroll);
  void ReportStoreFailures();

  TClock clock_;
  TLogStore store_;
  bool reporting_ = false;
  mutable std::time_t stampSecond_ = -1;
  mutable std::string stamp_;
  mutable std::string stampMs_;
  TLinkLogSwitches switches_;
  TObservers<ILinkLogObserver> observers_;
};

}  // namespace ardel
