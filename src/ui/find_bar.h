#pragma once
// The find bar of a link log view (the live log and an opened capture alike): a search
// that runs in slices from a zero-interval timer, so the window and the link keep
// running, and "only matching lines", which shows the hits through a model of their own.

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QElapsedTimer>
#include <optional>
#include <vector>

#include "log/log_search.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;

namespace ardel::ui {

class TLinkLogView;

// The matching lines of a search, each shown as the log model shows it.
class TLogFilterModel : public QAbstractListModel {
  Q_OBJECT
 public:
  TLogFilterModel(QAbstractItemModel* source, const TLogSearch& search, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Catches up with the search's hits.
  void Sync();
  // The line of the log a row shows.
  std::size_t LineOf(int row) const;

 private:
  QAbstractItemModel* source_;
  const TLogSearch& search_;
  std::size_t shown_ = 0;
};

class IOpenFileDialog {
 public:
  virtual ~IOpenFileDialog() = default;
  // Empty when the user cancels.
  virtual QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory) = 0;
};

class TQtOpenFileDialog : public IOpenFileDialog {
 public:
  QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory) override;
};

class TFindBar : public QWidget {
  Q_OBJECT
 public:
  // The source gives the lines the model shows, row for line. The shortcuts (Ctrl+F, F3,
  // Shift+F3) work anywhere in host's window while host is shown: from a tab bar or a
  // button too, not only from inside host.
  TFindBar(const ILogLineSource& source, QAbstractItemModel* model, TLinkLogView* view, QWidget* host);

  void Open();
  void Close();
  // The next or previous hit from the current line, selected and scrolled into view.
  void FindNext();
  void FindPrevious();
  void SetOnlyMatching(bool on);
  // Opens the bar on a wildcard pattern and goes to its next hit.
  void FindPattern(const QString& pattern);

  const TLogSearch& Search() const { return search_; }
  TLogFilterModel* FilterModel() const { return filter_; }
  QLineEdit* Field() const { return field_; }
  QLabel* Result() const { return result_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Restart();
  void EnableShortcuts();
  void StepSearch();
  void Go(int direction);
  void Select(std::size_t line);
  std::optional<std::size_t> CurrentLine() const;
  void ShowResult();

  const ILogLineSource& source_;
  QAbstractItemModel* model_;
  TLinkLogView* view_;
  TLogSearch search_;
  TLogFilterModel* filter_;
  QTimer* stepTimer_;
  QLineEdit* field_;
  QComboBox* mode_;
  QPushButton* next_;
  QPushButton* previous_;
  QLabel* result_;
  QCheckBox* onlyMatching_;
  QProgressBar* progress_;
  QElapsedTimer started_;
  QWidget* host_;
  std::vector<QShortcut*> shortcuts_;
  QElapsedTimer shown_;  // since the result was last shown while the search ran
  int pending_ = 0;  // a "next" (1) or "previous" (-1) that waits for the search
};

}  // namespace ardel::ui
