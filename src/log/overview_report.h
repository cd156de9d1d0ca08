#pragma once
// The bus overview as text for a terminal or a script: a table to read, or one JSON
// object whose names scripts rely on.

#include <string>

#include "log/bus_overview.h"

namespace ardel {

// One line of JSON (with its line break):
// {"kind": "stats", "time": ..., "link": {"received", "sent", "checksum_errors",
//  "dropped_bytes", "load_percent", ...}, "ids": [{"id": "FFFFFF80", "station": 0,
//  "offset": 0, "received", "sent", "repeats", "completed", "timeouts", "acks",
//  "checksum_errors_unsure", "response_ms": {"min", "median", "p95", "max"},
//  "first_seen", "last_seen", ...}, ...]}
// An ID of no station has "station": null; the row past the limit has "id": "other".
// The load is over the last 10 seconds up to now.
std::string OverviewJson(const TBusOverview& overview, const TStationBases& bases, TOverviewTime now);

// The link's counts and rates, then a row per ID, columns aligned.
std::string OverviewTable(const TBusOverview& overview, const TStationBases& bases, TOverviewTime now);

}  // namespace ardel
