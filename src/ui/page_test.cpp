#include "ui/page_test.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/ardel_app.h"
#include "log/log_save.h"
#include "ui/bus_overview_window.h"
#include "ui/capture_window.h"
#include "ui/fonts.h"
#include "ui/models.h"
#include "ui/station_models.h"
#include "ui/value_views.h"

namespace ardel::ui {

namespace {

// Paths are in the locale's encoding, UTF-8 here.
QString FromPath(const std::string& path) { return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())); }

}  // namespace

TPageTest::TPageTest(TArdelApp& app, IErrorSink& errors, ISaveFileDialog* saveFileDialog,
                     IOpenFileDialog* openFileDialog, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet3"), parent),
      saveFileDialog_(saveFileDialog != nullptr ? saveFileDialog : &defaultSaveFileDialog_),
      openFileDialog_(openFileDialog != nullptr ? openFileDialog : &defaultOpenFileDialog_) {
  auto* layout = new QVBoxLayout(this);

  // Header: the log switches and "clear Log".
  auto* header = new QHBoxLayout;
  auto makeSwitch = [&](const char* name, const char* caption, bool& flag) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), this);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(flag);
    connect(box, &QCheckBox::toggled, this, [&flag](bool on) { flag = on; });
    header->addWidget(box);
    return box;
  };
  TLinkLogSwitches& switches = app_.LinkLog().Switches();
  QCheckBox* CheckBox1 = makeSwitch("CheckBox1", "raw reception", switches.rawReception);
  makeSwitch("CheckBox2", "Stop Loging", switches.stopLogging);
  makeSwitch("CheckBox4", "Debug Info", switches.debugInfo);
  QCheckBox* CheckBox6 = makeSwitch("CheckBox6", "ms", switches.milliseconds);
  CheckBox6->setAccessibleName(QStringLiteral("milliseconds in the time stamps"));
  CheckBox6->setToolTip(QStringLiteral("Time stamps of new lines carry milliseconds"));
  // Raw reception bypasses the framer, so everything that works on whole telegrams stops.
  auto* Label23 = new QLabel(QStringLiteral("raw reception: framing, acknowledgements and rules are paused"), this);
  Label23->setObjectName(QStringLiteral("Label23"));
  Label23->setStyleSheet(QStringLiteral("QLabel { color: rgb(255, 0, 0); }"));
  // Wrapped rather than widening the window.
  Label23->setWordWrap(true);
  Label23->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  Label23->setVisible(CheckBox1->isChecked());
  connect(CheckBox1, &QCheckBox::toggled, Label23, &QWidget::setVisible);
  header->addWidget(Label23, 1);
  auto* Button4 = new QPushButton(QStringLiteral("clear &Log"), this);
  Button4->setObjectName(QStringLiteral("Button4"));
  connect(Button4, &QPushButton::clicked, this, [this] { Guarded([this] { Button4Click(); }); });
  header->addWidget(Button4);
  auto* ButtonSaveLog = new QPushButton(QStringLiteral("save Log &as..."), this);
  ButtonSaveLog->setObjectName(QStringLiteral("ButtonSaveLog"));
  connect(ButtonSaveLog, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonSaveLogClick(); }); });
  header->addWidget(ButtonSaveLog);
  auto* ButtonOpenCapture = new QPushButton(QStringLiteral("&open capture..."), this);
  ButtonOpenCapture->setObjectName(QStringLiteral("ButtonOpenCapture"));
  connect(ButtonOpenCapture, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonOpenCaptureClick(); }); });
  header->addWidget(ButtonOpenCapture);
  layout->addLayout(header);

  // The ACK policy, left to right.
  auto* ackGroup = new QGroupBox(QStringLiteral("send ACK"), this);
  ackGroup->setObjectName(QStringLiteral("RadioGroup1"));
  auto* ackLayout = new QHBoxLayout(ackGroup);
  auto* ackPolicyButtons = new QButtonGroup(this);
  const char* policyCaptions[] = {"always", "randomly (50%)", "never upon 1st TG", "never"};
  const TAckPolicy policies[] = {apAlways, apRandomly, apNeverUponFirst, apNever};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(policyCaptions[i]), ackGroup);
    radio->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
    radio->setChecked(policies[i] == app_.TransmitPath().Policy());
    ackPolicyButtons->addButton(radio, policies[i]);
    ackLayout->addWidget(radio);
  }
  ackLayout->addStretch(1);
  connect(ackPolicyButtons, &QButtonGroup::idClicked, this,
          [this](int id) { app_.TransmitPath().SetPolicy(static_cast<TAckPolicy>(id)); });
  layout->addWidget(ackGroup);

  // The date and time field left of the command line; "send" and the presets under it.
  auto* sendGrid = new QGridLayout;
  auto* Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setReadOnly(true);
  new TTextFieldLineEdit(app_.DateTime(), Edit1, Bindings(), ftUtf8);
  Edit1->setAccessibleName(QStringLiteral("Date Time"));
  Edit1->setMinimumWidth(150);
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  // "send" sends what was typed: no completion may append the tail of an earlier entry.
  ComboBox1->setCompleter(nullptr);
  WarnBeyondLatin1(ComboBox1);
  ComboBox1->setFont(CourierNew(9, true));
  ComboBox1->setStyleSheet(QStringLiteral("QComboBox { color: rgb(0, 128, 0); }"));
  ComboBox1->setAccessibleName(QStringLiteral("command line"));
  for (const std::string& entry : app_.ManualSend().List()) ComboBox1->addItem(FromBytes(entry));
  ComboBox1->setCurrentIndex(0);
  new TTextFieldLineEdit(app_.CommandLine(), ComboBox1->lineEdit(), Bindings());
  auto* Button6 = new QPushButton(QStringLiteral("&send"), this);
  Button6->setObjectName(QStringLiteral("Button6"));
  connect(Button6, &QPushButton::clicked, this, [this] { Guarded([this] { Button6Click(); }); });
  // Enter in the command line sends, as the button does.
  connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] { Guarded([this] { Button6Click(); }); });
  sendGrid->addWidget(Edit1, 0, 0);
  sendGrid->addWidget(ComboBox1, 0, 1);
  sendGrid->addWidget(Button6, 0, 2);

  const char* presetNames[] = {"Button5", "Button3", "Button2"};
  const char* setNames[] = {"Button1", "Button7", "Button8"};
  for (int i = 0; i < TManualSend::kPresetCount; ++i) {
    auto* preset = new QPushButton(this);
    preset->setObjectName(QString::fromLatin1(presetNames[i]));
    // The start-up may bring the preset back from the configuration file.
    new TTextFieldButton(app_.ManualSend().PresetField(i), preset, Bindings());
    preset->setFont(CourierNew(8));
    preset->setStyleSheet(QStringLiteral("text-align: left; padding-left: 4px;"));
    connect(preset, &QPushButton::clicked, this, [this, i] { Guarded([this, i] { PresetClick(i); }); });
    auto* set = new QPushButton(QStringLiteral("<-"), this);
    set->setObjectName(QString::fromLatin1(setNames[i]));
    set->setAccessibleName(QStringLiteral("set preset %1 from the command line").arg(i + 1));
    set->setMaximumWidth(32);
    connect(set, &QPushButton::clicked, this, [this, i] { Guarded([this, i] { PresetSetClick(i); }); });
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(preset, 1);
    row->addWidget(set);
    sendGrid->addLayout(row, 1 + i, 1, 1, 2);
  }
  sendGrid->setColumnStretch(1, 1);
  layout->addLayout(sendGrid);

  // The link log fills the rest.
  auto* label = new QLabel(QStringLiteral("RS485 Link Log"), this);
  label->setObjectName(QStringLiteral("Label1"));
  auto* linkLogModel = new TLinkLogModel(app_.LinkLog(), this);
  RichEdit1 = new TLinkLogView(this);
  RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
  RichEdit1->setFont(CourierNewPixels(11, true));
  RichEdit1->setModel(linkLogModel);
  RichEdit1->setToolTip(LinkLogColourKey());
  RichEdit1->setAccessibleDescription(QTextDocumentFragment::fromHtml(LinkLogColourKey()).toPlainText());
  label->setBuddy(RichEdit1);
  // The overview's button sits in the log's title row, where there is room to spare: the
  // rows above are as wide as the window already.
  auto* logTitle = new QHBoxLayout;
  logTitle->addWidget(label);
  logTitle->addStretch(1);
  auto* ButtonBusOverview = new QPushButton(QStringLiteral("&bus overview..."), this);
  ButtonBusOverview->setObjectName(QStringLiteral("ButtonBusOverview"));
  const QKeySequence overviewKeys(Qt::CTRL | Qt::Key_B);
  ButtonBusOverview->setToolTip(
      QStringLiteral("Each ID's traffic, answers and response times, and the line's load (%1)")
          .arg(overviewKeys.toString(QKeySequence::NativeText)));
  connect(ButtonBusOverview, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonBusOverviewClick(); }); });
  // Anywhere in the window, not only on this page: the overview is the whole bus's.
  auto* overviewShortcut = new QShortcut(overviewKeys, parent != nullptr ? parent->window() : this);
  overviewShortcut->setObjectName(QStringLiteral("ShortcutBusOverview"));
  overviewShortcut->setContext(Qt::WindowShortcut);
  connect(overviewShortcut, &QShortcut::activated, this, [this] { Guarded([this] { ButtonBusOverviewClick(); }); });
  logTitle->addWidget(ButtonBusOverview);
  layout->addLayout(logTitle);
  findBar_ = new TFindBar(app_.LinkLog().Store(), linkLogModel, RichEdit1, this);
  layout->addWidget(findBar_);
  layout->addWidget(RichEdit1, 1);
  ChainTabOrder();
}

TPageTest::~TPageTest() { delete overview_.data(); }

void TPageTest::ButtonBusOverviewClick() {
  if (overview_ == nullptr) {
    TOverviewSource source;
    source.overview = &app_.Overview();
    source.stations = [this] { return app_.OverviewStations(); };
    source.findInLog = [this](const QString& pattern) {
      // The log is on this page: the page comes to the front first, so the bar can take
      // the keys.
      for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* pages = qobject_cast<QTabWidget*>(w)) {
          pages->setCurrentWidget(this);
          break;
        }
      }
      window()->raise();
      window()->activateWindow();
      findBar_->FindPattern(pattern);
    };
    source.folder = FromPath(app_.LinkLog().Store().Settings().folder);
    // Over the main window, which it neither blocks nor outlives.
    overview_ = new TBusOverviewWindow(std::move(source), Errors(), saveFileDialog_, window());
  }
  overview_->Bring();
}

void TPageTest::ButtonOpenCaptureClick() {
  const QString folder = QString::fromStdString(app_.LinkLog().Store().Settings().folder);
  const QString path = openFileDialog_->GetOpenFileName(window(), QStringLiteral("open capture"), folder);
  if (path.isEmpty()) return;
  QString error;
  TCaptureWindow* capture = TCaptureWindow::Open(path, error, window());
  if (capture == nullptr) {
    Errors().ShowError(error.toStdString(), teUtf8);
    return;
  }
  // The capture's IDs go to the stations as this program's table places them.
  capture->SetStations([page = QPointer<TPageTest>(this)] {
    return page != nullptr ? page->app_.OverviewStations() : TStationBases{};
  });
  capture->show();
}

void TPageTest::ButtonSaveLogClick() {
  const QString path = saveFileDialog_->GetSaveFileName(window(), QStringLiteral("save Log as"),
                                                        FromPath(app_.LinkLog().Store().Settings().folder));
  if (path.isEmpty()) return;
  std::vector<std::pair<std::size_t, std::size_t>> ranges;
  for (const QItemSelectionRange& range : RichEdit1->selectionModel()->selection()) {
    ranges.emplace_back(static_cast<std::size_t>(range.top()), static_cast<std::size_t>(range.bottom()));
  }
  // Selected lines in the order of the log, each once.
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<std::size_t, std::size_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().second + 1) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  const QByteArray name = path.toUtf8();
  SaveLogText(app_.LinkLog().Store(), merged, std::string(name.constData(), static_cast<std::size_t>(name.size())));
}

void TPageTest::Button4Click() { app_.LinkLog().Clear(); }

void TPageTest::Button6Click() {
  const QString typed = FromBytes(app_.CommandLine().Text());
  if (app_.SendCommandLine()) ComboBox1->addItem(typed);
  // Adding an item must not replace what the operator typed.
  ComboBox1->setEditText(typed);
}

void TPageTest::PresetClick(int preset) { app_.Queues().EnqueueCommand(app_.ManualSend().Preset(preset)); }

void TPageTest::PresetSetClick(int preset) { app_.SetPreset(preset, app_.CommandLine().Text()); }

QString LinkLogColourKey() {
  struct TKey {
    TColor color;
    const char* meaning;
  };
  static constexpr TKey kKeys[] = {
      {colors::kSent, "sent telegram"},
      {colors::kReceived, "received telegram"},
      {colors::kError, "error, time-out (E), port lost"},
      {colors::kPurple, "repetition (W, repeat it)"},
      {colors::kLime, "raw received byte; ok line (Debug Info)"},
      {colors::kGrey, "rule trace (Debug Info)"},
      {colors::kBlack, "column guide, port back"},
  };
  QString key = QStringLiteral("<b>Colours of the link log</b>");
  for (const TKey& k : kKeys) {
    key += QStringLiteral("<br><span style=\"color: rgb(%1, %2, %3)\">&#9632; %4</span>")
               .arg(k.color.r)
               .arg(k.color.g)
               .arg(k.color.b)
               .arg(QString::fromLatin1(k.meaning));
  }
  return key;
}

}  // namespace ardel::ui
