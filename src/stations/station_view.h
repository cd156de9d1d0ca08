#pragma once
// The displayed station: the Stations tab's working copy of one station column, which
// goes back into the table only when it is stored.

#include <string>
#include <string_view>

#include "stations/station_table.h"
#include "util/text_field.h"
#include "util/text_lines.h"

namespace ardel {

constexpr const char* kNotAvailable = "n.a.";

struct TDisplayedStation {
  // The station tab's index, 0 to F.
  int station = 0;
  TTextField sbi{"FFFFFF80"};
  TTextLines infi;
};

// The SBI field into the station's SBI cell; INFI line i into its INFI row i, or "n.a."
// for a line the list does not have; then the INFI list is emptied.
void StoreStation(TDisplayedStation& shown, TStationTable& table, int station);

// The station's SBI cell into the SBI field and its sixteen INFI cells, empty ones too,
// into the INFI list.
void ShowStation(const TStationTable& table, int station, TDisplayedStation& shown);

// FF800000 to FFFFFF80 in steps of 80, tested by character codes only: the test only
// colours a field and blocks nothing.
bool IsValidSbi(std::string_view text);

// "0".."F": the station tab's caption.
std::string StationCaption(int station);

}  // namespace ardel
