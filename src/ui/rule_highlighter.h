#pragma once
// The rule editor's marks: each line coloured by what it does, so that a line that can
// never act, or acts otherwise than it reads, stands out while it is typed. The columns
// that the reading skips are shaded, so where a pattern or a command really starts shows.

#include <QColor>
#include <QObject>
#include <QSyntaxHighlighter>

#include "rules/rule_line.h"

class QPlainTextEdit;

namespace ardel::ui {

// The colour of each kind of line; a line that does nothing or goes wrong is red on a
// pale ground.
QColor RuleLineColor(TRuleLineMark mark);
// The key to the marks, as rich text.
QString RuleLineKey();
// The tool tip of one line of the editor: what the line does, in words. Empty for an
// empty line and a comment.
QString RuleLineHint(const QString& line);

class TRuleLineHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
 public:
  // Marks the editor's lines and gives each its own tool tip; the editor's tool tip
  // (the key) shows where no line is.
  explicit TRuleLineHighlighter(QPlainTextEdit* editor);

 protected:
  void highlightBlock(const QString& text) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPlainTextEdit* editor_;
};

}  // namespace ardel::ui
