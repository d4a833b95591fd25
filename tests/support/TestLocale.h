#pragma once
// Locales for tests: the machine's own, or else built with localedef into
// the test's folder and read from there through LOCPATH, which is set only
// while setlocale reads it. The system's locales are never touched.

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <clocale>

// Sets LC_ALL to the locale (e.g. "zh_HK.BIG5-HKSCS"); returns why not where
// localedef cannot build it, else an empty text.
inline QString UseTestLocale(const QString &folder, const QByteArray &name)
{
    if (std::setlocale(LC_ALL, name.constData()))
        return {};
    // Built before the first look there: the C library remembers a locale it did not find.
    const QString built = folder + u'/' + QString::fromLatin1(name);
    QProcess localedef;
    if (!QFileInfo::exists(built)) {
        const qsizetype dot = name.indexOf('.');
        localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QString::fromLatin1(name.left(dot)),
                                                      QStringLiteral("-f"), QString::fromLatin1(name.mid(dot + 1)),
                                                      built});
        localedef.waitForFinished(120000);  // ends with 1 after mere warnings: whether it loads decides
    }
    const QByteArray previous = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(folder));
    const bool loaded = std::setlocale(LC_ALL, name.constData()) != nullptr;
    previous.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", previous);
    return loaded ? QString()
                  : QStringLiteral("localedef cannot build %1: %2")
                        .arg(built, QString::fromUtf8(localedef.readAllStandardError()));
}
