#include "ui/page_setup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <string>

#include "app/ardel_app.h"
#include "stations/configuration.h"
#include "util/text_file.h"
#include "ui/elided_label.h"
#include "ui/models.h"
#include "ui/value_views.h"

namespace ardel::ui {

namespace {

// The table "Ports": for COM1..COM4 the device as [Ports] has it, chosen from the serial
// devices present or typed, and the RS485 mode. Each choice goes to the program at once.
class TPortsTableView : public QObject {
 public:
  using TChooseDevice = std::function<void(int number, const std::string& device)>;
  using TChooseRs485 = std::function<void(int number, bool on)>;

  TPortsTableView(TArdelApp& app, QTableWidget* table, TChooseDevice chooseDevice, TChooseRs485 chooseRs485,
                  QObject* parent)
      : QObject(parent), app_(app), choicesSeen_(*this), devicesSeen_(*this) {
    for (int row = 0; row < kComportMax; ++row) {
      const int number = row + kComportMin;
      const QString port = QString::fromLatin1(ComportName(number));
      auto* name = new QTableWidgetItem(port);
      name->setFlags(Qt::ItemIsEnabled);
      table->setItem(row, 0, name);

      auto* combo = new QComboBox(table);
      combo->setObjectName(QStringLiteral("ComboBoxPort%1").arg(number));
      combo->setAccessibleName(port + QStringLiteral(" device"));
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, socket://host:port, rfc2217://host:port"));
      table->setCellWidget(row, 1, combo);
      // A device from the list carries its path; a typed one is the text.
      connect(combo, &QComboBox::activated, this, [this, combo, number](int index) {
        const QVariant path = combo->itemData(index);
        Choose(number, path.isValid() ? path.toString() : combo->currentText());
      });
      connect(combo->lineEdit(), &QLineEdit::returnPressed, this,
              [this, combo, number] { Choose(number, combo->currentText()); });
      combos_[row] = combo;

      auto* rs485 = new QCheckBox(QStringLiteral("RS485"), table);
      rs485->setObjectName(QStringLiteral("CheckBoxRs485Port%1").arg(number));
      rs485->setAccessibleName(port + QStringLiteral(" RS485"));
      table->setCellWidget(row, 2, rs485);
      connect(rs485, &QCheckBox::clicked, this, [this, number](bool on) {
        chooseRs485_(number, on);
        Show();
      });
      checks_[row] = rs485;
    }
    chooseDevice_ = std::move(chooseDevice);
    chooseRs485_ = std::move(chooseRs485);
    app_.PortChoices().AddObserver(&choicesSeen_);
    app_.SerialDevices().AddObserver(&devicesSeen_);
    Show();
  }
  ~TPortsTableView() override {
    app_.PortChoices().RemoveObserver(&choicesSeen_);
    app_.SerialDevices().RemoveObserver(&devicesSeen_);
  }

 private:
  struct TSeen : IValueObserver {
    explicit TSeen(TPortsTableView& view) : view_(view) {}
    void ValueChanged() override { view_.Show(); }
    TPortsTableView& view_;
  };

  void Choose(int number, const QString& device) {
    chooseDevice_(number, device.toStdString());
    // Also after a refusal: the row shows what is in force.
    Show();
  }

  void Show() {
    const TPortChoices& choices = app_.PortChoices().Value();
    const std::vector<TSerialDevice>& devices = app_.SerialDevices().Value();
    for (int row = 0; row < kComportMax; ++row) {
      QComboBox* combo = combos_[row];
      const QSignalBlocker blocker(combo);
      // What is being typed stays while the list changes under it.
      const bool typing = combo->lineEdit()->hasFocus() && combo->lineEdit()->isModified();
      const QString typed = combo->currentText();
      combo->clear();
      for (const TSerialDevice& device : devices) {
        const QString path = QString::fromUtf8(device.path);
        const QString shown =
            device.description.empty() ? path : path + QStringLiteral("   ") + QString::fromUtf8(device.description);
        combo->addItem(shown, path);
      }
      combo->setEditText(typing ? typed : QString::fromUtf8(choices[static_cast<std::size_t>(row)].device));
      const QSignalBlocker checkBlocker(checks_[row]);
      checks_[row]->setChecked(choices[static_cast<std::size_t>(row)].rs485);
    }
  }

  TArdelApp& app_;
  TSeen choicesSeen_;
  TSeen devicesSeen_;
  TChooseDevice chooseDevice_;
  TChooseRs485 chooseRs485_;
  QComboBox* combos_[kComportMax] = {};
  QCheckBox* checks_[kComportMax] = {};
};

// Paths are in the locale's encoding, UTF-8 here.
QString FromPath(const std::string& path) { return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())); }
std::string ToPath(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// The capture's switch and folder as the configuration file has them. A choice is shown
// again after it was made, so a refused one goes back to what is stored.
class TCaptureChoiceView : public QObject, private IValueObserver, private ITextFieldObserver {
 public:
  TCaptureChoiceView(TCaptureChoice& choice, QCheckBox* box, QLineEdit* folder,
                     std::function<void(bool on)> chooseCapture, std::function<void(const std::string&)> chooseFolder,
                     QObject* parent)
      : QObject(parent), choice_(choice), box_(box), folder_(folder) {
    connect(box, &QCheckBox::clicked, this, [this, chooseCapture](bool on) {
      chooseCapture(on);
      ValueChanged();
    });
    connect(folder, &QLineEdit::returnPressed, this, [this, chooseFolder] {
      chooseFolder(ToPath(folder_->text()));
      ShowFolder(true);
    });
    choice_.Capture().AddObserver(this);
    choice_.Folder().AddObserver(this);
    ValueChanged();
    ShowFolder(true);
  }
  ~TCaptureChoiceView() override {
    choice_.Capture().RemoveObserver(this);
    choice_.Folder().RemoveObserver(this);
  }

 private:
  void ValueChanged() override {
    const QSignalBlocker blocker(box_);
    box_->setChecked(choice_.Capture().Value());
  }
  void TextChanged() override { ShowFolder(false); }
  // What is being typed stays while the file changes under it, unless it was just taken.
  void ShowFolder(bool taken) {
    if (!taken && folder_->hasFocus() && folder_->isModified()) return;
    const QString stored = FromPath(choice_.Folder().Text());
    if (folder_->text() != stored) folder_->setText(stored);
    folder_->setModified(false);
  }

  TCaptureChoice& choice_;
  QCheckBox* box_;
  QLineEdit* folder_;
};

}  // namespace

TPageSetup::TPageSetup(TArdelApp& app, IErrorSink& errors, QWidget* parent)
    : TPage(app, errors, QStringLiteral("TabSheet6"), parent) {
  auto* layout = new QGridLayout(this);
  auto* intervalLabel = new QLabel(QStringLiteral("Interval Time (ms)"), this);
  intervalLabel->setObjectName(QStringLiteral("Label13"));
  auto* SpinEdit1 = new QSpinBox(this);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setRange(kTickIntervalMin, kTickIntervalMax);
  SpinEdit1->setSingleStep(25);
  intervalLabel->setBuddy(SpinEdit1);
  new TValueSpinBox(app_.TickInterval(), SpinEdit1, [this](const QString& text) { SpinEdit1Change(text); },
                    Bindings());
  layout->addWidget(intervalLabel, 0, 0);
  layout->addWidget(SpinEdit1, 0, 1);

  // The port for the next start.
  auto* portLabel = new QLabel(QStringLiteral("ComPort (1..4):"), this);
  portLabel->setObjectName(QStringLiteral("Label14"));
  auto* SpinEdit2 = new QSpinBox(this);
  SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
  SpinEdit2->setRange(kComportMin, kComportMax);
  SpinEdit2->setSingleStep(1);
  portLabel->setBuddy(SpinEdit2);
  new TValueSpinBox(app_.PortNumber(), SpinEdit2,
                    [this](const QString& text) { Guarded([&] { SpinEdit2Change(text); }); }, Bindings());
  auto* Label18 = new QLabel(
      QStringLiteral("you must close and reopen the application to activate the new comport !!!"), this);
  Label18->setObjectName(QStringLiteral("Label18"));
  QFont warningFont = Label18->font();
  warningFont.setBold(true);
  Label18->setFont(warningFont);
  QPalette warningPalette = Label18->palette();
  warningPalette.setColor(QPalette::Window, QColor(255, 0, 0));
  warningPalette.setColor(QPalette::WindowText, QColor(0, 0, 0));
  Label18->setPalette(warningPalette);
  Label18->setAutoFillBackground(true);
  Label18->setMargin(2);
  new TValueVisibility(app_.PortWarning(), Label18, Bindings());
  layout->addWidget(portLabel, 1, 0);
  layout->addWidget(SpinEdit2, 1, 1);
  layout->addWidget(Label18, 1, 2, 1, 2, Qt::AlignLeft);

  // What the port uses; a label only.
  auto* interfaceBox = new QGroupBox(QStringLiteral("Interface"), this);
  interfaceBox->setObjectName(QStringLiteral("GroupBox1"));
  auto* interfaceLayout = new QVBoxLayout(interfaceBox);
  auto* lineSettings = new QLabel(QStringLiteral("9600baud   8data   1stp   noparity"), interfaceBox);
  lineSettings->setObjectName(QStringLiteral("Label21"));
  interfaceLayout->addWidget(lineSettings);
  layout->addWidget(interfaceBox, 2, 0, 1, 3);

  BuildLogSetup(layout, 3);
  BuildCaptureChoice(layout, 5);
  BuildPortsTable(layout, 7);

  auto* buildBox = new QFrame(this);
  buildBox->setObjectName(QStringLiteral("Panel1"));
  buildBox->setFrameShape(QFrame::StyledPanel);
  auto* buildLayout = new QHBoxLayout(buildBox);
  auto* build = new QLabel(QStringLiteral("Build 13.10.07"), buildBox);
  build->setObjectName(QStringLiteral("Label22"));
  buildLayout->addWidget(build);
  layout->addWidget(buildBox, 11, 0, 1, 4);

  layout->setColumnStretch(3, 1);
  layout->setRowStretch(10, 1);
  ChainTabOrder();
}

void TPageSetup::BuildPortsTable(QGridLayout* layout, int row) {
  auto* caption = new QLabel(QStringLiteral("Ports"), this);
  caption->setObjectName(QStringLiteral("LabelPorts"));
  auto* table = new QTableWidget(kComportMax, 3, this);
  table->setObjectName(QStringLiteral("PortsTable"));
  table->setAccessibleName(QStringLiteral("Ports"));
  caption->setBuddy(table);
  table->setHorizontalHeaderLabels({QStringLiteral("Port"), QStringLiteral("Device"), QStringLiteral("RS485")});
  table->verticalHeader()->hide();
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  new TPortsTableView(
      app_, table,
      [this](int number, const std::string& device) { Guarded([&] { app_.ChoosePortDevice(number, device); }); },
      [this](int number, bool on) { Guarded([&] { app_.ChoosePortRs485(number, on); }); }, Bindings());
  int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
  for (int r = 0; r < kComportMax; ++r) height += table->rowHeight(r);
  table->setFixedHeight(height);
  layout->addWidget(caption, row, 0, Qt::AlignTop);
  layout->addWidget(table, row, 1, 1, 3);
}

void TPageSetup::BuildLogSetup(QGridLayout* layout, int row) {
  auto* folderLabel = new QLabel(QStringLiteral("Log folder:"), this);
  folderLabel->setObjectName(QStringLiteral("LabelLogFolder"));
  EditLogFolder = new TElidedLineEdit(this);
  EditLogFolder->setObjectName(QStringLiteral("EditLogFolder"));
  folderLabel->setBuddy(EditLogFolder);
  auto* ButtonLogFolder = new QPushButton(QStringLiteral("&open Log folder"), this);
  ButtonLogFolder->setObjectName(QStringLiteral("ButtonLogFolder"));
  connect(ButtonLogFolder, &QPushButton::clicked, this, [this] { Guarded([this] { ButtonLogFolderClick(); }); });
  auto* fileLabel = new QLabel(QStringLiteral("Log file:"), this);
  fileLabel->setObjectName(QStringLiteral("LabelLogFile"));
  EditLogFile = new TElidedLineEdit(this);
  EditLogFile->setObjectName(QStringLiteral("EditLogFile"));
  fileLabel->setBuddy(EditLogFile);
  // The fields take the page's width: a path is long.
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(EditLogFolder, 1);
  folderRow->addWidget(ButtonLogFolder);
  layout->addWidget(folderLabel, row, 0);
  layout->addLayout(folderRow, row, 1, 1, 3);
  layout->addWidget(fileLabel, row + 1, 0);
  layout->addWidget(EditLogFile, row + 1, 1, 1, 3);

  auto* logShowTimer = new QTimer(this);
  connect(logShowTimer, &QTimer::timeout, this, [this] { ShowLogCapture(); });
  logShowTimer->start(1000);
}

void TPageSetup::BuildCaptureChoice(QGridLayout* layout, int row) {
  auto* CheckBoxCapture = new QCheckBox(QStringLiteral("&capture the link log (from the next start)"), this);
  CheckBoxCapture->setObjectName(QStringLiteral("CheckBoxCapture"));
  auto* folderLabel = new QLabel(QStringLiteral("capture &folder (from the next start):"), this);
  folderLabel->setObjectName(QStringLiteral("LabelCaptureFolder"));
  auto* EditCaptureFolder = new QLineEdit(this);
  EditCaptureFolder->setObjectName(QStringLiteral("EditCaptureFolder"));
  EditCaptureFolder->setPlaceholderText(QStringLiteral("log, in the program folder"));
  EditCaptureFolder->setToolTip(QStringLiteral("Enter takes the folder; a relative one is in the program folder"));
  folderLabel->setBuddy(EditCaptureFolder);
  TCaptureChoice& choice = app_.CaptureChoice();
  new TCaptureChoiceView(
      choice, CheckBoxCapture, EditCaptureFolder,
      [this, &choice](bool on) { Guarded([&] { choice.SetCapture(on); }); },
      [this, &choice](const std::string& folder) { Guarded([&] { choice.SetFolder(folder); }); }, Bindings());
  layout->addWidget(CheckBoxCapture, row, 1, 1, 3);
  layout->addWidget(folderLabel, row + 1, 0);
  layout->addWidget(EditCaptureFolder, row + 1, 1, 1, 3);
}

void TPageSetup::ShowLogCapture() {
  const TLogStore& store = app_.LinkLog().Store();
  const QString folder = FromPath(store.Settings().capture ? store.Settings().folder : std::string());
  EditLogFolder->SetFullText(folder);
  const std::string path = store.CaptureFile();
  const QString file = FromPath(path.substr(path.rfind('/') + 1));
  EditLogFile->SetFullText(file);
}

void TPageSetup::ButtonLogFolderClick() {
  const std::string& folder = app_.LinkLog().Store().Settings().folder;
  if (folder.empty()) throw EFileError("no log folder is known");
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(FromPath(folder)))) {
    throw EFileError("cannot open " + folder + " in the file manager");
  }
}

void TPageSetup::SpinEdit1Change(const QString& text) { app_.SpinEdit1Change(ToBytes(text)); }

void TPageSetup::SpinEdit2Change(const QString& text) { app_.SpinEdit2Change(ToBytes(text)); }

}  // namespace ardel::ui
