#pragma once
// The one font of the program's windows, their menus and message boxes.

#include <QFont>

// "MS Sans Serif" where it is installed, else "Liberation Sans" (Debian
// fonts-liberation, a dependency of the package), which has Arial's widths, so
// the captions fit their fixed-size buttons on every machine. 11 pixels high.
QFont WindowFont();
