#include "stations/configuration.h"

#include <climits>

#include "util/number_text.h"
#include "util/text_file.h"

namespace ardel {

int ReadComport(const TIniFile& config) {
  return config.ReadInteger(kConfigSection, kComportKey, kComportDefault);
}

int HoldComport(int number) {
  if (number < kComportMin) return kComportMin;
  if (number > kComportMax) return kComportMax;
  return number;
}

int ComportFromText(std::string_view text) {
  const std::optional<long long> value = NumberFromFieldText(text);
  if (!value || *value < INT_MIN || *value > INT_MAX) return kComportDefault;
  return static_cast<int>(*value);
}

std::string ComportName(int number) { return "COM" + std::to_string(number); }

void WriteComport(const std::string& configFileName, int number) {
  if (configFileName.empty()) {
    throw EFileError("cannot write the configuration file: the program file was not found");
  }
  WriteIniInteger(configFileName, kConfigSection, kComportKey, number);
}

std::string PresetKey(int index) { return "Preset" + std::to_string(index + 1); }

std::optional<std::string> ReadPreset(const TIniFile& config, int index) {
  return config.Value(kPresetsSection, PresetKey(index));
}

void WritePreset(const std::string& configFileName, int index, std::string_view text) {
  if (configFileName.empty()) {
    throw EFileError("cannot write the configuration file: the program file was not found");
  }
  // A line break would end the entry and start a line of its own.
  std::string value = "\"";
  for (char c : text) value.push_back(c == '\r' || c == '\n' ? ' ' : c);
  value.push_back('"');
  WriteIniString(configFileName, kPresetsSection, PresetKey(index), value);
}

}  // namespace ardel
