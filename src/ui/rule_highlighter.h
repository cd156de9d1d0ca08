#pragma once
// The rule editor's marks: each line coloured by what it does, so that a line that can
// never act stands out while it is typed.

#include <QColor>
#include <QSyntaxHighlighter>

#include "rules/rule_line.h"

class QTextDocument;

namespace ardel::ui {

// The colour of each kind of line; a line that does nothing is red on a pale ground.
QColor RuleLineColor(TRuleLineMark mark);
// The key to the marks, as rich text.
QString RuleLineKey();

class TRuleLineHighlighter : public QSyntaxHighlighter {
  Q_OBJECT
 public:
  explicit TRuleLineHighlighter(QTextDocument* document);

 protected:
  void highlightBlock(const QString& text) override;
};

}  // namespace ardel::ui
