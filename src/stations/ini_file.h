#pragma once
// The configuration file in the INI convention: "[Section]" lines and "key=value" lines.
// Section and key names compare without case; blanks around names, "=" and values do not
// count; lines starting with ";" are comments. The lines are kept as they were read, so
// that one entry can be written back with all other lines untouched.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ardel {

class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(std::string_view text);

  // A missing file reads as empty; one that exists but cannot be read throws EFileError.
  static TIniFile Load(const std::string& path);

  // The first entry of the key in the first section of that name.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  // Decimal, or hexadecimal after "0x"; anything else, or a missing entry, gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
  // Every key of the section with its value, in file order, each key once.
  std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Line indices: the first entry of the key in the section, if any.
  std::optional<std::size_t> FindEntry(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;
};

// The full name of the running program file.
std::string ProgramFileName();

// The name with its extension (from the last "." of the last component) replaced; a
// name without one gets it appended.
std::string ChangeFileExt(const std::string& fileName, std::string_view extension);

}  // namespace ardel
