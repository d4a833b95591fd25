#include "LeftCompanionReport.h"

#include "fileio/Companion.h"
#include "fileio/FileError.h"
#include "ui/MessageBox.h"

#include <QStringList>

void ReportLeftCompanions(const QList<QByteArray> &files)
{
    QStringList found;
    for (const QByteArray &file : files) {
        for (const QByteArray &companion : LeftCompanions(file))
            found.append(QStringLiteral("%1 (for %2)").arg(DisplayPath(companion), DisplayPath(file)));
    }
    if (found.isEmpty())
        return;
    MessageBox::show(MessageBox::Kind::Warning,
                     QStringLiteral("A save did not finish. The whole content it was writing is kept in:\n%1\n"
                                    "Compare it with the file it belongs to, and remove it when you no longer need it.")
                         .arg(found.join(QLatin1Char('\n'))));
}
