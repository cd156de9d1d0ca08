#include "ui/find_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "ui/models.h"
#include "ui/qt_event_loop.h"

namespace ardel::ui {
namespace {

// Searches that end sooner show no progress bar.
constexpr qint64 kProgressAfterMs = 300;
// More new hits than this at once reset the filter's view instead of inserting rows.
constexpr std::size_t kInsertAtMost = 1000;
// While a search runs, its count and progress are shown this often, not after every
// slice: each showing costs a paint that a waiting telegram would wait for.
constexpr qint64 kShowEveryMs = 50;

}  // namespace

QString TQtOpenFileDialog::GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory) {
  return QFileDialog::getOpenFileName(parent, caption, directory,
                                      QStringLiteral("captures (*.log);;all files (*)"));
}

TLogFilterModel::TLogFilterModel(QAbstractItemModel* source, const TLogSearch& search, QObject* parent)
    : QAbstractListModel(parent), source_(source), search_(search) {}

int TLogFilterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_);
}

std::size_t TLogFilterModel::LineOf(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < shown_ && static_cast<std::size_t>(row) < search_.Hits().size()
             ? search_.Hits()[static_cast<std::size_t>(row)]
             : SIZE_MAX;
}

QVariant TLogFilterModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::size_t line = LineOf(index.row());
  if (line == SIZE_MAX) return {};
  return source_->index(static_cast<int>(line), 0).data(role);
}

void TLogFilterModel::Sync() {
  const std::size_t hits = search_.Hits().size();
  if (hits == shown_) return;
  if (hits < shown_ || hits - shown_ > kInsertAtMost) {
    beginResetModel();
    shown_ = hits;
    endResetModel();
    return;
  }
  beginInsertRows(QModelIndex(), static_cast<int>(shown_), static_cast<int>(hits - 1));
  shown_ = hits;
  endInsertRows();
}

TFindBar::TFindBar(const ILogLineSource& source, QAbstractItemModel* model, TLinkLogView* view, QWidget* host)
    : QWidget(host), source_(source), model_(model), view_(view), search_(source), host_(host) {
  setObjectName(QStringLiteral("FindBar"));
  filter_ = new TLogFilterModel(model, search_, this);
  // A telegram waits for its acknowledgement on the main thread: the search lets it go first.
  search_.SetStepAside([] { return TQtEventLoop::JobsWaiting(); });
  stepTimer_ = new QTimer(this);
  stepTimer_->setInterval(0);
  connect(stepTimer_, &QTimer::timeout, this, &TFindBar::StepSearch);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(QStringLiteral("&find"), this);
  label->setObjectName(QStringLiteral("FindLabel"));
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("FindField"));
  field_->setClearButtonEnabled(true);
  field_->installEventFilter(this);
  label->setBuddy(field_);
  mode_ = new QComboBox(this);
  mode_->setObjectName(QStringLiteral("FindMode"));
  mode_->addItem(QStringLiteral("text"));
  mode_->addItem(QStringLiteral("pattern"));
  mode_->setAccessibleName(QStringLiteral("find by"));
  next_ = new QPushButton(QStringLiteral("next"), this);
  next_->setObjectName(QStringLiteral("FindNext"));
  previous_ = new QPushButton(QStringLiteral("previous"), this);
  previous_->setObjectName(QStringLiteral("FindPrevious"));
  result_ = new QLabel(this);
  result_->setObjectName(QStringLiteral("FindResult"));
  result_->setMinimumWidth(120);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("FindProgress"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(120);
  progress_->setAccessibleName(QStringLiteral("search progress"));
  progress_->hide();
  onlyMatching_ = new QCheckBox(QStringLiteral("only matching lines"), this);
  onlyMatching_->setObjectName(QStringLiteral("FindOnlyMatching"));
  layout->addWidget(label);
  layout->addWidget(field_, 1);
  layout->addWidget(mode_);
  layout->addWidget(next_);
  layout->addWidget(previous_);
  layout->addWidget(result_);
  layout->addWidget(progress_);
  layout->addWidget(onlyMatching_);

  connect(field_, &QLineEdit::textChanged, this, &TFindBar::Restart);
  connect(mode_, &QComboBox::currentIndexChanged, this, &TFindBar::Restart);
  connect(next_, &QPushButton::clicked, this, &TFindBar::FindNext);
  connect(previous_, &QPushButton::clicked, this, &TFindBar::FindPrevious);
  connect(onlyMatching_, &QCheckBox::toggled, this, &TFindBar::SetOnlyMatching);
  // New lines are searched as they come; a cleared log is searched again.
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
    if (search_.Active() && !stepTimer_->isActive()) stepTimer_->start();
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (!search_.Active()) return;
    search_.Restart();
    filter_->Sync();
    stepTimer_->start();
  });

  // Window-wide, so they work from the tab bar too, but only while host is shown: on
  // another tab Ctrl+F is not this bar's.
  auto shortcut = [this, host](const QKeySequence& keys) {
    auto* s = new QShortcut(keys, host);
    s->setContext(Qt::WindowShortcut);
    shortcuts_.push_back(s);
    return s;
  };
  connect(shortcut(QKeySequence::Find), &QShortcut::activated, this, &TFindBar::Open);
  connect(shortcut(QKeySequence(Qt::Key_F3)), &QShortcut::activated, this, &TFindBar::FindNext);
  connect(shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3)), &QShortcut::activated, this, &TFindBar::FindPrevious);
  // Escape closes the bar from any of its controls, not just the field.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, &TFindBar::Close);
  host->installEventFilter(this);
  EnableShortcuts();
  ShowResult();
  hide();
}

void TFindBar::EnableShortcuts() {
  for (QShortcut* s : shortcuts_) s->setEnabled(host_->isVisible());
}

void TFindBar::Open() {
  show();
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
}

void TFindBar::Close() {
  hide();
  view_->setFocus(Qt::OtherFocusReason);
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == host_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) EnableShortcuts();
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Go(key->modifiers() & Qt::ShiftModifier ? -1 : 1);
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFindBar::Restart() {
  // Typing on cancels what ran and starts over.
  pending_ = 0;
  if (field_->text().isEmpty()) {
    search_.Cancel();
    stepTimer_->stop();
  } else {
    const QByteArray query = field_->text().toUtf8();
    search_.Start(std::string_view(query.constData(), static_cast<std::size_t>(query.size())),
                  mode_->currentIndex() == 1 ? smPattern : smText);
    started_.start();
    stepTimer_->start();
  }
  filter_->Sync();
  ShowResult();
}

void TFindBar::StepSearch() {
  const bool done = search_.Step();
  if (!done && shown_.isValid() && shown_.elapsed() < kShowEveryMs) return;
  filter_->Sync();
  if (done) {
    stepTimer_->stop();
    if (pending_ != 0) {
      const int direction = pending_;
      pending_ = 0;
      Go(direction);
    }
  }
  ShowResult();
}

void TFindBar::FindPattern(const QString& pattern) {
  Open();
  // Each change starts the search over; the same query again keeps the one running.
  mode_->setCurrentIndex(1);
  field_->setText(pattern);
  FindNext();
}

void TFindBar::FindNext() { Go(1); }

void TFindBar::FindPrevious() { Go(-1); }

std::optional<std::size_t> TFindBar::CurrentLine() const {
  const QModelIndex current = view_->currentIndex();
  if (!current.isValid()) return std::nullopt;
  if (view_->model() == filter_) {
    const std::size_t line = filter_->LineOf(current.row());
    return line == SIZE_MAX ? std::nullopt : std::optional<std::size_t>(line);
  }
  return static_cast<std::size_t>(current.row());
}

void TFindBar::Go(int direction) {
  if (!search_.Active()) return;
  const std::optional<std::size_t> current = CurrentLine();
  const std::optional<std::size_t> hit = direction > 0 ? search_.Next(current) : search_.Previous(current);
  // Wrapping waits for the lines not searched yet.
  const bool wraps = hit && current && (direction > 0 ? *hit <= *current : *hit >= *current);
  if (!search_.Done() && (!hit || wraps)) {
    pending_ = direction;
    return;
  }
  if (hit) Select(*hit);
  ShowResult();
}

void TFindBar::Select(std::size_t line) {
  int row = static_cast<int>(line);
  if (view_->model() == filter_) row = static_cast<int>(search_.Ordinal(line)) - 1;
  const QModelIndex index = view_->model()->index(row, 0);
  if (!index.isValid()) return;
  view_->setCurrentIndex(index);
  view_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TFindBar::SetOnlyMatching(bool on) {
  if (onlyMatching_->isChecked() != on) onlyMatching_->setChecked(on);
  const bool showing = view_->model() == filter_;
  if (on == showing) return;
  // The line in view, so that the other view opens at the same place.
  std::optional<std::size_t> line = CurrentLine();
  if (!line) {
    const QModelIndex top = view_->indexAt(QPoint(0, 0));
    if (top.isValid()) line = showing ? filter_->LineOf(top.row()) : static_cast<std::size_t>(top.row());
  }
  view_->setModel(on ? static_cast<QAbstractItemModel*>(filter_) : model_);
  if (!line) return;
  if (on) {
    // The first hit from that line on, else the last.
    const auto& hits = search_.Hits();
    const auto it = std::lower_bound(hits.begin(), hits.end(), *line);
    if (hits.empty()) return;
    Select(it != hits.end() ? *it : hits.back());
  } else {
    Select(*line);
  }
}

void TFindBar::ShowResult() {
  const bool running = search_.Active() && !search_.Done();
  progress_->setVisible(running && started_.isValid() && started_.elapsed() >= kProgressAfterMs);
  progress_->setValue(static_cast<int>(search_.Progress() * 1000));
  const std::size_t count = search_.Hits().size();
  QString text;
  if (!search_.Active()) {
    text.clear();
  } else if (count == 0) {
    text = running ? QStringLiteral("searching...") : QStringLiteral("no match");
  } else {
    const std::optional<std::size_t> current = CurrentLine();
    const std::size_t ordinal = current ? search_.Ordinal(*current) : 0;
    if (ordinal > 0) {
      text = running ? QStringLiteral("%1 of %2 so far").arg(ordinal).arg(count)
                     : QStringLiteral("%1 of %2").arg(ordinal).arg(count);
    } else {
      text = running ? QStringLiteral("%1 found so far").arg(count) : QStringLiteral("%1 found").arg(count);
    }
  }
  result_->setText(text);
  shown_.start();
}

}  // namespace ardel::ui
