#pragma once

#include <QFont>

namespace ardel::ui {

// "Courier New" where it exists, otherwise the system's fixed-pitch font.
inline QFont CourierNew(int pointSize, bool bold = false) {
  QFont font(QStringLiteral("Courier New"), pointSize, bold ? QFont::Bold : QFont::Normal);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

inline QFont CourierNewPixels(int pixelSize, bool bold = false) {
  QFont font = CourierNew(8, bold);
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace ardel::ui
