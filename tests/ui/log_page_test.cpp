#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

#include "support/event_loop.h"
#include "support/program_directory.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"
#include "ui/models.h"
#include "util/text_file.h"

namespace ardel::ui {
namespace {

TEST(LogPage, SetupShowsTheCaptureAndSaveWritesTheViewOrTheSelection) {
  testing::TProgramDirectory files;
  files.WriteDataFiles();
  TRecordingErrorDialog errors;
  TFixedSaveFileDialog save;
  TFormOptions options = files.Options({{"COM1", files.File("no-such-device")}});
  options.saveFileDialog = &save;
  TForm1 form(options);
  form.SetErrorDialog(&errors);
  auto* folder = form.findChild<QLineEdit*>("EditLogFolder");
  auto* file = form.findChild<QLineEdit*>("EditLogFile");
  auto* saveButton = form.findChild<QPushButton*>("ButtonSaveLog");
  auto* clear = form.findChild<QPushButton*>("Button4");
  auto* view = form.findChild<TLinkLogView*>("RichEdit1");
  ASSERT_TRUE(folder && file && saveButton && clear && view && form.findChild<QPushButton*>("ButtonLogFolder"));
  EXPECT_EQ(folder->text().toStdString(), files.Path() + "log/");
  ASSERT_FALSE(file->text().isEmpty());
  const std::string capture = files.Path() + "log/" + file->text().toStdString();
  EXPECT_TRUE(std::filesystem::exists(capture));

  clear->click();
  form.App().LinkLog().AppendLine(lkTx, "first");
  form.App().LinkLog().AppendLine(lkRx, "second");
  form.App().LinkLog().AppendLine(lkRx, "third");
  save.answer = QString::fromStdString(files.File("saved.txt"));
  saveButton->click();
  EXPECT_EQ(ReadWholeFile(files.File("saved.txt")), "first\nsecond\nthird\n");
  view->selectionModel()->select(QItemSelection(view->model()->index(2, 0), view->model()->index(2, 0)),
                                 QItemSelectionModel::Select);
  view->selectionModel()->select(QItemSelection(view->model()->index(0, 0), view->model()->index(0, 0)),
                                 QItemSelectionModel::Select);
  saveButton->click();
  EXPECT_EQ(ReadWholeFile(files.File("saved.txt")), "first\nthird\n");
  EXPECT_EQ(save.asked, 2);
  // Over the window, not over a page that may be hidden.
  EXPECT_EQ(save.askedBy, &form);

  // The poll timer writes within a second.
  ASSERT_TRUE(testing::PumpUntil([&] { return ReadWholeFile(capture).find("\ttx\tfirst\n") != std::string::npos; }, 3000));
  const std::string text = ReadWholeFile(capture);
  EXPECT_LT(text.find("\tinfo\tlog cleared\n"), text.find("\ttx\tfirst\n"));
  EXPECT_NE(text.find("\tinfo\tE dd.nn.yyyy"), std::string::npos);
}

}  // namespace
}  // namespace ardel::ui
