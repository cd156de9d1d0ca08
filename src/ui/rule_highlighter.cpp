#include "ui/rule_highlighter.h"

#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QToolTip>

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
    case rmOddCondition:
      return QColor(192, 96, 0);
    case rmNothing:
    case rmBadCommand:
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
      {rmCondition, "if: a telegram pattern, from column 6"},
      {rmOddCondition, "if: likely a mistake, columns 3 to 5 are skipped (point at it)"},
      {rmSay, "then say: a message"},
      {rmCommand, "then: a command string to queue, from column 6"},
      {rmBadCommand, "then: queued, but no valid command string: nothing goes out"},
      {rmComment, "/ comment"},
      {rmNothing, "does nothing (a lamp line, or no rule line)"},
  };
  QString key = QStringLiteral("<b>Kinds of rule lines</b>");
  for (const TKey& k : kKeys) {
    key += QStringLiteral("<br><span style=\"color: %1\">%2</span>")
               .arg(RuleLineColor(k.mark).name(), QString::fromLatin1(k.meaning));
  }
  return key;
}

QString RuleLineHint(const QString& line) {
  // The rule set reads each line as its bytes, so the hint does too.
  return QString::fromLatin1(ReadRuleLine(ToBytes(line)).hint);
}

TRuleLineHighlighter::TRuleLineHighlighter(QPlainTextEdit* editor)
    : QSyntaxHighlighter(editor->document()), editor_(editor) {
  editor_->viewport()->installEventFilter(this);
}

void TRuleLineHighlighter::highlightBlock(const QString& text) {
  const TRuleLineReading reading = ReadRuleLine(ToBytes(text));
  if (reading.mark == rmEmpty) return;
  QTextCharFormat format;
  format.setForeground(RuleLineColor(reading.mark));
  if (reading.mark == rmCondition || reading.mark == rmOddCondition) format.setFontWeight(QFont::Bold);
  if (reading.mark == rmComment) format.setFontItalic(true);
  const bool wrong = reading.mark == rmNothing || reading.mark == rmBadCommand;
  if (wrong) format.setBackground(QColor(255, 230, 230));
  setFormat(0, static_cast<int>(text.size()), format);
  if (reading.skippedLength > 0) {
    // The skipped columns: shaded, and underlined where they hold what the reading drops.
    QTextCharFormat skipped = format;
    skipped.setBackground(QColor(225, 225, 225));
    if (reading.mark == rmOddCondition) {
      skipped.setUnderlineStyle(QTextCharFormat::WaveUnderline);
      skipped.setUnderlineColor(QColor(255, 0, 0));
    }
    setFormat(static_cast<int>(reading.skippedFrom), static_cast<int>(reading.skippedLength), skipped);
  }
  if (wrong && reading.argumentLength > 0) {
    QTextCharFormat argument = format;
    argument.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    argument.setUnderlineColor(QColor(255, 0, 0));
    setFormat(static_cast<int>(reading.argumentFrom), static_cast<int>(reading.argumentLength), argument);
  }
}

bool TRuleLineHighlighter::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_->viewport() && event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QTextCursor cursor = editor_->cursorForPosition(help->pos());
    // Below the last line the nearest line is not the one pointed at.
    const QRect line = editor_->cursorRect(cursor);
    const bool onLine = help->pos().y() >= line.top() && help->pos().y() <= line.bottom();
    const QString hint = onLine ? RuleLineHint(cursor.block().text()) : QString();
    if (!hint.isEmpty()) {
      QToolTip::showText(help->globalPos(), hint, editor_->viewport());
      return true;
    }
    // Elsewhere the editor's own tool tip, the key, shows.
  }
  return QSyntaxHighlighter::eventFilter(watched, event);
}

}  // namespace ardel::ui
