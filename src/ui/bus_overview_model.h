#pragma once
// The overview's rows as a table, and the sorting that keeps them grouped by station.

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <vector>

#include "log/bus_overview.h"

namespace ardel::ui {

enum TOverviewColumn {
  ocStation,
  ocOffset,
  ocId,
  ocState,
  ocReceived,
  ocSent,
  ocRepeats,
  ocCompleted,
  ocTimeouts,
  ocAcks,
  ocChecksumErrors,
  ocResponseMin,
  ocResponseMedian,
  ocResponseP95,
  ocResponseMax,
  ocFirstSeen,
  ocLastSeen,
  ocColumnCount
};

// The wildcard pattern that finds a telegram of the ID in the link log.
QString IdPattern(std::uint32_t id);

class TBusOverviewModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // The value a column sorts by: a number, or the ID for the columns of text.
  static constexpr int kSortRole = Qt::UserRole;
  // The row's group: its station, 16 for an ID of no station, 17 for "other".
  static constexpr int kGroupRole = Qt::UserRole + 1;
  // Whether the row is alive.
  static constexpr int kAliveRole = Qt::UserRole + 2;

  explicit TBusOverviewModel(QObject* parent = nullptr);

  // Takes the rows as the overview gives them; an ID keeps its place in the views (its
  // selection, its place in a sorted view) from one showing to the next.
  void Show(std::vector<TIdRow> rows, TOverviewTime now);
  const std::vector<TIdRow>& Rows() const { return rows_; }
  const TIdRow* RowAt(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QVariant Display(const TIdRow& row, int column) const;
  QVariant SortValue(const TIdRow& row, int column) const;

  std::vector<TIdRow> rows_;
  TOverviewTime now_{};
};

// Sorts by a column within each station's group; the groups stay in station order (the
// stations, then the IDs of no station, then "other"), turned round only when the
// station column itself is sorted. Ties go by ID.
class TOverviewSortModel : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace ardel::ui
