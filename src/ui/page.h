#pragma once
// What every page of the window shares: the program it shows, where its failures go, and
// the bindings of its widgets to the program's objects.

#include <QWidget>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>

#include "app/event_loop.h"

namespace ardel {
class TArdelApp;
}

namespace ardel::ui {

// Runs a handler body; a failure is shown and the handler ends.
template <typename F>
void Guarded(IErrorSink& errors, F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    errors.ShowError(e.what(), teUtf8);
  }
}

// The page's controls in the order of its layouts, as Tab is to visit them.
QList<QWidget*> ControlsInLayoutOrder(QWidget* page);

class TPage : public QWidget {
 public:
  TPage(TArdelApp& app, IErrorSink& errors, const QString& objectName, QWidget* parent);
  // The bindings go first, then the widgets, then the page's models: a widget may still
  // ask its model while it goes, and a binding may still touch its widget.
  ~TPage() override;

 protected:
  template <typename F>
  void Guarded(F&& body) {
    ui::Guarded(errors_, std::forward<F>(body));
  }
  IErrorSink& Errors() { return errors_; }
  QObject* Bindings() const { return bindings_.get(); }
  // Makes Tab follow the layout: top to bottom, left to right, each group whole. Called
  // once the page is built, as widgets made later would otherwise come last.
  void ChainTabOrder();

  TArdelApp& app_;

 private:
  IErrorSink& errors_;
  std::unique_ptr<QObject> bindings_ = std::make_unique<QObject>();
};

}  // namespace ardel::ui
