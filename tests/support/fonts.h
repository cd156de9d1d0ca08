#pragma once
// Whether text widths in this test run are a real window's. Qt's offscreen platform on
// Windows has no font database: every glyph is a box as wide as the font is high, so
// captions come out about half again as wide as in any real font.

#include <QFontDatabase>

namespace ardel::testing {

inline bool TextWidthsAreReal() { return !QFontDatabase::families().isEmpty(); }

inline constexpr const char* kNoRealTextWidths =
    "Qt's offscreen platform on Windows has no fonts (its glyphs are boxes), so text widths "
    "say nothing about the layout; check on a Windows desktop";

}  // namespace ardel::testing
