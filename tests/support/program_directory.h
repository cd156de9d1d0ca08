#pragma once
// A program directory of its own for a window that runs its start-up and shut-down
// sequences, removed with everything in it at the end.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "stations/station_file.h"
#include "app/ardel_app.h"
#include "util/text_file.h"
#include "support/temp_dir.h"

namespace ardel::ui {
struct TFormOptions;
}

namespace ardel::testing {

class TProgramDirectory {
 public:
  TProgramDirectory() : path_(MakeTempDir("ardel-program").generic_string() + "/") {}
  ~TProgramDirectory() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TProgramDirectory(const TProgramDirectory&) = delete;
  TProgramDirectory& operator=(const TProgramDirectory&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + std::string(name); }
  std::string StationFile() const { return File("veskData.txt"); }
  std::string RuleSetFile() const { return File("veskRuleset.txt"); }
  std::string ConfigFile() const { return File("ardel.INI"); }

  // A station data file and a rule-set file that load without complaint.
  void WriteDataFiles(std::string_view rules = "") const {
    TStationTable table;
    table.WriteHeadings();
    WriteFileAtomically(StationFile(), StationFileText(table));
    WriteFileAtomically(RuleSetFile(), rules);
  }

  // A program (by default a window) that starts up and shuts down here, its ports on
  // the devices named in the configuration file's [Ports], or on those given.
  template <typename TOptions = ui::TFormOptions>
  TOptions Options() const {
    TOptions options;
    options.programDirectory = path_;
    options.configFileName = ConfigFile();
    if constexpr (requires { options.runSequences; }) options.runSequences = true;
    return options;
  }
  template <typename TOptions = ui::TFormOptions>
  TOptions Options(std::map<std::string, std::string> portMap) const {
    TOptions options = Options<TOptions>();
    options.portMap = std::move(portMap);
    return options;
  }

 private:
  std::string path_;
};

}  // namespace ardel::testing
