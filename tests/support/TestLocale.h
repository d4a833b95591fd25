#pragma once
// Locales for tests: the machine's own, or else built with localedef into
// the test's folder and read from there through LOCPATH, which is set only
// while setlocale reads it. The system's locales are never touched.

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <clocale>

// Sets LC_ALL to the locale (e.g. "zh_HK.BIG5-HKSCS"); returns why it cannot
// where localedef cannot build it, else an empty text.
inline QString UseTestLocale(const QString &folder, const QByteArray &name)
{
    const auto fromFolder = [&] {
        const bool had = qEnvironmentVariableIsSet("LOCPATH");
        const QByteArray previous = qgetenv("LOCPATH");
        qputenv("LOCPATH", QFile::encodeName(folder));
        const bool loaded = std::setlocale(LC_ALL, name.constData()) != nullptr;
        if (had)
            qputenv("LOCPATH", previous);
        else
            qunsetenv("LOCPATH");
        return loaded;
    };
    if (std::setlocale(LC_ALL, name.constData()))
        return {};
    // Built before the first look there: the C library remembers a locale
    // it did not find.
    const QString built = folder + u'/' + QString::fromLatin1(name);
    if (QFileInfo::exists(built))
        return fromFolder() ? QString() : QStringLiteral("%1 does not load").arg(built);
    const qsizetype dot = name.indexOf('.');
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {QStringLiteral("-i"), QString::fromLatin1(name.left(dot)), QStringLiteral("-f"),
                     QString::fromLatin1(name.mid(dot + 1)), built});
    localedef.waitForFinished(120000);
    // localedef ends with 1 after mere warnings (SHIFT_JIS is no strict
    // superset of ASCII): whether the locale loads decides.
    if (fromFolder())
        return {};
    return QStringLiteral("localedef cannot build %1: %2")
        .arg(QString::fromLatin1(name), QString::fromUtf8(localedef.readAllStandardError()).trimmed());
}
