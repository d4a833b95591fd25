#pragma once
// The normalisation of a configuration line done the slow, literal way: delete
// the blank of the first " =" until there is none, then that of the first "= ".
// Tests and fuzzers hold the fast implementation against it.

#include <QByteArray>

inline QByteArray normaliseByTwoPasses(QByteArray line)
{
    if (line.startsWith('#'))
        return line;
    for (qsizetype at; (at = line.indexOf(" =")) >= 0;)
        line.remove(at, 1);
    for (qsizetype at; (at = line.indexOf("= ")) >= 0;)
        line.remove(at + 1, 1);
    return line;
}
