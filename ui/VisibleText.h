#pragma once
// Text from files and paths shown on one line of a label: control characters
// become visible marks instead of breaking or hiding the line.

#include <QString>

// C0 controls and DEL as their Unicode control pictures (a line end as U+240A
// "␊"); other controls and the line and paragraph separators as "\u" and four
// hexadecimal digits.
QString WithVisibleControls(const QString &text);

// A tooltip that shows the text as it is: markup in it stays text, and runs
// of blanks stay.
QString LiteralToolTip(const QString &text);
