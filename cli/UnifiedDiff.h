#pragma once
// The change a save makes to a file, as a unified diff (diff -u) with three
// lines of context that patch(1) applies.

#include <QByteArray>
#include <QByteArrayView>

// Empty when the texts are equal. Lines are split at LF, as diff(1) splits
// them, so a CR or a missing final LF shows as a change of its line.
//
// Linear in the size of the texts: the lines both share at the start and the
// end are passed over, and between them a changed stretch ends as soon as the
// texts line up again, after a line changed, removed or added. That is always
// a right diff, and the shortest for the changes a save makes (lines changed
// in place, removed, added at the end), though not for any two texts.
QByteArray UnifiedDiff(QByteArrayView label, QByteArrayView oldText, QByteArrayView newText);
