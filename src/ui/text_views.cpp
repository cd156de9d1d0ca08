#include "ui/text_views.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include "ui/models.h"

namespace ardel::ui {

TRuleSetEditorView::TRuleSetEditorView(QPlainTextEdit* editor, TRuleSet& ruleSet)
    : editor_(editor), ruleSet_(ruleSet) {
  ruleSet_.SetEditor(this);
  edits_ = QObject::connect(editor_, &QPlainTextEdit::textChanged, editor_,
                            [this] {
                              if (!showing_) ruleSet_.EditorChanged();
                            });
}

TRuleSetEditorView::~TRuleSetEditorView() {
  QObject::disconnect(edits_);
  ruleSet_.SetEditor(nullptr);
}

std::string TRuleSetEditorView::EditorText() const {
  // The raw text keeps a no-break space (byte A0) that toPlainText would turn into a
  // blank; only the paragraph ends need to become line breaks.
  QString text = editor_->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  text.replace(QChar::LineSeparator, u'\n');
  return ToBytes(text);
}

void TRuleSetEditorView::ShowText(const std::string& text) {
  // The rule set already holds this text; it need not read it back.
  showing_ = true;
  editor_->setPlainText(FromBytes(text));
  showing_ = false;
}

}  // namespace ardel::ui
