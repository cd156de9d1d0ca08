// The tab "Setup" with a real program directory: the capture fields at the window's
// usual width, and the capture switch written to the configuration file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <filesystem>

#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/elided_label.h"
#include "ui/form1.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

void ShowSetup(TForm1& form, int width, int height) {
  form.show();
  QApplication::processEvents();
  // The first show places the window at its own size.
  form.resize(width, height);
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  pages->setCurrentWidget(form.findChild<QWidget*>(QStringLiteral("TabSheet6")));
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

TEST(SetupPage, LongCapturePathsAreCutInTheMiddleWithTheWholeInTheToolTip) {
  testing::TProgramDirectory files;
  const std::string directory =
      files.Path() + "a-program-directory-with-a-rather-long-name/below-another-folder-of-some-length/" +
      "and-a-third-one-that-says-which-of-the-test-benches-in-the-workshop-it-belongs-to/and-a-fourth-for-the-" +
      "year-and-the-customer-and-the-order-number-of-the-installation/and-a-third/";
  std::filesystem::create_directories(directory);
  TRecordingErrorDialog errors;
  TFormOptions options = files.Options({{"COM1", files.File("no-such-device")}});
  options.programDirectory = directory;
  options.configFileName = directory + "ardel.INI";
  TForm1 form(options);
  form.SetErrorDialog(&errors);
  ShowSetup(form, 1024, 700);

  struct TCase {
    const char* name;
    std::string whole;
    bool cut;
  };
  auto* fileField = form.findChild<TElidedLineEdit*>(QStringLiteral("EditLogFile"));
  ASSERT_NE(fileField, nullptr);
  const TCase cases[] = {
      {"EditLogFolder", directory + "log/", true},
      {"EditLogFile", fileField->FullText().toStdString(), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto* field = form.findChild<TElidedLineEdit*>(QString::fromLatin1(c.name));
    ASSERT_NE(field, nullptr);
    ASSERT_FALSE(c.whole.empty());
    EXPECT_EQ(field->toolTip().toStdString(), c.whole);
    EXPECT_EQ(field->FullText().toStdString(), c.whole);
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), field->width());
    if (c.cut) {
      // Both ends stay: the start says which disk, the end which folder.
      EXPECT_TRUE(field->text().contains(QChar(0x2026))) << field->text().toStdString();
      EXPECT_TRUE(field->text().startsWith(QString::fromStdString(directory.substr(0, 5)))) << field->text().toStdString();
      EXPECT_TRUE(field->text().endsWith(QStringLiteral("third/log/"))) << field->text().toStdString();
    } else {
      EXPECT_EQ(field->text().toStdString(), c.whole);
    }
  }
  if (const char* grabDir = std::getenv("ARDEL_GRAB_DIR")) {
    ShowSetup(form, 1024, 700);
    form.grab().save(QString::fromLatin1(grabDir) + "/setup_1024x700.png");
  }
}

class CaptureSwitchTest : public ::testing::Test {
 protected:
  std::unique_ptr<TForm1> Open() {
    auto form = std::make_unique<TForm1>(files_.Options({{"COM1", files_.File("no-such-device")}}));
    form->SetErrorDialog(&errors_);
    ShowSetup(*form, 1024, 700);
    return form;
  }
  static QCheckBox* Box(TForm1& form) { return form.findChild<QCheckBox*>(QStringLiteral("CheckBoxCapture")); }
  static QLineEdit* Folder(TForm1& form) { return form.findChild<QLineEdit*>(QStringLiteral("EditCaptureFolder")); }

  testing::TProgramDirectory files_;
  TRecordingErrorDialog errors_;
};

TEST_F(CaptureSwitchTest, ChoicesGoToTheSectionLogAndComeBackInANewWindow) {
  files_.WriteDataFiles();
  const std::string before = "; the operator's note\n[Log]\nMaxFileMB=7\n\n[Other]\nKey=value\n";
  WriteFileAtomically(files_.ConfigFile(), before);
  {
    auto form = Open();
    ASSERT_TRUE(Box(*form) && Folder(*form));
    const qsizetype errors = errors_.shown.size();  // the port's, at the start
    EXPECT_TRUE(Box(*form)->isChecked());
    EXPECT_EQ(Folder(*form)->text(), "");
    Box(*form)->click();
    EXPECT_FALSE(Box(*form)->isChecked());
    Folder(*form)->setFocus();
    QTest::keyClicks(Folder(*form), QStringLiteral("captures"));
    // Typing alone writes nothing.
    EXPECT_EQ(ReadWholeFile(files_.ConfigFile()).find("Folder="), std::string::npos);
    QTest::keyClick(Folder(*form), Qt::Key_Return);
    EXPECT_EQ(errors_.shown.size(), errors) << errors_.shown.join(" | ").toStdString();
  }
  const std::string after = ReadWholeFile(files_.ConfigFile());
  for (const char* kept : {"; the operator's note\n", "MaxFileMB=7\n", "[Other]\nKey=value\n", "Capture=0\n",
                           "Folder=captures\n"}) {
    EXPECT_NE(after.find(kept), std::string::npos) << kept << " in\n" << after;
  }
  EXPECT_LT(after.find("Capture=0"), after.find("[Other]"));

  auto form = Open();
  EXPECT_FALSE(Box(*form)->isChecked());
  EXPECT_EQ(Folder(*form)->text(), "captures");
}

TEST_F(CaptureSwitchTest, AFailedWriteIsShownAndTheControlsGoBack) {
  files_.WriteDataFiles();
  WriteFileAtomically(files_.ConfigFile(), "[Log]\nFolder=stored\n");
  auto form = Open();
  ASSERT_TRUE(Box(*form) && Folder(*form));
  ASSERT_EQ(Folder(*form)->text(), "stored");
  const qsizetype errors = errors_.shown.size();
  // A folder where the file was: it can be neither read nor written.
  std::filesystem::remove(files_.ConfigFile());
  std::filesystem::create_directory(files_.ConfigFile());

  Box(*form)->click();
  EXPECT_EQ(errors_.shown.size(), errors + 1);
  EXPECT_TRUE(Box(*form)->isChecked());

  Folder(*form)->setFocus();
  Folder(*form)->selectAll();
  QTest::keyClicks(Folder(*form), QStringLiteral("elsewhere"));
  QTest::keyClick(Folder(*form), Qt::Key_Return);
  EXPECT_EQ(errors_.shown.size(), errors + 2);
  EXPECT_EQ(Folder(*form)->text(), "stored");
}

}  // namespace
}  // namespace ardel::ui
