#include "ui/log_view_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QItemSelectionModel>
#include <QPointer>
#include <QWindow>

#include "ui/models.h"

namespace ardel::ui {
namespace {

int Rows(const TLinkLogView* view) {
  return view != nullptr && view->model() != nullptr ? view->model()->rowCount(view->rootIndex()) : 0;
}

class TLogRowAccessible : public QAccessibleInterface {
 public:
  TLogRowAccessible(TLinkLogView* view, int row) : view_(view), row_(row) {}

  bool isValid() const override { return view_ != nullptr && row_ < Rows(view_); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_ != nullptr ? view_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override {
    if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return {};
    return Index().data(Qt::DisplayRole).toString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!isValid()) return {};
    const QRect r = view_->visualRect(Index()).intersected(view_->viewport()->rect());
    return r.isEmpty() ? QRect() : QRect(view_->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    const QModelIndex index = Index();
    s.selectable = true;
    s.focusable = true;
    s.selected = view_->selectionModel() != nullptr && view_->selectionModel()->isSelected(index);
    s.focused = view_->hasFocus() && view_->currentIndex() == index;
    const QRect r = view_->visualRect(index);
    if (!r.intersects(view_->viewport()->rect())) s.offscreen = true;
    return s;
  }
  int Row() const { return row_; }

 private:
  QModelIndex Index() const { return view_->model()->index(row_, 0, view_->rootIndex()); }

  QPointer<TLinkLogView> view_;
  int row_;
};

class TLogViewAccessible : public QAccessibleWidget {
 public:
  explicit TLogViewAccessible(TLinkLogView* view) : QAccessibleWidget(view, QAccessible::List) {}
  ~TLogViewAccessible() override { Forget(); }

  int childCount() const override { return Rows(View()); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    if (const auto it = rows_.constFind(index); it != rows_.constEnd()) {
      if (QAccessibleInterface* known = QAccessible::accessibleInterface(*it)) return known;
    }
    // Rows are made as they are asked for; a long log never has them all.
    if (rows_.size() >= kKeptRows) Forget();
    auto* row = new TLogRowAccessible(View(), index);
    rows_.insert(index, QAccessible::registerAccessibleInterface(row));
    return row;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr || child->role() != QAccessible::ListItem || child->parent() != this) return -1;
    return static_cast<const TLogRowAccessible*>(child)->Row();
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    TLinkLogView* view = View();
    const QModelIndex index = view->indexAt(view->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.multiSelectable = true;
    s.extSelectable = true;
    return s;
  }

 private:
  static constexpr int kKeptRows = 2000;
  TLinkLogView* View() const { return static_cast<TLinkLogView*>(widget()); }
  void Forget() const {
    for (const QAccessible::Id id : rows_) QAccessible::deleteAccessibleInterface(id);
    rows_.clear();
  }

  mutable QHash<int, QAccessible::Id> rows_;
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
  if (key == QLatin1String(TLinkLogView::staticMetaObject.className())) {
    if (auto* view = qobject_cast<TLinkLogView*>(object)) return new TLogViewAccessible(view);
  }
  return nullptr;
}

}  // namespace

void InstallLogViewAccessible() {
  static const bool installed = (QAccessible::installFactory(Factory), true);
  (void)installed;
}

}  // namespace ardel::ui
