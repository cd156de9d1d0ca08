#pragma once
// The capture of the link log as the operator chooses it on the tab "Setup": on or off,
// and its folder. Each choice goes into the configuration file's section [Log] at once,
// every other line of the file kept, and takes effect at the next start; the run that
// is going on keeps the capture it started with.

#include <string>

#include "util/ini_file.h"
#include "util/text_field.h"
#include "util/value.h"

namespace ardel {

class TCaptureChoice {
 public:
  // The configuration file; empty: nothing can be chosen.
  explicit TCaptureChoice(std::string configFileName) : configFileName_(std::move(configFileName)) {}

  // Takes the choices from the configuration file as the start-up read it.
  void Load(const TIniFile& config);

  // Shown by the window; changed only through the setters.
  TValue<bool>& Capture() { return capture_; }
  // As written in the file: empty for the folder "log" in the program directory.
  TTextField& Folder() { return folder_; }

  // Write the choice; the shown value changes once it is written. Throw EFileError
  // when the file cannot be written, leaving the shown value as it was.
  void SetCapture(bool on);
  void SetFolder(const std::string& folder);

 private:
  std::string configFileName_;
  TValue<bool> capture_{true};
  TTextField folder_;
};

}  // namespace ardel
