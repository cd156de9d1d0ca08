#include "ui/models.h"
#include "ui/log_view_accessible.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QKeyEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <algorithm>

namespace ardel::ui {

bool FitsLatin1(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() > 0xFF) return false;
  }
  return true;
}

void MarkLatin1(QWidget* field, const QString& text) {
  const bool fits = FitsLatin1(text);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, fits ? QApplication::palette(field).color(QPalette::Base) : QColor(255, 0, 0));
  field->setPalette(palette);
  field->setAccessibleDescription(fits ? QString() : QStringLiteral("holds a character that is stored as \"?\""));
}

void WarnBeyondLatin1(QComboBox* box) {
  QLineEdit* edit = box->lineEdit();
  QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) { MarkLatin1(edit, text); });
}

void WarnBeyondLatin1(QPlainTextEdit* editor) {
  QObject::connect(editor, &QPlainTextEdit::textChanged, editor, [editor] {
    // The raw text separates its lines by U+2029, which is a line break, not a character.
    QString text = editor->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    MarkLatin1(editor, text);
  });
}

TLinkLogModel::TLinkLogModel(TLinkLog& log, QObject* parent) : QAbstractListModel(parent), log_(log) {
  log_.AddObserver(this);
}

TLinkLogModel::~TLinkLogModel() { log_.RemoveObserver(this); }

int TLinkLogModel::LineLength(int row) const {
  return static_cast<std::size_t>(row) < log_.Count()
             ? static_cast<int>(log_.LineLength(static_cast<std::size_t>(row)))
             : 0;
}

int TLinkLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(log_.Count());
}

QVariant TLinkLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= log_.Count()) return {};
  switch (role) {
    case Qt::DisplayRole:
      return FromUtf8(log_.Store().Peek(static_cast<std::size_t>(index.row())).text);
    case Qt::ForegroundRole: {
      const TColor color = KindColor(log_.Store().Peek(static_cast<std::size_t>(index.row())).kind);
      return QColor(color.r, color.g, color.b);
    }
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

TLinkLogView::TLinkLogView(QWidget* parent) : QAbstractItemView(parent) {
  InstallLogViewAccessible();
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setAutoScroll(true);
}

void TLinkLogView::setModel(QAbstractItemModel* model) {
  QAbstractItemView::setModel(model);
  if (auto* logModel = qobject_cast<TLinkLogModel*>(model)) {
    connect(logModel, &TLinkLogModel::ScrollRequested, this, &TLinkLogView::ScheduleScroll, Qt::UniqueConnection);
  }
  reset();
}

int TLinkLogView::LineLength(int row) const {
  // The log's own lines are measured in the core, without a text conversion per line.
  if (const auto* logModel = qobject_cast<const TLinkLogModel*>(model())) return logModel->LineLength(row);
  return static_cast<int>(model()->index(row, 0, rootIndex()).data().toString().size());
}

int TLinkLogView::RowHeight() const { return std::max(1, fontMetrics().height()); }

int TLinkLogView::VisibleRows() const { return std::max(1, viewport()->height() / RowHeight()); }

int TLinkLogView::TopRow() const { return verticalScrollBar()->value(); }

int TLinkLogView::RowCount() const { return model() != nullptr ? model()->rowCount(rootIndex()) : 0; }

void TLinkLogView::ScheduleScroll() {
  // Many lines in one turn of the event loop cost one scroll.
  if (scrollPending_) return;
  // The view follows new lines from the end only: a reader who scrolled up, or whom the
  // find bar took to a line, stays there until back at the end. The range is still the
  // one from before the new lines.
  if (verticalScrollBar()->value() < verticalScrollBar()->maximum()) return;
  scrollPending_ = true;
  QTimer::singleShot(0, this, [this] {
    scrollPending_ = false;
    updateGeometries();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  });
}

void TLinkLogView::updateGeometries() {
  // The bar scrolls by rows: its value is the top row.
  const int visible = VisibleRows();
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setRange(0, std::max(0, RowCount() - visible));
  const int contentWidth = widestLine_ * fontMetrics().horizontalAdvance(QLatin1Char('M')) + 4;
  horizontalScrollBar()->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('M')));
  horizontalScrollBar()->setPageStep(viewport()->width());
  horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
  QAbstractItemView::updateGeometries();
}

void TLinkLogView::rowsInserted(const QModelIndex&, int start, int end) {
  // Not the base's: the log has no editors to move and nothing to fetch, and its fetch
  // timer, restarted for each line while the view is hidden, costs on Windows a scan of
  // every event still queued: a long run of lines between two turns of the loop would
  // take quadratic time.
  for (int row = start; row <= end; ++row) {
    widestLine_ = std::max(widestLine_, LineLength(row));
  }
  // A new scroll range makes the scroll area queue a call of its own; one per turn of
  // the event loop is enough, however many lines arrive in it.
  if (!geometryPending_) {
    geometryPending_ = true;
    QTimer::singleShot(0, this, [this] {
      geometryPending_ = false;
      updateGeometries();
    });
  }
  // Only new rows inside the visible window need painting; the scroll to the end paints
  // the ones it brings in.
  const int top = TopRow();
  const int bottom = top + VisibleRows();
  if (start <= bottom && end >= top) {
    const int first = std::max(start, top);
    const int last = std::min(end, bottom);
    viewport()->update(0, (first - top) * RowHeight(), viewport()->width(), (last - first + 1) * RowHeight());
  }
}

void TLinkLogView::reset() {
  QAbstractItemView::reset();
  widestLine_ = 0;
  const int rows = RowCount();
  for (int row = std::max(0, rows - 1000); row < rows; ++row) {
    widestLine_ = std::max(widestLine_, LineLength(row));
  }
  updateGeometries();
  viewport()->update();
}

void TLinkLogView::changeEvent(QEvent* event) {
  QAbstractItemView::changeEvent(event);
  if (event->type() == QEvent::FontChange) updateGeometries();
}

bool TLinkLogView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip && !toolTip().isEmpty()) {
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTip(), this);
    return true;
  }
  return QAbstractItemView::viewportEvent(event);
}

QRect TLinkLogView::visualRect(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const int h = RowHeight();
  return QRect(-horizontalOffset(), (index.row() - TopRow()) * h,
               std::max(viewport()->width() + horizontalOffset(), horizontalScrollBar()->maximum() + viewport()->width()), h);
}

void TLinkLogView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  const int row = index.row();
  const int visible = VisibleRows();
  QScrollBar* bar = verticalScrollBar();
  switch (hint) {
    case PositionAtTop:
      bar->setValue(row);
      break;
    case PositionAtBottom:
      bar->setValue(row - visible + 1);
      break;
    case PositionAtCenter:
      bar->setValue(row - visible / 2);
      break;
    case EnsureVisible:
      if (row < TopRow()) bar->setValue(row);
      else if (row >= TopRow() + visible) bar->setValue(row - visible + 1);
      break;
  }
}

QModelIndex TLinkLogView::indexAt(const QPoint& point) const {
  if (model() == nullptr || point.y() < 0) return {};
  const int row = TopRow() + point.y() / RowHeight();
  return row < RowCount() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

QModelIndex TLinkLogView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
  const int rows = RowCount();
  if (rows == 0) return {};
  int row = currentIndex().isValid() ? currentIndex().row() : TopRow();
  switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
      --row;
      break;
    case MoveDown:
    case MoveNext:
      ++row;
      break;
    case MovePageUp:
      row -= VisibleRows();
      break;
    case MovePageDown:
      row += VisibleRows();
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = rows - 1;
      break;
    default:
      break;
  }
  return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

int TLinkLogView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int TLinkLogView::verticalOffset() const { return TopRow() * RowHeight(); }

bool TLinkLogView::isIndexHidden(const QModelIndex&) const { return false; }

void TLinkLogView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const int rows = RowCount();
  if (rows == 0) return;
  const QRect r = rect.normalized();
  const int first = std::clamp(TopRow() + r.top() / RowHeight(), 0, rows - 1);
  const int last = std::clamp(TopRow() + r.bottom() / RowHeight(), 0, rows - 1);
  const QItemSelection selection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex()));
  selectionModel()->select(selection, command);
}

QRegion TLinkLogView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int top = TopRow();
  const int bottom = top + VisibleRows();
  for (const QItemSelectionRange& range : selection) {
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first > last) continue;
    region += QRect(0, (first - top) * RowHeight(), viewport()->width(), (last - first + 1) * RowHeight());
  }
  return region;
}

void TLinkLogView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int h = RowHeight();
  const int rows = RowCount();
  const int top = TopRow();
  const QRect area = event->rect();
  const int first = top + std::max(0, area.top() / h);
  const int last = std::min(rows - 1, top + area.bottom() / h);
  const int x = 2 - horizontalOffset();
  const int textWidth = std::max(viewport()->width(), (widestLine_ + 1) * fontMetrics().horizontalAdvance(QLatin1Char('M')));
  const QPalette& pal = palette();
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = model()->index(row, 0, rootIndex());
    const QRect rowRect(0, (row - top) * h, viewport()->width(), h);
    QColor color = index.data(Qt::ForegroundRole).value<QColor>();
    if (selectionModel()->isSelected(index)) {
      painter.fillRect(rowRect, pal.brush(QPalette::Highlight));
      color = pal.color(QPalette::HighlightedText);
    }
    painter.setPen(color);
    painter.drawText(QRect(x, rowRect.top(), textWidth, h),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data().toString());
    if (index == currentIndex() && hasFocus()) {
      painter.setPen(QPen(pal.color(QPalette::Text), 1, Qt::DotLine));
      painter.drawRect(rowRect.adjusted(0, 0, -1, -1));
    }
  }
}

void TLinkLogView::scrollContentsBy(int dx, int dy) {
  // Row scrolling: the bar counts rows, the viewport moves by pixels.
  viewport()->scroll(dx, dy * RowHeight());
}

QString TLinkLogView::SelectedText() const {
  QModelIndexList rows = selectionModel()->selectedIndexes();
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
  QAbstractItemView::keyPressEvent(event);
}

TLineListModel::TLineListModel(TLineList& list, QObject* parent) : QAbstractListModel(parent), list_(list) {
  list_.AddObserver(this);
}

TLineListModel::~TLineListModel() { list_.RemoveObserver(this); }

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
