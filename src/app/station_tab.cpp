#include "app/station_tab.h"

#include <exception>

#include "util/ini_file.h"
#include "util/text_encoding.h"

namespace ardel {

TStationTab::TStationTab(TQueues& queues, TStationTable& table, TTextLines& information, IErrorSink& errors,
                         TStationFileAccess file)
    : queues_(queues),
      table_(table),
      information_(information),
      errors_(errors),
      file_(std::move(file)),
      stationReports_(queues.Commands(), information, table) {}

std::string TStationTab::NotSavedNote() const {
  return ExtractFileName(file_.fileName()) +
         " not saved: it is not the file this program loaded, so it is not written over";
}

void TStationTab::TabControl1Switch(int index) {
  // The switch is always allowed; the station being left is the one displayed.
  const int leaving = displayedStation_.station;
  selectedStation_.Set(index);
  try {
    StoreStation(displayedStation_, table_, leaving);
    if (!file_.save()) information_.Append(NotSavedNote());
  } catch (const std::exception& e) {
    errors_.ShowError(e.what(), teUtf8);
  }
  TabControl1Change();
}

void TStationTab::TabControl1Change() {
  const int index = selectedStation_.Value();
  if (index < 0 || index >= kStationCount) return;
  displayedStation_.station = index;
  stationHeading_.SetText("Station: " + StationCaption(index));
  ShowStation(table_, index, displayedStation_);
}

TStationCommand TStationTab::StationCommandFor(std::string_view commandTemplate, int tag) const {
  return BuildStationCommand(commandTemplate, tag, displayedStation_.sbi.Text(), stationCommandFields_.offset.Text(),
                             stationCommandFields_.newSbi.Text());
}

void TStationTab::Button12Click(std::string_view caption, std::string_view commandTemplate, int tag,
                                const std::function<void()>& cannotCalcTargetAddress) {
  const TStationCommand command = StationCommandFor(commandTemplate, tag);
  if (command.targetAddressFailed && cannotCalcTargetAddress) cannotCalcTargetAddress();
  const TRequestKind kind = commandTemplate.starts_with("ABD0") ? rqChangeBaseId : rqCommand;
  stationReports_.Enqueue(std::string(caption), displayedStation_.station, kind,
                          [&] { queues_.EnqueueCommand(command.commandString); });
}

void TStationTab::Button11Click() {
  stationReports_.Enqueue("read INFI", displayedStation_.station, rqReadInfi,
                          [&] { ReadInfi(displayedStation_, table_, queues_); });
}

void TStationTab::Button27Click() {
  const std::optional<TSbiOffer> offer = stationReports_.TakeOffer();
  if (!offer) return;
  table_.SetCell(StationColumn(offer->station), kSbiRow, offer->newSbi);
  if (displayedStation_.station == offer->station) displayedStation_.sbi.SetText(offer->newSbi);
  const std::string taken = "Station " + StationCaption(offer->station) + " has the SBI " +
                            Latin1ToUtf8(offer->newSbi) + " in its column now";
  if (!file_.save()) {
    information_.Append(taken + "; " + NotSavedNote());
  } else if (!file_.fileName().empty()) {
    information_.Append(taken + "; " + ExtractFileName(file_.fileName()) + " saved");
  } else {
    information_.Append(taken);
  }
}

}  // namespace ardel
