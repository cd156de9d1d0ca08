// What assistive technology and a small screen meet: every label read with its text, and
// a window that keeps its width whatever the status bar says.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QTextDocumentFragment>

#include "ui/elided_label.h"
#include "ui/form1.h"

namespace ardel::ui {
namespace {

QString VisibleText(const QLabel& label) {
  QString text = Qt::mightBeRichText(label.text()) ? QTextDocumentFragment::fromHtml(label.text()).toPlainText()
                                                  : label.text();
  return text.remove(QLatin1Char('&')).simplified();
}

// Every label of the accessible tree, with the name a screen reader says for it.
void CollectLabels(QAccessibleInterface* node, std::vector<std::pair<const QLabel*, QString>>& out, int depth = 0) {
  if (node == nullptr || depth > 64) return;
  if (auto* label = qobject_cast<const QLabel*>(node->object())) {
    out.emplace_back(label, node->text(QAccessible::Name));
  }
  for (int i = 0; i < node->childCount(); ++i) CollectLabels(node->child(i), out, depth + 1);
}

TEST(WindowEdges, NoLabelNameHidesItsText) {
  TForm1 form;
  form.show();
  TPortStatus status;
  status.port = "COM1";
  status.device = "/dev/ttyUSB0";
  status.state = psOpen;
  form.App().PortStatus().Set(status);
  QApplication::processEvents();
  std::vector<std::pair<const QLabel*, QString>> labels;
  CollectLabels(QAccessible::queryAccessibleInterface(&form), labels);
  ASSERT_GT(labels.size(), 20u);
  bool sawDevice = false;
  for (const auto& [label, name] : labels) {
    const QString text = VisibleText(*label);
    if (text.isEmpty()) continue;
    EXPECT_TRUE(name.simplified().contains(text)) << label->objectName().toStdString() << ": named \""
                                                   << name.toStdString() << "\", shows \"" << text.toStdString()
                                                   << "\"";
    if (label->objectName() == "StatusBarDevice") {
      sawDevice = true;
      EXPECT_EQ(name, "device: /dev/ttyUSB0");
    }
  }
  EXPECT_TRUE(sawDevice);
}

TEST(WindowEdges, APortErrorDoesNotWidenTheWindow) {
  TForm1 form;
  form.show();
  QApplication::processEvents();
  const int width = form.width();
  const int hinted = form.minimumSizeHint().width();
  TPortStatus status;
  status.port = "COM1";
  status.device = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KXYZQ-if00-port0";
  status.state = psCannotOpen;
  status.reason = status.device + ": Permission denied; join the group dialout, then log in again";
  form.App().PortStatus().Set(status);
  QApplication::processEvents();
  EXPECT_EQ(form.width(), width);
  EXPECT_LE(form.minimumSizeHint().width(), hinted);
  // The whole reason stays at hand: in the label's text and its tool tip.
  auto* state = form.findChild<TElidedLabel*>("StatusBarState");
  ASSERT_NE(state, nullptr);
  EXPECT_TRUE(state->text().contains("join the group dialout"));
  EXPECT_EQ(state->toolTip(), state->text());
  if (state->width() < state->fontMetrics().horizontalAdvance(state->text())) {
    EXPECT_TRUE(state->ShownText().contains(QChar(0x2026))) << state->ShownText().toStdString();
  }
}

}  // namespace
}  // namespace ardel::ui
