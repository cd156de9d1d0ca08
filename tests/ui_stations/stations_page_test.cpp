#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <cstdlib>
#include <filesystem>

#include "stations/station_file.h"
#include "support/temp_dir.h"
#include "support/ui_dialogs.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

class StationsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir("ardel-ui-stations").generic_string() + "/";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<TForm1> MakeForm(std::string programDirectory) {
    auto form = std::make_unique<TForm1>();
    form->App().SetProgramDirectory(std::move(programDirectory));
    form->SetErrorDialog(&errors_);
    form->show();
    tabs_ = form->findChild<QTabBar*>("TabControl1");
    heading_ = form->findChild<QLabel*>("Label2");
    sbi_ = form->findChild<QLineEdit*>("Edit3");
    infi_ = form->findChild<QListView*>("ListBox1");
    memo_ = form->findChild<QPlainTextEdit*>("Memo1");
    grid_ = form->findChild<QTableView*>("StringGrid1");
    return form;
  }

  QStringList InfiLines() const {
    QStringList lines;
    for (int r = 0; r < infi_->model()->rowCount(); ++r) lines << infi_->model()->index(r, 0).data().toString();
    return lines;
  }

  bool SbiRed() const { return sbi_->palette().color(QPalette::Base) == QColor(255, 0, 0); }

  std::string dir_;
  TRecordingErrorDialog errors_;
  QTabBar* tabs_ = nullptr;
  QLabel* heading_ = nullptr;
  QLineEdit* sbi_ = nullptr;
  QListView* infi_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QTableView* grid_ = nullptr;
};

TEST_F(StationsPageTest, ControlsAtStart) {
  auto form = MakeForm("");
  ASSERT_TRUE(tabs_ && heading_ && sbi_ && infi_ && memo_ && grid_);
  EXPECT_EQ(tabs_->count(), 16);
  EXPECT_EQ(tabs_->tabText(10), "A");
  EXPECT_EQ(tabs_->shape(), QTabBar::RoundedSouth);
  EXPECT_EQ(heading_->text(), "Station 0");
  EXPECT_EQ(sbi_->text(), "FFFFFF80");
  EXPECT_FALSE(SbiRed());
  EXPECT_EQ(infi_->model()->rowCount(), 0);
  EXPECT_EQ(infi_->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(memo_->height(), 117);
  for (const char* label : {"SBI (Station Base ID):", "INFI (Input Filter):"}) {
    bool found = false;
    for (auto* l : form->findChildren<QLabel*>()) {
      if (l->text() == label) found = l->buddy() != nullptr;
    }
    EXPECT_TRUE(found) << label;
  }
}

TEST_F(StationsPageTest, TabSwitchStoresTheStationAndSavesTheFile) {
  auto form = MakeForm(dir_);
  form->App().StationTable().WriteHeadings();
  form->App().StationTable().SetCell(StationColumn(5), kSbiRow, "FF800280");
  form->App().StationTab().TabControl1Change();  // what start-up does
  EXPECT_EQ(heading_->text(), "Station: 0");

  tabs_->setCurrentIndex(3);
  EXPECT_EQ(heading_->text(), "Station: 3");
  EXPECT_EQ(InfiLines().size(), 16);
  sbi_->setText("FF800180");
  // Five answers have come in since "read INFI" emptied the list.
  TDisplayedStation& shown = form->App().StationTab().DisplayedStation();
  shown.infi.Clear();
  for (const char* line : {"FF800001", "FF800002", "FF800003", "FF800004", "FF800005"}) shown.infi.Append(line);
  EXPECT_EQ(InfiLines().size(), 5);

  tabs_->setCurrentIndex(5);
  EXPECT_TRUE(errors_.shown.isEmpty()) << errors_.shown.join("\n").toStdString();
  EXPECT_EQ(heading_->text(), "Station: 5");
  EXPECT_EQ(sbi_->text(), "FF800280");
  EXPECT_EQ(InfiLines(), QStringList(16, QString()));

  TStationTable saved;
  LoadStationTable(saved, dir_ + "veskData.txt");
  for (const TStationTable* table : {&form->App().StationTable(), &saved}) {
    EXPECT_EQ(table->Cell(4, kSbiRow), "FF800180");
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(table->Cell(4, InfiRow(i)), i < 5 ? "FF80000" + std::to_string(i + 1) : "n.a.") << i;
    }
  }
  // The grid of the tab "Data" shows the same cells.
  EXPECT_EQ(grid_->model()->index(InfiRow(4) - 1, 4 - 1).data().toString(), "FF800005");

  // Back on station 3 the stored lines show again.
  tabs_->setCurrentIndex(3);
  EXPECT_EQ(sbi_->text(), "FF800180");
  EXPECT_EQ(InfiLines().mid(4, 2), (QStringList{"FF800005", "n.a."}));
}

TEST_F(StationsPageTest, SbiFieldColours) {
  auto form = MakeForm("");
  struct Case {
    const char* text;
    bool red;
  } cases[] = {
      {"FFFFFF80", false}, {"FF800000", false}, {"FFFFFF81", true}, {"FF7FFF80", true},
      {"FFFFF80", true},   {"", true},          {"FFFFFF80 ", true}, {"ff800000", false},
  };
  for (const auto& c : cases) {
    sbi_->setText(c.text);
    EXPECT_EQ(SbiRed(), c.red) << c.text;
    EXPECT_EQ(form->App().StationTab().DisplayedStation().sbi.Text(), c.text);
  }
  // A change through the core colours the field too.
  form->App().StationTab().DisplayedStation().sbi.SetText("12345678");
  EXPECT_EQ(sbi_->text(), "12345678");
  EXPECT_TRUE(SbiRed());
}

TEST_F(StationsPageTest, NeverWritesOverAFileItDidNotLoad) {
  const std::string path = dir_ + "veskData.txt";
  WriteFileAtomically(path, "not loaded");
  auto form = MakeForm(dir_);
  tabs_->setCurrentIndex(1);
  EXPECT_EQ(ReadWholeFile(path), "not loaded");

  WriteFileAtomically(path, "2\r\n17\r\n,0,1\r\nSBI,FF800080\r\n");
  form->App().LoadStationTable(path);
  form->App().StationTab().TabControl1Change();
  EXPECT_EQ(form->App().StationTable().RowCount(), 2);
  tabs_->setCurrentIndex(0);
  EXPECT_EQ(sbi_->text(), "FF800080");
  EXPECT_EQ(SplitLines(ReadWholeFile(path))[0], "2");  // written, with the file's row count
  EXPECT_EQ(grid_->model()->rowCount(), 1);
  EXPECT_TRUE(errors_.shown.isEmpty());

  // Without a program directory nothing is written anywhere.
  auto unset = MakeForm("");
  const auto cwdFile = std::filesystem::current_path() / "veskData.txt";
  const bool before = std::filesystem::exists(cwdFile);
  tabs_->setCurrentIndex(2);
  EXPECT_EQ(std::filesystem::exists(cwdFile), before);
}

TEST_F(StationsPageTest, FailedSaveIsShownAndTheSwitchGoesOn) {
  const std::string path = dir_ + "veskData.txt";
  auto form = MakeForm(dir_);
  form->App().StationTable().WriteHeadings();
  tabs_->setCurrentIndex(1);  // creates the file, which is then the table's own
  ASSERT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);  // the rename over it fails, as root too

  sbi_->setText("FF800100");
  tabs_->setCurrentIndex(2);
  ASSERT_EQ(errors_.shown.size(), 1);
  EXPECT_TRUE(errors_.shown[0].contains("cannot write")) << errors_.shown[0].toStdString();
  EXPECT_EQ(form->App().StationTable().Cell(2, kSbiRow), "FF800100");  // stored before the save
  EXPECT_EQ(heading_->text(), "Station: 2");
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(StationsPageTest, InformationFieldAndClr) {
  auto form = MakeForm("");
  form->App().Information().Append("first");
  form->App().Information().Append("second \xc3\xa4");  // texts for people are UTF-8
  EXPECT_EQ(memo_->toPlainText(), QString::fromUtf8("first\nsecond \xc3\xa4"));
  auto* clr = form->findChild<QPushButton*>("ButtonClrMemo1");
  ASSERT_NE(clr, nullptr);
  clr->click();
  EXPECT_EQ(memo_->toPlainText(), "");
  EXPECT_EQ(form->App().Information().Count(), 0u);
  clr->click();  // on an empty field
  form->App().Information().Append("again");
  EXPECT_EQ(memo_->toPlainText(), "again");
}

TEST_F(StationsPageTest, GridFollowsTheTableBothWays) {
  auto form = MakeForm("");
  TStationTable& table = form->App().StationTable();
  table.WriteHeadings();
  QAbstractItemModel* model = grid_->model();
  EXPECT_EQ(model->rowCount(), 31);
  EXPECT_EQ(model->columnCount(), 16);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "0");
  EXPECT_EQ(model->headerData(15, Qt::Horizontal).toString(), "F");
  EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), "SBI");
  EXPECT_EQ(model->headerData(16, Qt::Vertical).toString(), "INFI[F]");
  EXPECT_EQ(grid_->verticalHeader()->defaultSectionSize(), 16);
  EXPECT_EQ(grid_->selectionMode(), QAbstractItemView::ContiguousSelection);

  const QModelIndex cell = model->index(0, 2);  // station 2's SBI
  EXPECT_TRUE(model->flags(cell) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->setData(cell, QString::fromLatin1("FF800100 \xff")));
  EXPECT_EQ(table.Cell(3, 1), "FF800100 \xff");
  table.SetCell(3, 1, "A,B");
  EXPECT_EQ(cell.data().toString(), "A,B");
  table.SetCell(0, 1, "Base");
  EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), "Base");

  // Station 2 shown from the grid's edit.
  form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(3);
  tabs_->setCurrentIndex(2);
  EXPECT_EQ(sbi_->text(), "A,B");
}

TEST_F(StationsPageTest, Screenshots) {
  const char* out = std::getenv("ARDEL_SCREENSHOT_DIR");
  if (out == nullptr) GTEST_SKIP() << "set ARDEL_SCREENSHOT_DIR to keep pictures of both tabs";
  auto form = MakeForm("");
  form->App().StationTable().WriteHeadings();
  form->App().StationTable().SetCell(1, 1, "FFFFFF80");
  form->App().StationTable().SetCell(1, 2, "FF800000");
  form->App().StationTab().TabControl1Change();
  form->App().Information().Append("Station FFFFFF80 -> new SBI 00000000");
  auto* pages = form->findChild<QTabWidget*>("PageControl1");
  QApplication::processEvents();
  EXPECT_TRUE(form->grab().save(QString::fromLatin1(out) + "/stations.png"));
  pages->setCurrentIndex(3);
  QApplication::processEvents();
  EXPECT_TRUE(form->grab().save(QString::fromLatin1(out) + "/data.png"));
}

}  // namespace
}  // namespace ardel::ui
