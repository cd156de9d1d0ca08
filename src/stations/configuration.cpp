#include "stations/configuration.h"

#include <charconv>

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
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    return kComportDefault;
  }
  return value;
}

std::string ComportName(int number) { return "COM" + std::to_string(number); }

void WriteComport(const std::string& configFileName, int number) {
  if (configFileName.empty()) {
    throw EFileError("cannot write the configuration file: the program file was not found");
  }
  WriteIniInteger(configFileName, kConfigSection, kComportKey, number);
}

}  // namespace ardel
