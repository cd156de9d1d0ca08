#pragma once
// The link log view to assistive technology: a list whose items are its rows, named by
// their text, as Qt's own item views show themselves.

namespace ardel::ui {

// Once per program; every TLinkLogView calls it.
void InstallLogViewAccessible();

}  // namespace ardel::ui
