#include <gtest/gtest.h>

#include <QAbstractButton>
#include <algorithm>
#include <iterator>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>

#include "support/captions.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

struct TControl {
  const char* page;     // the tab page it sits on; null for the window's own parts
  const char* name;     // objectName
  const char* kind;     // the class it is or inherits
  const char* caption;  // text or title; null where the program sets it
  const char* buddy;    // the label that names it; null where none does
};

// Every control each page is to hold: a control lost or left on another page when the
// pages are built apart, a label no longer naming its field, a caption retyped wrong.
constexpr TControl kControls[] = {
    {"TabSheet1", "stationFrame", "QFrame", nullptr, nullptr},
    {"TabSheet1", "Label2", "QLabel", nullptr, nullptr},
    {"TabSheet1", "Label3", "QLabel", "SBI (Station Base ID):", nullptr},
    {"TabSheet1", "Edit3", "QLineEdit", nullptr, "Label3"},
    {"TabSheet1", "Label4", "QLabel", "INFI (Input Filter):", nullptr},
    {"TabSheet1", "ListBox1", "QListView", nullptr, "Label4"},
    {"TabSheet1", "Button11", "QPushButton", "read INFI", nullptr},
    {"TabSheet1", "stationCommandsArea", "QWidget", nullptr, nullptr},
    {"TabSheet1", "GroupBoxLedOut0", "QGroupBox", "LED Out 0", nullptr},
    {"TabSheet1", "ButtonSignalOn", "QPushButton", "Signal_On", nullptr},
    {"TabSheet1", "ButtonSignalFlash", "QPushButton", "Signal_Flash", nullptr},
    {"TabSheet1", "ButtonSignalOff", "QPushButton", "Signal_Off", nullptr},
    {"TabSheet1", "GroupBoxChangeBaseId", "QGroupBox", "change Base ID", nullptr},
    {"TabSheet1", "LabelNewSbi", "QLabel", "to NEW SBI (Station Base ID):", nullptr},
    {"TabSheet1", "Edit4", "QLineEdit", nullptr, "LabelNewSbi"},
    {"TabSheet1", "ButtonChangeNow", "QPushButton", "change now", nullptr},
    {"TabSheet1", "LabelChangeBaseIdNote", "QLabel",
     "don't forget to bring Station in LRN Mode and check Info field at the bottom for feedback", nullptr},
    {"TabSheet1", "GroupBoxSimulateTrt", "QGroupBox", "simulate a TRT-Command of PTM", nullptr},
    {"TabSheet1", "LabelOffset", "QLabel", "Offset (hex 0..7F)", nullptr},
    {"TabSheet1", "Edit2", "QLineEdit", nullptr, "LabelOffset"},
    {"TabSheet1", "ButtonAO", "QPushButton", "AO", nullptr},
    {"TabSheet1", "ButtonAI", "QPushButton", "AI", nullptr},
    {"TabSheet1", "ButtonB0", "QPushButton", "B0", nullptr},
    {"TabSheet1", "ButtonBI", "QPushButton", "BI", nullptr},
    {"TabSheet1", "ButtonCO", "QPushButton", "CO", nullptr},
    {"TabSheet1", "ButtonCI", "QPushButton", "CI", nullptr},
    {"TabSheet1", "ButtonDO", "QPushButton", "DO", nullptr},
    {"TabSheet1", "ButtonDI", "QPushButton", "DI", nullptr},
    {"TabSheet1", "ButtonReleaseAll", "QPushButton", "Release_all", nullptr},
    {"TabSheet1", "TabControl1", "QTabBar", nullptr, nullptr},
    {"TabSheet1", "Memo1", "QPlainTextEdit", nullptr, nullptr},
    {"TabSheet1", "ButtonClrMemo1", "QPushButton", "clr", nullptr},
    {"TabSheet1", "Button27", "QPushButton", nullptr, nullptr},

    {"TabSheet2", "Splitter1", "QSplitter", nullptr, nullptr},
    {"TabSheet2", "Label19", "QLabel", "Ruleset:", nullptr},
    {"TabSheet2", "Memo2", "QPlainTextEdit", nullptr, "Label19"},
    {"TabSheet2", "CheckBox5", "QCheckBox", "process Ruleset", nullptr},
    {"TabSheet2", "Button9", "QPushButton", "save Ruleset", nullptr},
    {"TabSheet2", "Label24", "QLabel", nullptr, nullptr},
    {"TabSheet2", "Label20", "QLabel", "Message Field:", nullptr},
    {"TabSheet2", "Memo3", "QPlainTextEdit", nullptr, "Label20"},
    {"TabSheet2", "Button10", "QPushButton", "clr", nullptr},

    {"TabSheet3", "CheckBox1", "QCheckBox", "raw reception", nullptr},
    {"TabSheet3", "CheckBox2", "QCheckBox", "Stop Loging", nullptr},
    {"TabSheet3", "CheckBox4", "QCheckBox", "Debug Info", nullptr},
    {"TabSheet3", "CheckBox6", "QCheckBox", "ms", nullptr},
    {"TabSheet3", "Label23", "QLabel", "raw reception: framing, acknowledgements and rules are paused", nullptr},
    {"TabSheet3", "Button4", "QPushButton", "clear Log", nullptr},
    {"TabSheet3", "ButtonSaveLog", "QPushButton", "save Log as...", nullptr},
    {"TabSheet3", "ButtonOpenCapture", "QPushButton", "open capture...", nullptr},
    {"TabSheet3", "ButtonBusOverview", "QPushButton", "bus overview...", nullptr},
    {"TabSheet3", "RadioGroup1", "QGroupBox", "send ACK", nullptr},
    {"TabSheet3", "RadioButton1", "QRadioButton", "always", nullptr},
    {"TabSheet3", "RadioButton2", "QRadioButton", "randomly (50%)", nullptr},
    {"TabSheet3", "RadioButton3", "QRadioButton", "never upon 1st TG", nullptr},
    {"TabSheet3", "RadioButton4", "QRadioButton", "never", nullptr},
    {"TabSheet3", "Edit1", "QLineEdit", nullptr, nullptr},
    {"TabSheet3", "ComboBox1", "QComboBox", nullptr, nullptr},
    {"TabSheet3", "Button6", "QPushButton", "send", nullptr},
    {"TabSheet3", "Button5", "QPushButton", nullptr, nullptr},
    {"TabSheet3", "Button3", "QPushButton", nullptr, nullptr},
    {"TabSheet3", "Button2", "QPushButton", nullptr, nullptr},
    {"TabSheet3", "Button1", "QPushButton", "<-", nullptr},
    {"TabSheet3", "Button7", "QPushButton", "<-", nullptr},
    {"TabSheet3", "Button8", "QPushButton", "<-", nullptr},
    {"TabSheet3", "Label1", "QLabel", "RS485 Link Log", nullptr},
    {"TabSheet3", "RichEdit1", "QAbstractItemView", nullptr, "Label1"},
    {"TabSheet3", "FindBar", "QWidget", nullptr, nullptr},
    {"TabSheet3", "FindField", "QLineEdit", nullptr, "FindLabel"},

    {"TabSheet4", "StringGrid1", "QTableView", nullptr, nullptr},

    {"TabSheet5", "Label15", "QLabel", "normal commands entered from top", nullptr},
    {"TabSheet5", "ListBox2", "QListView", nullptr, "Label15"},
    {"TabSheet5", "Label17", "QLabel", "answers entered from top", nullptr},
    {"TabSheet5", "ListBox3", "QListView", nullptr, "Label17"},
    {"TabSheet5", "Label16", "QLabel", "normal commands processed from bottom          RepeatCntr: 0", nullptr},
    {"TabSheet5", "CheckBox3", "QCheckBox", "AutoTransmit", nullptr},
    {"TabSheet5", "Button26", "QPushButton", "Single Transmit", nullptr},

    {"TabSheet6", "Label13", "QLabel", "Interval Time (ms)", nullptr},
    {"TabSheet6", "SpinEdit1", "QSpinBox", nullptr, "Label13"},
    {"TabSheet6", "Label14", "QLabel", "ComPort (1..4):", nullptr},
    {"TabSheet6", "SpinEdit2", "QSpinBox", nullptr, "Label14"},
    {"TabSheet6", "Label18", "QLabel",
     "you must close and reopen the application to activate the new comport !!!", nullptr},
    {"TabSheet6", "GroupBox1", "QGroupBox", "Interface", nullptr},
    {"TabSheet6", "Label21", "QLabel", "9600baud   8data   1stp   noparity", nullptr},
    {"TabSheet6", "LabelLogFolder", "QLabel", "Log folder:", nullptr},
    {"TabSheet6", "EditLogFolder", "QLineEdit", nullptr, "LabelLogFolder"},
    {"TabSheet6", "ButtonLogFolder", "QPushButton", "open Log folder", nullptr},
    {"TabSheet6", "LabelLogFile", "QLabel", "Log file:", nullptr},
    {"TabSheet6", "EditLogFile", "QLineEdit", nullptr, "LabelLogFile"},
    {"TabSheet6", "CheckBoxCapture", "QCheckBox", "capture the link log (from the next start)", nullptr},
    {"TabSheet6", "LabelCaptureFolder", "QLabel", "capture folder (from the next start):", nullptr},
    {"TabSheet6", "EditCaptureFolder", "QLineEdit", nullptr, "LabelCaptureFolder"},
    {"TabSheet6", "LabelPorts", "QLabel", "Ports", nullptr},
    {"TabSheet6", "PortsTable", "QTableWidget", nullptr, "LabelPorts"},
    {"TabSheet6", "ComboBoxPort1", "QComboBox", nullptr, nullptr},
    {"TabSheet6", "ComboBoxPort4", "QComboBox", nullptr, nullptr},
    {"TabSheet6", "CheckBoxRs485Port1", "QCheckBox", "RS485", nullptr},
    {"TabSheet6", "CheckBoxRs485Port4", "QCheckBox", "RS485", nullptr},
    {"TabSheet6", "Panel1", "QFrame", nullptr, nullptr},
    {"TabSheet6", "Label22", "QLabel", "Build 13.10.07", nullptr},

    {nullptr, "PageControl1", "QTabWidget", nullptr, nullptr},
    {nullptr, "StatusBar1", "QStatusBar", nullptr, nullptr},
    {nullptr, "StatusBarPort", "QLabel", nullptr, nullptr},
    {nullptr, "StatusBarDevice", "QLabel", nullptr, nullptr},
    {nullptr, "StatusBarState", "QLabel", nullptr, nullptr},
    {nullptr, "StatusBarCounts", "QLabel", nullptr, nullptr},
};

QString Caption(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return testing::ShownCaption(label->text());
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return testing::ShownCaption(button->text());
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  return {};
}

// The tab page a widget sits on, or null when it sits on none.
const QWidget* PageOf(const QWidget* widget, const QTabWidget& pages) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (pages.indexOf(const_cast<QWidget*>(widget)) >= 0) return widget;
  }
  return nullptr;
}

TEST(Controls, EveryPageHoldsItsControlsWithTheirCaptionsAndLabels) {
  TForm1 form;
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  ASSERT_NE(pages, nullptr);
  for (const TControl& control : kControls) {
    SCOPED_TRACE(control.name);
    const QList<QWidget*> found = form.findChildren<QWidget*>(QString::fromLatin1(control.name));
    if (found.size() != 1) {
      ADD_FAILURE() << found.size() << " controls of that name";
      continue;
    }
    const QWidget* widget = found.front();
    EXPECT_TRUE(widget->inherits(control.kind)) << widget->metaObject()->className();
    const QWidget* page = PageOf(widget, *pages);
    EXPECT_EQ(page != nullptr ? page->objectName() : QString(),
              control.page != nullptr ? QString::fromLatin1(control.page) : QString());
    if (control.caption != nullptr) {
      EXPECT_EQ(Caption(widget), QString::fromLatin1(control.caption));
    }
    if (control.buddy != nullptr) {
      const auto* label = form.findChild<QLabel*>(QString::fromLatin1(control.buddy));
      EXPECT_TRUE(label != nullptr && label->buddy() == widget) << "not named by " << control.buddy;
      if (label != nullptr) {
        EXPECT_EQ(PageOf(label, *pages), page);
      }
    }
  }
}

// No label on a page names a field that has gone, nor a field on another page.
TEST(Controls, EveryLabelWithAFieldNamesOneOnItsOwnPage) {
  TForm1 form;
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  ASSERT_NE(pages, nullptr);
  for (const QLabel* label : form.findChildren<QLabel*>()) {
    if (label->buddy() == nullptr) continue;
    SCOPED_TRACE(label->objectName().toStdString());
    EXPECT_EQ(PageOf(label->buddy(), *pages), PageOf(label, *pages));
    const bool listed = std::any_of(std::begin(kControls), std::end(kControls), [&](const TControl& control) {
      return control.buddy != nullptr && label->objectName() == QLatin1String(control.buddy);
    });
    EXPECT_TRUE(listed);
  }
}

}  // namespace
}  // namespace ardel::ui
