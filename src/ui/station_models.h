#pragma once
// Qt views onto the station table and the displayed station: they read the core in place
// and never copy it.

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QObject>
#include <QStyledItemDelegate>

#include "stations/station_table.h"
#include "util/text_field.h"
#include "util/text_lines.h"

class QLineEdit;
class QPlainTextEdit;

namespace ardel::ui {

// The grid of the tab "Data". Row 0 and column 0 of the table are the view's header
// sections, so they stay in place when the grid scrolls and cannot be edited; model
// cell (r, c) is table cell (column c + 1, row r + 1).
class TStationTableModel : public QAbstractTableModel, private IStationTableObserver {
  Q_OBJECT
 public:
  explicit TStationTableModel(TStationTable& table, QObject* parent = nullptr);
  ~TStationTableModel() override;

  // The model index of a table cell that is not a heading.
  QModelIndex CellIndex(int column, int row) const { return index(row - 1, column - 1); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  void CellChanged(int column, int row) override;
  void BeforeReset() override;
  void AfterReset() override;

  TStationTable& table_;
};

// The grid's cell editor warns while it holds a character beyond Latin-1.
class TLatin1CellDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// A list of lines shown in a list view (the INFI list).
class TTextLinesModel : public QAbstractListModel, private ITextLinesObserver {
  Q_OBJECT
 public:
  explicit TTextLinesModel(TTextLines& lines, QObject* parent = nullptr);
  ~TTextLinesModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  void BeforeAppend(std::size_t index) override;
  void AfterAppend() override;
  void BeforeClear() override;
  void AfterClear() override;

  TTextLines& lines_;
};

// A list of lines for people (UTF-8) shown in a read-only text field (the information
// field, the message field), which keeps its end in view.
class TTextLinesPlainText : public QObject, private ITextLinesObserver {
  Q_OBJECT
 public:
  TTextLinesPlainText(TTextLines& lines, QPlainTextEdit* edit, QObject* parent = nullptr);
  ~TTextLinesPlainText() override;

 private:
  void BeforeAppend(std::size_t) override {}
  void AfterAppend() override;
  void BeforeClear() override {}
  void AfterClear() override;

  TTextLines& lines_;
  QPlainTextEdit* edit_;
};

// A text field and its edit field, each following the other. Byte texts are Latin-1;
// texts for people (the date and time) are UTF-8.
enum TFieldText { ftBytes, ftUtf8 };
class TTextFieldLineEdit : public QObject, private ITextFieldObserver {
  Q_OBJECT
 public:
  TTextFieldLineEdit(TTextField& field, QLineEdit* edit, QObject* parent = nullptr, TFieldText kind = ftBytes);
  ~TTextFieldLineEdit() override;

 private:
  void TextChanged() override;

  TTextField& field_;
  QLineEdit* edit_;
  TFieldText kind_;
  bool fromEdit_ = false;
};

}  // namespace ardel::ui
