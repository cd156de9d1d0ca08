#include "ui/rule_highlighter.h"

#include <QTextCharFormat>
#include <QTextDocument>

#include "ui/models.h"

namespace ardel::ui {

QColor RuleLineColor(TRuleLineMark mark) {
  switch (mark) {
    case rmCondition:
      return QColor(0, 0, 192);
    case rmSay:
      return QColor(0, 128, 0);
    case rmCommand:
      return QColor(128, 0, 128);
    case rmComment:
      return QColor(128, 128, 128);
    case rmNothing:
      return QColor(255, 0, 0);
    case rmEmpty:
      break;
  }
  return QColor(0, 0, 0);
}

QString RuleLineKey() {
  struct TKey {
    TRuleLineMark mark;
    const char* meaning;
  };
  static constexpr TKey kKeys[] = {
      {rmCondition, "if: a telegram pattern"},
      {rmSay, "then say: a message"},
      {rmCommand, "then: a command string to queue"},
      {rmComment, "/ comment"},
      {rmNothing, "does nothing (a typo, a lamp line, or no valid command string)"},
  };
  QString key = QStringLiteral("<b>Kinds of rule lines</b>");
  for (const TKey& k : kKeys) {
    key += QStringLiteral("<br><span style=\"color: %1\">%2</span>")
               .arg(RuleLineColor(k.mark).name(), QString::fromLatin1(k.meaning));
  }
  return key;
}

TRuleLineHighlighter::TRuleLineHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

void TRuleLineHighlighter::highlightBlock(const QString& text) {
  // The rule set reads each line as its bytes, so the mark does too.
  const TRuleLineMark mark = MarkRuleLine(ToBytes(text));
  if (mark == rmEmpty) return;
  QTextCharFormat format;
  format.setForeground(RuleLineColor(mark));
  if (mark == rmCondition) format.setFontWeight(QFont::Bold);
  if (mark == rmComment) format.setFontItalic(true);
  if (mark == rmNothing) {
    format.setBackground(QColor(255, 230, 230));
    format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    format.setUnderlineColor(QColor(255, 0, 0));
  }
  setFormat(0, static_cast<int>(text.size()), format);
}

}  // namespace ardel::ui
