#pragma once
// Qt views onto the core's lists: the models read the core in place and never copy it.

#include <QAbstractListModel>
#include <QAbstractItemView>

#include "log/link_log.h"
#include "util/line_list.h"

class QComboBox;
class QPlainTextEdit;

namespace ardel::ui {

// Latin-1 both ways at the widget boundary, so every byte value shows and round-trips.
inline QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string ToBytes(const QString& text) {
  const QByteArray latin = text.toLatin1();
  return std::string(latin.constData(), static_cast<std::size_t>(latin.size()));
}
// Texts for people (log lines, the information and message fields, error texts) are
// UTF-8 in the core.
inline QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Whether every character survives ToBytes; one beyond Latin-1 becomes "?".
bool FitsLatin1(const QString& text);
// The warning colour while a field holds a character that ToBytes cannot keep.
void MarkLatin1(QWidget* field, const QString& text);
// The same for an editable combo box (its line edit) and a plain-text editor, kept up
// with every change of their text.
void WarnBeyondLatin1(QComboBox* box);
void WarnBeyondLatin1(QPlainTextEdit* editor);

class TLinkLogModel : public QAbstractListModel, private ILinkLogObserver {
  Q_OBJECT
 public:
  explicit TLinkLogModel(TLinkLog& log, QObject* parent = nullptr);
  ~TLinkLogModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Characters of a line (one byte each), for the view's width.
  int LineLength(int row) const;

 signals:
  // A line was appended that asks the view to show the end.
  void ScrollRequested();

 private:
  void BeforeAppend(std::size_t index) override;
  void AfterAppend(bool scroll) override;
  void BeforeClear() override;
  void AfterClear() override;

  TLinkLog& log_;
};

// The link log view. A list view that lays out all its rows whenever one is added would
// make each line cost more than the one before; this view has rows of one height, so an
// append only moves the scroll range and a paint only touches the visible rows.
// Extended row selection; Ctrl+C copies the selected lines as plain text. New lines
// scroll the view while it shows the end.
class TLinkLogView : public QAbstractItemView {
  Q_OBJECT
 public:
  explicit TLinkLogView(QWidget* parent = nullptr);
  void setModel(QAbstractItemModel* model) override;
  QString SelectedText() const;

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void reset() override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void changeEvent(QEvent* event) override;
  // The view's own tool tip over its lines, which carry none.
  bool viewportEvent(QEvent* event) override;

 private:
  void ScheduleScroll();
  int LineLength(int row) const;
  int RowHeight() const;
  int VisibleRows() const;
  int TopRow() const;
  int RowCount() const;

  bool scrollPending_ = false;
  bool geometryPending_ = false;
  int widestLine_ = 0;  // characters
};

class TLineListModel : public QAbstractListModel, private ILineListObserver {
  Q_OBJECT
 public:
  explicit TLineListModel(TLineList& list, QObject* parent = nullptr);
  ~TLineListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  void BeforeInsert(std::size_t index) override;
  void AfterInsert() override;
  void BeforeRemove(std::size_t index) override;
  void AfterRemove() override;

  TLineList& list_;
};

}  // namespace ardel::ui
