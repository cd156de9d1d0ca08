#pragma once
// The program without a window, on a loop whose clock the test moves, in a program
// directory of its own.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ardel_app.h"
#include "support/fake_event_loop.h"
#include "support/program_directory.h"

namespace ardel::testing {

inline std::vector<std::string> LinesIn(const TLinkLog& log, TColor color) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < log.Count(); ++i) {
    if (log.Line(i).color == color) lines.push_back(log.Line(i).text);
  }
  return lines;
}

class AppTest : public ::testing::Test {
 protected:
  std::unique_ptr<TArdelApp> Start(const std::string& device) {
    auto app = std::make_unique<TArdelApp>(loop_, errors_, files_.Options<TAppOptions>({{"COM1", device}}));
    app->FormCreate();
    loop_.RunPending();
    return app;
  }

  TFakeEventLoop loop_;
  TRecordingErrorSink errors_;
  TProgramDirectory files_;
};

}  // namespace ardel::testing
