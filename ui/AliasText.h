#pragma once
// The alias file's bytes and the aliases editor's text, converted both ways
// so that a file saved without edits keeps its bytes, line-break rules apart.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// CR LF pairs become line breaks; the rest is decoded in the locale's charset.
// Characters the text area would turn into line breaks (a lone CR, U+2028,
// U+2029, the frame markers U+FDD0/U+FDD1) are held as the escapes of their
// bytes instead, so each line of the file is one paragraph of the text area.
QString AliasFileToText(QByteArrayView bytes);

// The text area's raw text, where LF, U+2028 and U+2029 all end a line: one
// final line break is dropped, and a lone LF that remains is written as nothing.
QByteArray AliasTextToFile(const QString &text);

// The number (from 1) of the first line of the text with more than the given
// number of characters, or 0 when there is none.
qsizetype FirstLineLongerThan(QStringView text, qsizetype limit);
