#pragma once
// The real window offscreen with its real port on a pseudo-terminal: the benchmark holds
// the far end. Needs the QApplication first.

#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::bench {

class TWindowOnPty {
 public:
  TWindowOnPty() {
    if (openpty(&farEnd_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    files_.WriteDataFiles();
    form_ = std::make_unique<ui::TForm1>(files_.Options({{"COM1", ttyname(slave_)}}));
    form_->SetErrorDialog(&dialog_);
    form_->show();
  }
  ~TWindowOnPty() {
    form_.reset();
    if (farEnd_ >= 0) ::close(farEnd_);
    if (slave_ >= 0) ::close(slave_);
  }
  TWindowOnPty(const TWindowOnPty&) = delete;
  TWindowOnPty& operator=(const TWindowOnPty&) = delete;

  // False, having said why, when the port did not open.
  bool Ready() const {
    if (form_ && form_->App().ComPort().IsOpen()) return true;
    std::fprintf(stderr, "port did not open\n");
    return false;
  }
  int FarEnd() const { return farEnd_; }
  ui::TForm1& Form() { return *form_; }
  const ui::TRecordingErrorDialog& Errors() const { return dialog_; }

 private:
  int farEnd_ = -1;
  int slave_ = -1;
  testing::TProgramDirectory files_;
  ui::TRecordingErrorDialog dialog_;
  std::unique_ptr<ui::TForm1> form_;
};

}  // namespace ardel::bench
