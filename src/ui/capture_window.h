#pragma once
// A capture file opened read-only in a window of its own: the link log's view with its
// colours taken from each line's kind, the same find bar and filter.

#include <QAbstractListModel>
#include <QWidget>
#include <memory>

#include "log/capture_file.h"

class QLabel;

namespace ardel::ui {

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

 private:
  std::unique_ptr<TCaptureFile> file_;
  TCaptureModel* model_;
  TLinkLogView* view_;
  TFindBar* findBar_;
  QLabel* note_;
};

}  // namespace ardel::ui
