#include "util/ini_file.h"

#include <cctype>
#include <cerrno>
#include <climits>

#include "util/names.h"
#include "util/text_file.h"

namespace ardel {

namespace {

std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

struct TEntry {
  std::string_view key;
  std::string_view value;
};

std::optional<TEntry> EntryOf(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';' || line.front() == '[') return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  TEntry entry{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
  if (entry.key.empty()) return std::nullopt;
  // A value in double quotes stands without them.
  if (entry.value.size() >= 2 && entry.value.front() == '"' && entry.value.back() == '"') {
    entry.value = entry.value.substr(1, entry.value.size() - 2);
  }
  return entry;
}

// Calls visit(lineIndex, entry) for every entry of every section of that name.
template <typename F>
void ForEachEntry(const std::vector<std::string>& lines, std::string_view section, F&& visit) {
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionOf(lines[i])) {
      inside = SameName(*name, section);
    } else if (inside) {
      if (auto entry = EntryOf(lines[i])) {
        if (!visit(i, *entry)) return;
      }
    }
  }
}

}  // namespace

TIniFile::TIniFile(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    bom_.assign(text.substr(0, 3));
    text.remove_prefix(3);
  }
  // Lines end at CR LF, a lone CR or a lone LF, each kept as it was.
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    const std::size_t length = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    lines_.emplace_back(text.substr(start, i - start));
    endings_.emplace_back(text.substr(i, length));
    i += length;
    start = i;
  }
  if (start < text.size()) {
    lines_.emplace_back(text.substr(start));
    endings_.emplace_back();
  }
}

std::string TIniFile::Text() const {
  std::string text = bom_;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    text += endings_[i];
  }
  return text;
}

std::string TIniFile::NewLineEnding() const {
  for (const std::string& ending : endings_) {
    if (!ending.empty()) return ending;
  }
  return "\n";
}

void TIniFile::InsertLine(std::size_t index, std::string line) {
  const std::string ending = NewLineEnding();
  // A last line without an ending gets one, or the new line would run on from it.
  if (index > 0 && endings_[index - 1].empty()) endings_[index - 1] = ending;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
  endings_.insert(endings_.begin() + static_cast<std::ptrdiff_t>(index), ending);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (const auto line = FindEntry(section, key)) {
    // Only the value changes; the key keeps its spelling and the blanks before the value.
    std::string& text = lines_[*line];
    std::size_t start = text.find('=') + 1;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    text.resize(start);
    text += value;
    return;
  }
  std::string entry = std::string(key) + "=" + std::string(value);
  std::optional<std::size_t> header;
  std::optional<std::size_t> lastEntry;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = SectionOf(lines_[i])) {
      if (header) break;
      if (SameName(*name, section)) header = i;
    } else if (header && EntryOf(lines_[i])) {
      lastEntry = i;
    }
  }
  if (header) {
    InsertLine((lastEntry ? *lastEntry : *header) + 1, std::move(entry));
    return;
  }
  InsertLine(lines_.size(), "[" + std::string(section) + "]");
  InsertLine(lines_.size(), std::move(entry));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void WriteIniInteger(const std::string& path, std::string_view section, std::string_view key,
                     int value) {
  TIniFile ini = TIniFile::Load(path);
  ini.WriteInteger(section, key, value);
  WriteFileAtomically(path, ini.Text());
}

void WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  TIniFile ini = TIniFile::Load(path);
  ini.WriteString(section, key, value);
  WriteFileAtomically(path, ini.Text());
}

TIniFile TIniFile::Load(const std::string& path) {
  if (TargetIsFree(path)) return TIniFile();
  return TIniFile(ReadWholeFile(path, 1u << 20));
}

std::optional<std::size_t> TIniFile::FindEntry(std::string_view section,
                                               std::string_view key) const {
  std::optional<std::size_t> found;
  ForEachEntry(lines_, section, [&](std::size_t line, const TEntry& entry) {
    if (!SameName(entry.key, key)) return true;
    found = line;
    return false;
  });
  return found;
}

std::optional<std::string> TIniFile::Value(std::string_view section, std::string_view key) const {
  const auto line = FindEntry(section, key);
  if (!line) return std::nullopt;
  return std::string(EntryOf(lines_[*line])->value);
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  if (auto value = Value(section, key)) return *value;
  return std::string(defaultValue);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
  const auto value = Value(section, key);
  if (!value) return defaultValue;
  std::string_view text = *value;
  bool negative = false;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return defaultValue;
  long long number = 0;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    int digit;
    if (std::isdigit(u)) {
      digit = u - '0';
    } else if (base == 16 && std::isxdigit(u)) {
      digit = std::tolower(u) - 'a' + 10;
    } else {
      return defaultValue;
    }
    number = number * base + digit;
    if (number > static_cast<long long>(INT_MAX) + 1) return defaultValue;
  }
  if (negative) number = -number;
  if (number > INT_MAX || number < INT_MIN) return defaultValue;
  return static_cast<int>(number);
}

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSection(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  ForEachEntry(lines_, section, [&](std::size_t, const TEntry& entry) {
    for (const auto& known : entries) {
      if (SameName(known.first, entry.key)) return true;
    }
    entries.emplace_back(entry.key, entry.value);
    return true;
  });
  return entries;
}

std::string ChangeFileExt(const std::string& fileName, std::string_view extension) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t dot = fileName.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? fileName.substr(0, dot) : fileName) + std::string(extension);
}

std::string ExtractFilePath(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

}  // namespace ardel
