#include "log/capture_settings.h"

namespace ardel {

TCaptureSettings ReadCaptureSettings(const TIniFile& config, const std::string& programDirectory) {
  TCaptureSettings settings;
  settings.capture = config.ReadInteger(kLogSection, kCaptureKey, 1) != 0;
  const int megabytes = config.ReadInteger(kLogSection, "MaxFileMB", kMaxFileMBDefault);
  settings.maxFileBytes = std::uint64_t{megabytes >= 1 ? static_cast<unsigned>(megabytes) : 1u} << 20;
  std::string folder = config.ReadString(kLogSection, kFolderKey, "");
  if (folder.empty()) folder = "log";
  if (folder.front() != '/') {
    if (programDirectory.empty()) return settings;
    folder = programDirectory + folder;
  }
  if (folder.back() != '/') folder += '/';
  settings.folder = std::move(folder);
  return settings;
}

}  // namespace ardel
