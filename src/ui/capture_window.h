#pragma once
// A capture file opened read-only in a window of its own: the link log's view with its
// colours taken from each line's kind, the same find bar and filter.

#include <QAbstractListModel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "log/bus_overview.h"
#include "log/capture_file.h"

class QLabel;

namespace ardel::ui {

class TBusOverviewWindow;
class TFindBar;
class TLinkLogView;

class TCaptureModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit TCaptureModel(const TCaptureFile& file, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const TCaptureFile& file_;
};

class TCaptureWindow : public QWidget {
  Q_OBJECT
 public:
  // Takes a file that is open.
  explicit TCaptureWindow(std::unique_ptr<TCaptureFile> file, QWidget* parent = nullptr);
  ~TCaptureWindow() override;

  // Opens the file in a new window that deletes itself when closed; nullptr with the
  // reason in error when the file cannot be read.
  static TCaptureWindow* Open(const QString& path, QString& error, QWidget* parent = nullptr);

  const TCaptureFile& File() const { return *file_; }
  TLinkLogView* View() const { return view_; }
  TFindBar* FindBar() const { return findBar_; }
  QLabel* Note() const { return note_; }

  // The stations' SBIs that place the capture's IDs in the overview; without them every
  // ID is of no station.
  void SetStations(std::function<TStationBases()> stations) { stations_ = std::move(stations); }

 private:
  class TErrorSink;

  // "bus overview...": the capture's overview, read from the file the first time.
  void ButtonCaptureOverviewClick();

  std::unique_ptr<TCaptureFile> file_;
  TCaptureModel* model_;
  TLinkLogView* view_;
  TFindBar* findBar_;
  QLabel* note_;
  std::function<TStationBases()> stations_;
  std::unique_ptr<TErrorSink> errors_;
  std::unique_ptr<TBusOverview> overview_;
  TOverviewTime end_{};  // of the capture: the time its overview is taken at
  QPointer<TBusOverviewWindow> overviewWindow_;
};

}  // namespace ardel::ui
