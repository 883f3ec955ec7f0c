#pragma once
// What screen readers (AT-SPI) are told beyond Qt's defaults: a program's
// main window, a standard form without an owner, is a window and not a
// dialog; the pop-up menus that are open are children of the application,
// where Qt leaves them out; and a figure (TFigureLabel) is named by the text
// it shows, also when that is empty.

namespace wdx::common {

// Installs the accessibility factory; once per process, by the application.
void InstallAccessibility();

} // namespace wdx::common
