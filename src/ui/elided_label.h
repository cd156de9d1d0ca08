#pragma once
// A label that gives way: it asks for little width and, when narrower than its text,
// draws the text cut in the middle (the ends of a path say the most) with the whole text
// in its tool tip. text() and the accessible name keep the whole text.

#include <QLabel>

namespace ardel::ui {

class TElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit TElidedLabel(QWidget* parent = nullptr);

  // The text, and the tool tip that shows it whole.
  void SetFullText(const QString& text);
  // What is drawn at the present width.
  QString ShownText() const;

  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace ardel::ui
