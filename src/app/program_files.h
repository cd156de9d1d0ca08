#pragma once
// Where the program keeps its files, and what its command line asks for.

#include <string>
#include <string_view>
#include <vector>

#include "version.h"

namespace ardel {

constexpr const char* kVersionText = "Ardel V" ARDEL_VERSION " (Build 13.10.07)\n";
constexpr const char* kUsageText =
    "Usage: ardel [--dir DIR]\n"
    "       ardel --view FILE\n"
    "Operator and test tool for an RS485 link to up to sixteen bus stations.\n"
    "\n"
    "  --dir DIR   keep the configuration file, the station data file, the rule-set\n"
    "              file and the link log's capture folder \"log\" in DIR instead of\n"
    "              beside the program file; DIR is created when missing, and a leading\n"
    "              ~/ stands for the home directory\n"
    "  --view FILE open the capture FILE read-only in a window of its own, with the\n"
    "              link log's colours, find bar and filter; nothing else starts\n"
    "  --help      show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The configuration file is named after the program file with \".INI\"; its section\n"
    "[Ports] may name the device of a port, as in COM1=/dev/ttyUSB0; its section [Log]\n"
    "sets the capture: Capture=0 turns it off, Folder= names another folder and\n"
    "MaxFileMB= the size after which a new file starts (256).\n";

// The program directory, with its trailing "/", holds the station data file and the
// rule-set file; the configuration file is the program file's name with ".INI" in it.
struct TProgramFiles {
  std::string programDirectory;
  std::string configFileName;
};

// Beside the program file, or in the directory given (absolute, with its trailing "/").
// Without a program file and without a directory both stay empty: nothing is known.
TProgramFiles ProgramFilesFor(const std::string& programFileName, const std::string& directory = {});

enum TCommandAction { caRun, caHelp, caVersion, caView, caError };

struct TCommandLine {
  TCommandAction action = caRun;
  std::string directory;  // --dir as given
  std::string error;
  std::string viewFile;  // --view as given
};

// The arguments after the program name.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The directory with one trailing "/" (the root stays "/"); empty stays empty. Every
// path in the program directory is this followed by the file's name.
std::string WithTrailingSeparator(std::string directory);

// The directory of --dir made absolute, with one trailing "/". A desktop entry passes
// "~/..." unexpanded, so "~" stands for the home directory here.
std::string DirectoryFromArgument(std::string_view argument, std::string_view home,
                                  std::string_view workingDirectory);

// Creates the directory and any missing parents. Throws EFileError.
void MakeDirectories(const std::string& path);

}  // namespace ardel

namespace ardel {

// Where a program without --dir keeps its files when its own directory is a system one
// (/usr/bin, /bin, /usr/local/bin, as a package installs it), where nobody should write:
// the user's data directory, as the desktop entry names it. Empty: beside the program.
std::string UserDataDirectoryFor(const std::string& programDirectory, std::string_view home,
                                 std::string_view xdgDataHome);

}  // namespace ardel
