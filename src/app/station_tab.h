#pragma once
// The tab "Stations" without its widgets: which station is displayed, the switch between
// stations, and the station command buttons that queue commands for the displayed one,
// with the reports of how those commands ended.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/event_loop.h"
#include "app/station_reports.h"
#include "queue/queues.h"
#include "stations/station_commands.h"
#include "stations/station_table.h"
#include "stations/station_view.h"
#include "util/text_field.h"
#include "util/text_lines.h"
#include "util/value.h"

namespace ardel {

// Where the station table's data file goes; the program keeps it.
struct TStationFileAccess {
  // Writes the data file; false when it was not written because it is not the file the
  // table came from. Throws EFileError.
  std::function<bool()> save;
  // The data file's path; empty while the program directory is not known.
  std::function<std::string()> fileName;
};

class TStationTab {
 public:
  // All of them outlive the tab.
  TStationTab(TQueues& queues, TStationTable& table, TTextLines& information, IErrorSink& errors,
              TStationFileAccess file);
  TStationTab(const TStationTab&) = delete;
  TStationTab& operator=(const TStationTab&) = delete;

  // The station tab switch: the station being left into the table and the file, then
  // the selected one shown. A failure of the first half goes to the error sink and the
  // switch goes on.
  void TabControl1Switch(int index);
  // After a switch: the heading and the selected station shown.
  void TabControl1Change();
  // A station command button's command string from the displayed station and the
  // fields beside the buttons.
  TStationCommand StationCommandFor(std::string_view commandTemplate, int tag) const;
  // A station command button: its command for the displayed station into the queue.
  // When the target address cannot be computed, the warning runs first (the face shows
  // "cannot calc target address") and the command goes out with 00000000 after it.
  void Button12Click(std::string_view caption, std::string_view commandTemplate, int tag,
                     const std::function<void()>& cannotCalcTargetAddress = {});
  // "read INFI".
  void Button11Click();
  // The offered new SBI into the station's column, its SBI field when it is displayed,
  // and the data file as a tab switch saves it.
  void Button27Click();

  // The selected station tab, 0..15, and the heading above the displayed station.
  TValue<int>& SelectedStation() { return selectedStation_; }
  TTextField& StationHeading() { return stationHeading_; }
  TDisplayedStation& DisplayedStation() { return displayedStation_; }
  TStationCommandFields& StationCommandFields() { return stationCommandFields_; }
  // Station commands' outcomes and the offer of a new SBI.
  TStationReports& StationReports() { return stationReports_; }

 private:
  // The note that the data file was kept from being written over.
  std::string NotSavedNote() const;

  TQueues& queues_;
  TStationTable& table_;
  TTextLines& information_;
  IErrorSink& errors_;
  TStationFileAccess file_;

  TDisplayedStation displayedStation_;
  TStationCommandFields stationCommandFields_;
  TStationReports stationReports_;
  TValue<int> selectedStation_{0};
  TTextField stationHeading_{"Station 0"};
};

}  // namespace ardel
