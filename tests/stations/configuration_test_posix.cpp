#include "stations/configuration.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/program_files.h"
#include "util/text_file.h"

namespace ardel {
namespace {

TEST(Configuration, StoredPortNumberAndTheFieldThatHoldsIt) {
  struct TCase {
    const char* file;
    int read;
    int held;
  };
  const TCase cases[] = {
      {"", 1, 1},
      {"[Link]\nComport=3\n", 3, 3},
      {"[link]\ncomport = 9\n", 9, 4},
      {"[Link]\nComport=abc\n", 1, 1},
      {"[Link]\nComport=0x2\n", 2, 2},
      {"[Link]\nComport=0X04\n", 4, 4},
      {"[Link]\nComport=0x\n", 1, 1},
      {"[Link]\nComport=-5\n", -5, 1},
      {"[Link]\nComport=\n", 1, 1},
      {"[Ports]\nComport=3\n", 1, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    const int read = ReadComport(TIniFile(c.file));
    EXPECT_EQ(read, c.read);
    EXPECT_EQ(HoldComport(read), c.held);
  }
  struct TText {
    const char* text;
    int value;
  };
  for (const TText& t : {TText{"2", 2}, TText{" 3 ", 3}, TText{"7", 7}, TText{"", 1}, TText{"x", 1},
                         TText{"2x", 1}, TText{"99999999999", 1}}) {
    EXPECT_EQ(ComportFromText(t.text), t.value) << t.text;
  }
  EXPECT_EQ(ComportName(4), "COM4");
  EXPECT_THROW(WriteComport("", 1), EFileError);
}

TEST(ProgramFiles, BesideTheProgramOrInTheDirectoryGiven) {
  struct TCase {
    const char* program;
    const char* directory;
    const char* programDirectory;
    const char* configFile;
  };
  const TCase cases[] = {
      {"/opt/ardel/ardel", "", "/opt/ardel/", "/opt/ardel/ardel.INI"},
      {"/opt/ardel/ardel", "/home/op/lab/", "/home/op/lab/", "/home/op/lab/ardel.INI"},
      {"/usr/bin/ardel.bin", "/srv/a/", "/srv/a/", "/srv/a/ardel.INI"},
      {"", "/srv/a/", "/srv/a/", "/srv/a/ardel.INI"},
      {"", "", "", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.directory);
    const TProgramFiles files = ProgramFilesFor(c.program, c.directory);
    EXPECT_EQ(files.programDirectory, c.programDirectory);
    EXPECT_EQ(files.configFileName, c.configFile);
  }
}

TEST(ProgramFiles, CommandLine) {
  struct TCase {
    std::vector<std::string> arguments;
    TCommandAction action;
    const char* directory;
  };
  const TCase cases[] = {
      {{}, caRun, ""},
      {{"--dir", "/tmp/x"}, caRun, "/tmp/x"},
      {{"--dir=rel/dir"}, caRun, "rel/dir"},
      {{"--help"}, caHelp, ""},
      {{"-h"}, caHelp, ""},
      {{"--dir", "/tmp/x", "--version"}, caVersion, ""},
      {{"--bogus", "--help"}, caError, ""},
      {{"--dir"}, caError, ""},
      {{"--dir="}, caError, ""},
      {{"--dir", "a", "--dir", "b"}, caError, ""},
      {{"file.txt"}, caError, ""},
      {{"--view", "a.log"}, caView, ""},
      {{"--view=a.log", "--dir", "d"}, caView, "d"},
      {{"--view"}, caError, ""},
      {{"--view="}, caError, ""},
      {{"--view", "a", "--view", "b"}, caError, ""},
      {{"--view", "a", "--help"}, caHelp, ""},
  };
  for (const TCase& c : cases) {
    std::string joined;
    for (const auto& a : c.arguments) joined += a + " ";
    SCOPED_TRACE(joined);
    const TCommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.directory, c.directory);
    EXPECT_EQ(line.error.empty(), c.action != caError);
    if (c.action == caView) EXPECT_EQ(line.viewFile, "a.log");
  }

  struct TDir {
    const char* argument;
    const char* absolute;
  };
  for (const TDir& d : {TDir{"~/.local/share/ardel", "/home/op/.local/share/ardel/"}, TDir{"~", "/home/op/"},
                        TDir{"/srv/lab//", "/srv/lab/"}, TDir{"lab", "/work/lab/"}, TDir{"/", "/"},
                        TDir{"~other", "/work/~other/"}}) {
    EXPECT_EQ(DirectoryFromArgument(d.argument, "/home/op", "/work"), d.absolute) << d.argument;
  }

  // A packaged program never writes beside itself in a system directory.
  struct TData {
    const char* programDirectory;
    const char* dataHome;
    const char* directory;
  };
  for (const TData& d : {TData{"/usr/bin/", "", "/home/op/.local/share/ardel/"},
                         TData{"/usr/local/bin", "/data/op", "/data/op/ardel/"},
                         TData{"/usr/bin/", "relative", "/home/op/.local/share/ardel/"},
                         TData{"/opt/ardel/", "", ""}, TData{"/home/op/ardel/build/", "", ""},
                         TData{"/usr-tools/", "", ""}}) {
    EXPECT_EQ(UserDataDirectoryFor(d.programDirectory, "/home/op", d.dataHome), d.directory) << d.programDirectory;
  }
}

TEST(ProgramFiles, MakeDirectories) {
  char top[] = "/tmp/ardel-dirs-XXXXXX";
  ASSERT_NE(::mkdtemp(top), nullptr);
  const std::string deep = std::string(top) + "/a/b/c/";
  MakeDirectories(deep);
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  MakeDirectories(deep);  // already there
  const std::string file = std::string(top) + "/a/file";
  WriteFileAtomically(file, "x");
  EXPECT_THROW(MakeDirectories(file + "/"), EFileError);
  EXPECT_THROW(MakeDirectories(file + "/below/"), EFileError);
  std::filesystem::remove_all(top);
}

}  // namespace
}  // namespace ardel
