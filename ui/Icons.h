#pragma once
// The buttons' 16 x 16 icons and the logo, from the program's resources.

#include <QIcon>
#include <QPixmap>

// name is one of "book", "floppy", "language", "cancel", "abort": the normal
// image with its greyed twin for the disabled state.
QIcon ButtonIcon(const QString &name);
QPixmap LogoPixmap();
