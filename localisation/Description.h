#pragma once
// Parameter descriptions: one value in the language file, its lines separated
// by the two characters backslash and "n".

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// The lines of a stored description: at least one; a separator at the very end
// adds no empty line, two in a row give an empty line between their neighbours.
QList<QByteArray> SplitDescription(QByteArrayView description);

// Appends the description of the parameter in CurrentLanguage (from LangIni)
// to the line list, converted from the locale's character set.
void ShowDescription(QStringList &lines, const QString &paramName);
