#include "app/program_files.h"

#include <cerrno>
#include <cstring>

#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/text_encoding.h"
#include "util/text_file.h"

namespace ardel {

TProgramFiles ProgramFilesFor(const std::string& programFileName, const std::string& directory) {
  if (directory.empty()) {
    if (programFileName.empty()) return {};
    return {ExtractFilePath(programFileName), ChangeFileExt(programFileName, ".INI")};
  }
  const std::string base = programFileName.empty() ? std::string("ardel") : ExtractFileName(programFileName);
  return {directory, directory + ChangeFileExt(base, ".INI")};
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  TCommandLine line;
  auto fail = [](std::string error) { return TCommandLine{caError, {}, std::move(error), {}}; };
  bool haveDirectory = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") return TCommandLine{caHelp, {}, {}, {}};
    if (argument == "--version") return TCommandLine{caVersion, {}, {}, {}};
    if (argument == "--view" || argument.rfind("--view=", 0) == 0) {
      std::string file;
      if (argument == "--view") {
        if (i + 1 >= arguments.size()) return fail("--view needs a capture file");
        file = arguments[++i];
      } else {
        file = argument.substr(7);
      }
      if (file.empty()) return fail("--view needs a capture file");
      if (!line.viewFile.empty()) return fail("--view given twice");
      line.viewFile = file;
      line.action = caView;
      continue;
    }
    std::string value;
    if (argument == "--dir") {
      if (i + 1 >= arguments.size()) return fail("--dir needs a directory");
      value = arguments[++i];
    } else if (argument.rfind("--dir=", 0) == 0) {
      value = argument.substr(6);
    } else {
      return fail("unknown argument '" + argument + "'");
    }
    if (value.empty()) return fail("--dir needs a directory");
    if (haveDirectory) return fail("--dir given twice");
    haveDirectory = true;
    line.directory = value;
  }
  return line;
}

std::string WithTrailingSeparator(std::string directory) {
  if (directory.empty()) return directory;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  if (directory != "/") directory += '/';
  return directory;
}

std::string DirectoryFromArgument(std::string_view argument, std::string_view home,
                                  std::string_view workingDirectory) {
  std::string path;
  const std::string given = PathFromArgument(argument);
  argument = given;
  if (argument == "~" || argument.substr(0, 2) == "~/") {
    path = std::string(home) + std::string(argument.substr(1));
  } else if (IsAbsolutePath(argument)) {
    path = argument;
  } else {
    path = std::string(workingDirectory) + "/" + std::string(argument);
  }
  return WithTrailingSeparator(std::move(path));
}

void MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && !MakeDirectory(part) && errno != EEXIST) {
      throw EFileError("cannot create " + LocaleToUtf8(part) + ": " + SystemErrorText(errno));
    }
    if (slash == std::string::npos) break;
  }
  if (!IsDirectory(path)) {
    throw EFileError("cannot use " + LocaleToUtf8(path) + ": not a directory");
  }
}

}  // namespace ardel

namespace ardel {

std::string UserDataDirectoryFor(const std::string& programDirectory, std::string_view home,
                                 std::string_view xdgDataHome) {
  const std::string directory = WithTrailingSeparator(programDirectory);
  const bool system = directory.rfind("/usr/", 0) == 0 || directory.rfind("/bin/", 0) == 0 ||
                      directory.rfind("/sbin/", 0) == 0;
  if (!system) return {};
  // An XDG_DATA_HOME that is not absolute is to be ignored.
  if (!xdgDataHome.empty() && xdgDataHome.front() == '/') {
    return WithTrailingSeparator(std::string(xdgDataHome) + "/ardel");
  }
  if (home.empty()) return {};
  return WithTrailingSeparator(std::string(home) + "/.local/share/ardel");
}

}  // namespace ardel
