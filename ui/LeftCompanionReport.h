#pragma once
// At start: companions that killed saves left, each with the file it belongs to.

#include <QByteArray>
#include <QList>

// Shows one warning that lists the companions of these files, if there are any.
void ReportLeftCompanions(const QList<QByteArray> &files);
