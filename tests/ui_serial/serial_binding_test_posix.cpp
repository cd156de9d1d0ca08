// The window on ports that are pseudo-terminals.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "link/telegram.h"
#include "serial/pty_fixture.h"
#include "support/event_loop.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

using namespace std::chrono_literals;
using ardel::testing::TProgramDirectory;
using ardel::testing::PumpFor;
using ardel::testing::PumpUntil;
using ardel::testing::TPty;

std::string Wire(const TTelegramBody& body) {
  const TWireTelegram wire = EncodeTelegram(body);
  return std::string(wire.begin(), wire.end());
}

// Lines of the link log in a colour.
std::vector<std::string> LinesIn(TLinkLog& log, TColor color) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < log.Count(); ++i) {
    if (log.Line(i).color == color) lines.push_back(log.Line(i).text);
  }
  return lines;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const TTelegramBody kAnswer = {0x8B, 0xB4, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x80, 0x05};

TEST(TForm1Serial, TelegramsFromTheMappedPortShowInTheLinkLog) {
  TPty pty;
  TProgramDirectory files;
  files.WriteDataFiles();
  TForm1 form(files.Options({{"COM1", pty.Path()}}));
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  TComPort& port = form.App().ComPort();
  EXPECT_EQ(port.Port, "COM1");
  EXPECT_EQ(port.ReceiveMode, rmRAW);
  ASSERT_TRUE(port.IsOpen());
  EXPECT_EQ(port.Device(), pty.Path());

  // Split across writes, as a real line delivers it.
  const std::string wire = Wire(kAnswer);
  pty.Write(wire.substr(0, 5));
  PumpFor(20);
  pty.Write(wire.substr(5));
  const std::string text = FormatTelegramText(kAnswer);
  ASSERT_TRUE(PumpUntil([&] {
    const auto blue = LinesIn(form.App().LinkLog(), colors::kReceived);
    return !blue.empty() && Contains(blue.back(), text);
  }));
  EXPECT_TRUE(dialog.shown.isEmpty());
}

TEST(TForm1Serial, ALostDeviceIsLoggedOnceAndThePortOpensAgainWhenItIsBack) {
  // A stable name that follows the device, as udev's by-id links do.
  char dir[] = "/tmp/ardel-ui-serial-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/adapter";
  auto first = std::make_unique<TPty>();
  ASSERT_EQ(::symlink(first->Path().c_str(), link.c_str()), 0);

  TProgramDirectory files;
  files.WriteDataFiles();
  TFormOptions options = files.Options({{"COM1", link}});
  options.portRetryInterval = 50ms;
  TForm1 form(options);
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  ASSERT_TRUE(form.App().ComPort().IsOpen());

  // Pulled; the name goes first, so that no retry reaches a pseudo-terminal number that
  // another program has been given meanwhile.
  ASSERT_EQ(::unlink(link.c_str()), 0);
  first.reset();
  auto red = [&] { return LinesIn(form.App().LinkLog(), colors::kError); };
  ASSERT_TRUE(PumpUntil([&] { return !red().empty(); }));
  EXPECT_FALSE(form.App().ComPort().IsOpen());
  ASSERT_EQ(red().size(), 1u);
  EXPECT_TRUE(Contains(red()[0], "COM1")) << red()[0];
  EXPECT_TRUE(Contains(red()[0], link)) << red()[0];
  // Failed attempts while it is away add nothing.
  PumpFor(300);
  EXPECT_EQ(red().size(), 1u);
  EXPECT_FALSE(form.App().ComPort().IsOpen());

  // The operator's choice for the next start does not change the port that comes back.
  form.App().ComPort().Port = "COM2";
  TPty second;
  ASSERT_EQ(::symlink(second.Path().c_str(), link.c_str()), 0);
  auto black = [&] { return LinesIn(form.App().LinkLog(), colors::kBlack); };
  const std::size_t blackBefore = black().size();
  ASSERT_TRUE(PumpUntil([&] { return black().size() > blackBefore; }));
  EXPECT_TRUE(Contains(black().back(), "COM1")) << black().back();
  EXPECT_TRUE(Contains(black().back(), "back")) << black().back();
  EXPECT_TRUE(form.App().ComPort().IsOpen());
  EXPECT_EQ(form.App().ComPort().Port, "COM2");
  EXPECT_FALSE(form.App().PortRetryTimer().IsActive());

  second.Write(Wire(kAnswer));
  ASSERT_TRUE(PumpUntil([&] { return !LinesIn(form.App().LinkLog(), colors::kReceived).empty(); }));
  EXPECT_EQ(red().size(), 1u);
  EXPECT_TRUE(dialog.shown.isEmpty());
  ::unlink(link.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace ardel::ui

namespace ardel::ui {
namespace {

// The wire examples byte for byte, through the real port and a pseudo-terminal.
TEST(TForm1Serial, AcknowledgementAndCommandOnTheWire) {
  TPty pty;
  TProgramDirectory files;
  files.WriteDataFiles();
  TForm1 form(files.Options({{"COM1", pty.Path()}}));
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  ASSERT_TRUE(form.App().ComPort().IsOpen());
  form.App().LinkLog().Clear();

  pty.Write(std::string("\xA5\x5A\x8B\x05\x30\x00\x00\x00\x00\x00\x00\x01\x00\xC1", 14));
  std::string seen;
  ASSERT_TRUE(PumpUntil([&] {
    seen += pty.ReadAvailable();
    return seen.size() >= 15;
  }));
  EXPECT_EQ(seen, std::string("\xA5\x5A\xAB\xAC\x30\x00\x00\x00\x00\x00\x00\x01\x00\x88\x11", 15));
  const auto green = LinesIn(form.App().LinkLog(), colors::kSent);
  ASSERT_EQ(green.size(), 1u);
  EXPECT_TRUE(Contains(green[0], "   AB AC 30000000 00000001 00   ")) << green[0];

  form.App().TransmitPath().SendCommandString(TManualSend::kInitialCommand);
  seen.clear();
  ASSERT_TRUE(PumpUntil([&] {
    seen += pty.ReadAvailable();
    return seen.size() >= 15;
  }));
  EXPECT_EQ(seen, std::string("\xA5\x5A\xAB\xB0\x00\x00\x00\x00\xFF\xFF\xFF\x80\x00\xD8\x11", 15));
  EXPECT_TRUE(Contains(LinesIn(form.App().LinkLog(), colors::kSent).back(),
                       "AB B0 00000000 FFFFFF80 00   get SW Version of Station with default ID"));
  EXPECT_TRUE(dialog.shown.empty());
}

}  // namespace
}  // namespace ardel::ui

namespace ardel::ui {
namespace {

// A pseudo-terminal named by its number is not taken again once it is gone: the number
// belongs to whichever program asks next.
TEST(TForm1Serial, ALostPseudoTerminalIsNotOpenedAgainByItsNumber) {
  auto pty = std::make_unique<TPty>();
  TProgramDirectory files;
  files.WriteDataFiles();
  TFormOptions options = files.Options({{"COM1", pty->Path()}});
  options.portRetryInterval = 10ms;
  TForm1 form(options);
  TRecordingErrorDialog dialog;
  form.SetErrorDialog(&dialog);
  ASSERT_TRUE(form.App().ComPort().IsOpen());
  pty.reset();
  ASSERT_TRUE(PumpUntil([&] { return !LinesIn(form.App().LinkLog(), colors::kError).empty(); }));
  EXPECT_TRUE(Contains(LinesIn(form.App().LinkLog(), colors::kError)[0], "not opened again"));
  EXPECT_FALSE(form.App().PortRetryTimer().IsActive());
  PumpFor(50);
  EXPECT_FALSE(form.App().ComPort().IsOpen());
}

}  // namespace
}  // namespace ardel::ui
