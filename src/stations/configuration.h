#pragma once
// The settings the configuration file holds: the number of the serial port that the
// next start opens, and the three presets of the tab "Test".

#include <optional>
#include <string>
#include <string_view>

#include "util/ini_file.h"

namespace ardel {

constexpr const char* kConfigSection = "Link";
constexpr const char* kComportKey = "Comport";
constexpr int kComportMin = 1;
constexpr int kComportMax = 4;
constexpr int kComportDefault = 1;

// The stored number as it is, not yet held to the range; missing or no number: 1.
int ReadComport(const TIniFile& config);
// The nearer bound for a number outside 1..4.
int HoldComport(int number);
// A field's text as a decimal number; anything else is 1.
int ComportFromText(std::string_view text);
// The port name: "COM" followed by the number.
std::string ComportName(int number);
// Writes the number into the file, every other line left as it is. Throws EFileError.
void WriteComport(const std::string& configFileName, int number);

// The presets: keys "Preset1" to "Preset3" of section "Presets". A value is written in
// double quotes, so blanks at its ends and quotes of its own come back as they were.
constexpr const char* kPresetsSection = "Presets";
std::string PresetKey(int index);
// The stored text of a preset, none when the file has no such entry.
std::optional<std::string> ReadPreset(const TIniFile& config, int index);
// Writes one preset, every other line left as it is. Throws EFileError.
void WritePreset(const std::string& configFileName, int index, std::string_view text);

}  // namespace ardel
