#pragma once
// ardel-cli's --stats: the bus overview at a fixed period and once more at the end, as
// a table for people on standard error or as JSON objects among the log's lines.

#include <chrono>
#include <cstdio>
#include <memory>

#include "app/ardel_app.h"
#include "app/event_loop.h"

namespace ardel::cli {

class TStatsOutput {
 public:
  // JSON goes to out, the table to err. The first overview comes one period from now.
  TStatsOutput(TArdelApp& app, IEventLoop& loop, std::chrono::milliseconds period, bool json, std::FILE* out,
               std::FILE* err);
  // The overview as it is now.
  void Write();

 private:
  TArdelApp& app_;
  bool json_;
  std::FILE* out_;
  std::FILE* err_;
  std::unique_ptr<ITimer> timer_;
};

}  // namespace ardel::cli
