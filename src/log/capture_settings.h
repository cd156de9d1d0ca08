#pragma once
// The capture's settings in the configuration file's section [Log]: Capture=1 (0 turns
// capturing off), Folder= (empty: "log" in the program directory; a relative folder
// lies in the program directory) and MaxFileMB=256.

#include <cstdint>
#include <string>

#include "util/ini_file.h"

namespace ardel {

constexpr const char* kLogSection = "Log";
constexpr const char* kCaptureKey = "Capture";
constexpr const char* kFolderKey = "Folder";
constexpr int kMaxFileMBDefault = 256;

struct TCaptureSettings {
  bool capture = true;
  // Absolute, with its trailing "/"; empty: no folder is known and nothing is captured.
  std::string folder;
  std::uint64_t maxFileBytes = std::uint64_t{kMaxFileMBDefault} << 20;
};

// programDirectory has its trailing "/"; empty, it leaves the folder unknown.
TCaptureSettings ReadCaptureSettings(const TIniFile& config, const std::string& programDirectory);

}  // namespace ardel
