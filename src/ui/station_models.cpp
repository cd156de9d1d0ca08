#include "ui/station_models.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "ui/models.h"

namespace ardel::ui {

TStationTableModel::TStationTableModel(TStationTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
  table_.AddObserver(this);
}

TStationTableModel::~TStationTableModel() { table_.RemoveObserver(this); }

int TStationTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(table_.RowCount() - 1, 0);
}

int TStationTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(table_.ColumnCount() - 1, 0);
}

QVariant TStationTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return FromBytes(table_.Cell(index.column() + 1, index.row() + 1));
}

QVariant TStationTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole && orientation == Qt::Vertical) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  }
  if (role != Qt::DisplayRole) return {};
  return orientation == Qt::Horizontal ? FromBytes(table_.Cell(section + 1, kHeadingRow))
                                       : FromBytes(table_.Cell(kHeadingColumn, section + 1));
}

Qt::ItemFlags TStationTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TStationTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  table_.SetCell(index.column() + 1, index.row() + 1, ToBytes(value.toString()));
  return true;
}

void TStationTableModel::CellChanged(int column, int row) {
  if (row == kHeadingRow && column == kHeadingColumn) return;  // the corner is not shown
  if (row == kHeadingRow) {
    emit headerDataChanged(Qt::Horizontal, column - 1, column - 1);
  } else if (column == kHeadingColumn) {
    emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
  } else {
    const QModelIndex cell = CellIndex(column, row);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
  }
}

void TStationTableModel::BeforeReset() { beginResetModel(); }

void TStationTableModel::AfterReset() { endResetModel(); }

TTextLinesModel::TTextLinesModel(TTextLines& lines, QObject* parent) : QAbstractListModel(parent), lines_(lines) {
  lines_.AddObserver(this);
}

TTextLinesModel::~TTextLinesModel() { lines_.RemoveObserver(this); }

int TTextLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.Count());
}

QVariant TTextLinesModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() ||
      static_cast<std::size_t>(index.row()) >= lines_.Count()) {
    return {};
  }
  return FromBytes(lines_.At(static_cast<std::size_t>(index.row())));
}

void TTextLinesModel::BeforeAppend(std::size_t index) {
  const int row = static_cast<int>(index);
  beginInsertRows(QModelIndex(), row, row);
}

void TTextLinesModel::AfterAppend() { endInsertRows(); }

void TTextLinesModel::BeforeClear() { beginResetModel(); }

void TTextLinesModel::AfterClear() { endResetModel(); }

TTextLinesPlainText::TTextLinesPlainText(TTextLines& lines, QPlainTextEdit* edit, QObject* parent)
    : QObject(parent), lines_(lines), edit_(edit) {
  for (const std::string& line : lines_.Lines()) edit_->appendPlainText(FromUtf8(line));
  lines_.AddObserver(this);
}

TTextLinesPlainText::~TTextLinesPlainText() { lines_.RemoveObserver(this); }

void TTextLinesPlainText::AfterAppend() {
  edit_->appendPlainText(FromUtf8(lines_.At(lines_.Count() - 1)));
  edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
}

void TTextLinesPlainText::AfterClear() { edit_->clear(); }

QWidget* TLatin1CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
  QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
  if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
    connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) { MarkLatin1(edit, text); });
  }
  return editor;
}

TTextFieldLineEdit::TTextFieldLineEdit(TTextField& field, QLineEdit* edit, QObject* parent, TFieldText kind)
    : QObject(parent), field_(field), edit_(edit), kind_(kind) {
  edit_->setText(kind_ == ftUtf8 ? FromUtf8(field_.Text()) : FromBytes(field_.Text()));
  field_.AddObserver(this);
  connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
    // A character beyond Latin-1 reaches the core as "?"; the edit keeps what was typed.
    fromEdit_ = true;
    field_.SetText(kind_ == ftUtf8 ? text.toUtf8().toStdString() : ToBytes(text));
    fromEdit_ = false;
  });
}

TTextFieldLineEdit::~TTextFieldLineEdit() { field_.RemoveObserver(this); }

void TTextFieldLineEdit::TextChanged() {
  if (fromEdit_) return;
  edit_->setText(kind_ == ftUtf8 ? FromUtf8(field_.Text()) : FromBytes(field_.Text()));
}

}  // namespace ardel::ui
