#pragma once
// Captions as the operator reads them: an access key's marker is not part of the text.

#include <QString>

namespace ardel::testing {

inline QString ShownCaption(const QString& text) {
  QString shown;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  return shown;
}

}  // namespace ardel::testing
