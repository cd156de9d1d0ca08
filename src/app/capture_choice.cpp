#include "app/capture_choice.h"

#include "log/capture_settings.h"
#include "util/text_file.h"

namespace ardel {

namespace {

void NeedFile(const std::string& name) {
  if (name.empty()) throw EFileError("no configuration file is known: the capture cannot be chosen");
}

}  // namespace

void TCaptureChoice::Load(const TIniFile& config) {
  capture_.Set(config.ReadInteger(kLogSection, kCaptureKey, 1) != 0);
  folder_.SetText(config.ReadString(kLogSection, kFolderKey, ""));
}

void TCaptureChoice::SetCapture(bool on) {
  NeedFile(configFileName_);
  WriteIniString(configFileName_, kLogSection, kCaptureKey, on ? "1" : "0");
  capture_.Set(on);
}

void TCaptureChoice::SetFolder(const std::string& folder) {
  NeedFile(configFileName_);
  if (folder.find_first_of("\r\n") != std::string::npos) {
    throw EFileError("a folder name cannot hold a line break");
  }
  WriteIniString(configFileName_, kLogSection, kFolderKey, folder);
  folder_.SetText(folder);
}

}  // namespace ardel
