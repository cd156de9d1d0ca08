#include "cli/stats_output.h"

#include "log/overview_report.h"

namespace ardel::cli {

TStatsOutput::TStatsOutput(TArdelApp& app, IEventLoop& loop, std::chrono::milliseconds period, bool json,
                           std::FILE* out, std::FILE* err)
    : app_(app), json_(json), out_(out), err_(err) {
  timer_ = loop.NewTimer(tkRepeating, [this] { Write(); });
  timer_->Start(period);
}

void TStatsOutput::Write() {
  const TOverviewTime now = std::chrono::system_clock::now();
  if (json_) {
    std::fputs(OverviewJson(app_.Overview(), app_.OverviewStations(), now).c_str(), out_);
    std::fflush(out_);
  } else {
    std::fputs(OverviewTable(app_.Overview(), app_.OverviewStations(), now).c_str(), err_);
    std::fflush(err_);
  }
}

}  // namespace ardel::cli
