#pragma once
// Qt views onto the core's lists: the models read the core in place and never copy it.

#include <QAbstractListModel>
#include <QListView>

#include "link/link_log.h"
#include "queue/line_list.h"

namespace ardel::ui {

// Latin-1 both ways at the widget boundary, so every byte value shows and round-trips.
inline QString FromBytes(const std::string& bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
inline std::string ToBytes(const QString& text) {
  const QByteArray latin = text.toLatin1();
  return std::string(latin.constData(), static_cast<std::size_t>(latin.size()));
}

class TLinkLogModel : public QAbstractListModel, private ILinkLogObserver {
  Q_OBJECT
 public:
  explicit TLinkLogModel(TLinkLog& log, QObject* parent = nullptr);
  ~TLinkLogModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

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

// The link log view: uniform rows, extended selection, Ctrl+C copies plain text.
class TLinkLogView : public QListView {
  Q_OBJECT
 public:
  explicit TLinkLogView(QWidget* parent = nullptr);
  void setModel(QAbstractItemModel* model) override;
  QString SelectedText() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ScheduleScroll();
  bool scrollPending_ = false;
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
