#include "ui/models.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>

namespace ardel::ui {

TLinkLogModel::TLinkLogModel(TLinkLog& log, QObject* parent) : QAbstractListModel(parent), log_(log) {
  log_.SetObserver(this);
}

TLinkLogModel::~TLinkLogModel() { log_.SetObserver(nullptr); }

int TLinkLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(log_.Count());
}

QVariant TLinkLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= log_.Count()) return {};
  const TLogLine& line = log_.Line(static_cast<std::size_t>(index.row()));
  switch (role) {
    case Qt::DisplayRole:
      return FromBytes(line.text);
    case Qt::ForegroundRole:
      return QColor(line.color.r, line.color.g, line.color.b);
    default:
      return {};
  }
}

void TLinkLogModel::BeforeAppend(std::size_t index) {
  const int row = static_cast<int>(index);
  beginInsertRows(QModelIndex(), row, row);
}

void TLinkLogModel::AfterAppend(bool scroll) {
  endInsertRows();
  if (scroll) emit ScrollRequested();
}

void TLinkLogModel::BeforeClear() { beginResetModel(); }

void TLinkLogModel::AfterClear() { endResetModel(); }

TLinkLogView::TLinkLogView(QWidget* parent) : QListView(parent) {
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setLayoutMode(QListView::SinglePass);
}

void TLinkLogView::setModel(QAbstractItemModel* model) {
  QListView::setModel(model);
  if (auto* logModel = qobject_cast<TLinkLogModel*>(model)) {
    connect(logModel, &TLinkLogModel::ScrollRequested, this, &TLinkLogView::ScheduleScroll);
  }
}

void TLinkLogView::ScheduleScroll() {
  // Many lines in one turn of the event loop cost one scroll.
  if (scrollPending_) return;
  scrollPending_ = true;
  QTimer::singleShot(0, this, [this] {
    scrollPending_ = false;
    scrollToBottom();
  });
}

QString TLinkLogView::SelectedText() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList lines;
  lines.reserve(rows.size());
  for (const QModelIndex& index : rows) lines << index.data(Qt::DisplayRole).toString();
  return lines.join('\n');
}

void TLinkLogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::clipboard()->setText(SelectedText());
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
}

TLineListModel::TLineListModel(TLineList& list, QObject* parent) : QAbstractListModel(parent), list_(list) {
  list_.SetObserver(this);
}

TLineListModel::~TLineListModel() { list_.SetObserver(nullptr); }

int TLineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.Count());
}

QVariant TLineListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() ||
      static_cast<std::size_t>(index.row()) >= list_.Count()) {
    return {};
  }
  return FromBytes(list_.At(static_cast<std::size_t>(index.row())));
}

void TLineListModel::BeforeInsert(std::size_t index) {
  const int row = static_cast<int>(index);
  beginInsertRows(QModelIndex(), row, row);
}

void TLineListModel::AfterInsert() { endInsertRows(); }

void TLineListModel::BeforeRemove(std::size_t index) {
  const int row = static_cast<int>(index);
  beginRemoveRows(QModelIndex(), row, row);
}

void TLineListModel::AfterRemove() { endRemoveRows(); }

}  // namespace ardel::ui
