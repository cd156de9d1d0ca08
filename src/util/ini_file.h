#pragma once
// The configuration file in the INI convention: "[Section]" lines and "key=value" lines.
// Section and key names compare without case; blanks around names, "=" and values do not
// count; lines starting with ";" are comments. The file is kept as it was read, line
// endings included, so that writing one entry leaves every other byte where it was.

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

  // Sets the value of the entry that reading finds. A missing key goes after the last
  // entry of the first section of that name, a missing section at the end of the file.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);

  // The lines without their endings.
  const std::vector<std::string>& Lines() const { return lines_; }
  // The whole file as it is to be written.
  std::string Text() const;

 private:
  // Line indices: the first entry of the key in the section, if any.
  std::optional<std::size_t> FindEntry(std::string_view section, std::string_view key) const;
  void InsertLine(std::size_t index, std::string line);
  // The file's own line ending, for the lines it gets.
  std::string NewLineEnding() const;

  std::string bom_;
  std::vector<std::string> lines_;
  std::vector<std::string> endings_;  // one per line; the last line may have none
};

// Reads the file, sets one integer and writes the file again, atomically; a file that
// exists but cannot be read is left alone. Throws EFileError.
void WriteIniInteger(const std::string& path, std::string_view section, std::string_view key,
                     int value);

// The same for one text value.
void WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

// The full name of the running program file; empty when it cannot be found.
std::string ProgramFileName();

// The name with its extension (from the last "." of the last component) replaced; a
// name without one gets it appended.
std::string ChangeFileExt(const std::string& fileName, std::string_view extension);
// The directory part with its trailing "/"; empty for a bare name.
std::string ExtractFilePath(const std::string& fileName);
// The last component.
std::string ExtractFileName(const std::string& fileName);

}  // namespace ardel
