#pragma once
// The status bar along the bottom of the window: the port in use, its device, its state
// in plain words and what passed over the link since the start.

class QObject;
class QStatusBar;
class QWidget;

namespace ardel {
class TArdelApp;
}

namespace ardel::ui {

// The bar follows the program's port status for as long as bindings lives.
QStatusBar* NewPortStatusBar(TArdelApp& app, QWidget* parent, QObject* bindings);

}  // namespace ardel::ui
