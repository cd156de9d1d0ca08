#include "ui/bus_overview_model.h"

#include <QBrush>
#include <QColor>
#include <QHash>
#include <utility>

#include "log/log_store.h"

namespace ardel::ui {
namespace {

constexpr int kNoStationGroup = 16;
constexpr int kOtherGroup = 17;

// Pale enough for black text, apart enough to tell without reading.
const QColor kAliveColor(200, 240, 200);
const QColor kSilentColor(255, 215, 190);

QString Hex(std::uint32_t value, int digits) {
  return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString Count(std::uint64_t value) { return QString::number(value); }

QString Milliseconds(const TResponseTimes& times, double ms) {
  return times.count > 0 ? QString::number(ms, 'f', 1) : QString();
}

QString Time(const std::optional<TOverviewTime>& at) {
  return at ? QString::fromStdString(CaptureTimeText(*at)) : QString();
}

qint64 TimeValue(const std::optional<TOverviewTime>& at) {
  return at ? std::chrono::duration_cast<std::chrono::milliseconds>(at->time_since_epoch()).count() : -1;
}

int Group(const TIdRow& row) {
  if (row.other) return kOtherGroup;
  return row.station < 0 ? kNoStationGroup : row.station;
}

// Identifies a row from one showing to the next.
quint64 Key(const TIdRow& row) { return row.other ? quint64{1} << 32 : row.id; }

// Two lines where one would widen the table past the window.
const char* const kHeaders[ocColumnCount] = {
    "station",  "offset",    "ID",        "state",   "received", "sent",
    "repeats",  "completed", "time-outs", "ACKs",    "checksum errors\n(unsure)",
    "min\nms",  "median\nms", "p95\nms",   "max\nms", "first seen", "last seen",
};

const char* const kHeaderTips[ocColumnCount] = {
    "The station whose block (its SBI to SBI + 7F) holds the ID",
    "The ID's place in its station's block",
    "The ID; \"other\" counts every ID beyond the overview's limit",
    "alive: something came from the ID within the last minute; silent: nothing did",
    "Telegrams received from the ID",
    "Commands sent to the ID, first transmissions",
    "Repetitions of commands to the ID",
    "Commands to the ID that were answered",
    "Commands to the ID that timed out",
    "Acknowledgements sent to the ID",
    "Telegrams with a wrong checksum that named the ID: the bytes may be wrong",
    "Fastest answer, of the last 1000",
    "Median answer time, of the last 1000",
    "95th percentile of the answer times, of the last 1000",
    "Slowest answer, of the last 1000",
    "When the ID was first seen on the link",
    "When the ID was last seen on the link",
};

}  // namespace

QString IdPattern(std::uint32_t id) { return QStringLiteral("?? ?? ???????? %1 *").arg(Hex(id, 8)); }

TBusOverviewModel::TBusOverviewModel(QObject* parent) : QAbstractTableModel(parent) {}

const TIdRow* TBusOverviewModel::RowAt(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < rows_.size() ? &rows_[static_cast<std::size_t>(row)] : nullptr;
}

void TBusOverviewModel::Show(std::vector<TIdRow> rows, TOverviewTime now) {
  now_ = now;
  bool sameIds = rows.size() == rows_.size();
  for (std::size_t i = 0; sameIds && i < rows.size(); ++i) sameIds = Key(rows[i]) == Key(rows_[i]);
  if (sameIds) {
    // The common case once a second: only the counts moved.
    rows_ = std::move(rows);
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ocColumnCount - 1));
    return;
  }
  // New IDs come in between the known ones: every persistent index (a selection, a
  // sorted view's mapping) follows its ID to its new row.
  emit layoutAboutToBeChanged();
  QHash<quint64, int> newRow;
  for (std::size_t i = 0; i < rows.size(); ++i) newRow.insert(Key(rows[i]), static_cast<int>(i));
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& old : before) {
    const TIdRow* row = RowAt(old.row());
    const auto found = row != nullptr ? newRow.constFind(Key(*row)) : newRow.constEnd();
    after.append(found != newRow.constEnd() ? createIndex(*found, old.column()) : QModelIndex());
  }
  rows_ = std::move(rows);
  changePersistentIndexList(before, after);
  emit layoutChanged();
}

int TBusOverviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TBusOverviewModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ocColumnCount; }

QVariant TBusOverviewModel::Display(const TIdRow& row, int column) const {
  switch (column) {
    case ocStation:
      if (row.other) return QString();
      return row.station < 0 ? QStringLiteral("none") : Hex(static_cast<std::uint32_t>(row.station), 1);
    case ocOffset:
      return row.other || row.station < 0 ? QString() : Hex(row.offset, 2);
    case ocId:
      return row.other ? QStringLiteral("other") : Hex(row.id, 8);
    case ocState:
      return TBusOverview::Alive(row, now_) ? QStringLiteral("alive") : QStringLiteral("silent");
    case ocReceived:
      return Count(row.received);
    case ocSent:
      return Count(row.sent);
    case ocRepeats:
      return Count(row.repeats);
    case ocCompleted:
      return Count(row.completed);
    case ocTimeouts:
      return Count(row.timeouts);
    case ocAcks:
      return Count(row.acks);
    case ocChecksumErrors:
      return Count(row.checksumErrorsUnsure);
    case ocResponseMin:
      return Milliseconds(row.response, row.response.minMs);
    case ocResponseMedian:
      return Milliseconds(row.response, row.response.medianMs);
    case ocResponseP95:
      return Milliseconds(row.response, row.response.p95Ms);
    case ocResponseMax:
      return Milliseconds(row.response, row.response.maxMs);
    case ocFirstSeen:
      return Time(row.firstSeen);
    case ocLastSeen:
      return Time(row.lastSeen);
    default:
      return {};
  }
}

QVariant TBusOverviewModel::SortValue(const TIdRow& row, int column) const {
  // A time that was never measured sorts below every measured one.
  auto ms = [&](double value) { return row.response.count > 0 ? value : -1.0; };
  switch (column) {
    case ocStation:
    case ocOffset:
    case ocId:
      return Key(row);
    case ocState:
      return TBusOverview::Alive(row, now_) ? 1 : 0;
    case ocReceived:
      return quint64{row.received};
    case ocSent:
      return quint64{row.sent};
    case ocRepeats:
      return quint64{row.repeats};
    case ocCompleted:
      return quint64{row.completed};
    case ocTimeouts:
      return quint64{row.timeouts};
    case ocAcks:
      return quint64{row.acks};
    case ocChecksumErrors:
      return quint64{row.checksumErrorsUnsure};
    case ocResponseMin:
      return ms(row.response.minMs);
    case ocResponseMedian:
      return ms(row.response.medianMs);
    case ocResponseP95:
      return ms(row.response.p95Ms);
    case ocResponseMax:
      return ms(row.response.maxMs);
    case ocFirstSeen:
      return TimeValue(row.firstSeen);
    case ocLastSeen:
      return TimeValue(row.lastSeen);
    default:
      return {};
  }
}

QVariant TBusOverviewModel::data(const QModelIndex& index, int role) const {
  const TIdRow* row = index.isValid() ? RowAt(index.row()) : nullptr;
  if (row == nullptr) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Display(*row, index.column());
    case kSortRole:
      return SortValue(*row, index.column());
    case kGroupRole:
      return Group(*row);
    case kAliveRole:
      return TBusOverview::Alive(*row, now_);
    case Qt::BackgroundRole:
      if (index.column() != ocState) return {};
      return QBrush(TBusOverview::Alive(*row, now_) ? kAliveColor : kSilentColor);
    case Qt::ForegroundRole:
      // Black on the pale state colours, whatever the palette.
      return index.column() == ocState ? QVariant(QBrush(Qt::black)) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() >= ocReceived && index.column() <= ocResponseMax
                 ? QVariant(int{Qt::AlignRight | Qt::AlignVCenter})
                 : QVariant(int{Qt::AlignLeft | Qt::AlignVCenter});
    default:
      return {};
  }
}

QVariant TBusOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ocColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[section]);
  if (role == Qt::ToolTipRole) return QString::fromLatin1(kHeaderTips[section]);
  return {};
}

bool TOverviewSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const bool ascending = sortOrder() == Qt::AscendingOrder;
  const int column = left.column();
  // Where a group stands, from the top; the view turns lessThan round when it sorts
  // descending, so the groups are compared in the direction that undoes that.
  auto place = [&](const QModelIndex& index) {
    const int group = index.data(TBusOverviewModel::kGroupRole).toInt();
    return column == ocStation && !ascending && group < kNoStationGroup ? kNoStationGroup - 1 - group : group;
  };
  const int l = place(left);
  const int r = place(right);
  if (l != r) return ascending ? l < r : r < l;
  const QVariant a = left.data(TBusOverviewModel::kSortRole);
  const QVariant b = right.data(TBusOverviewModel::kSortRole);
  const qulonglong idA = left.siblingAtColumn(ocId).data(TBusOverviewModel::kSortRole).toULongLong();
  const qulonglong idB = right.siblingAtColumn(ocId).data(TBusOverviewModel::kSortRole).toULongLong();
  // Within a station its IDs go up, whichever way the stations go; ties of another column
  // keep the IDs in order too.
  const bool byId = ascending ? idA < idB : idB < idA;
  if (column == ocStation) return byId;
  const auto order = QVariant::compare(a, b);
  if (order != QPartialOrdering::Equivalent) return order == QPartialOrdering::Less;
  return byId;
}

}  // namespace ardel::ui
