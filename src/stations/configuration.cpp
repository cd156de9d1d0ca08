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

}  // namespace ardel
