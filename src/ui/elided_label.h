#pragma once
// A label that gives way: it asks for little width and, when narrower than its text,
// draws the text cut in the middle (the ends of a path say the most) with the whole text
// in its tool tip. text() and the accessible name keep the whole text.

#include <QLabel>
#include <QLineEdit>

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

// A read-only field that shows a long text cut in the middle while it does not fit, the
// whole text in its tool tip. The text can still be selected and copied as shown.
class TElidedLineEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TElidedLineEdit(QWidget* parent = nullptr);

  void SetFullText(const QString& text);
  const QString& FullText() const { return fullText_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowFitting();

  QString fullText_;
};

}  // namespace ardel::ui
