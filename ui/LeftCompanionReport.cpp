#include "LeftCompanionReport.h"

#include "fileio/Companion.h"
#include "ui/MessageBox.h"

void ReportLeftCompanions(const QList<QByteArray> &files)
{
    const QString report = LeftCompanionsReport(files);
    if (!report.isEmpty())
        MessageBox::show(MessageBox::Kind::Warning, report);
}
