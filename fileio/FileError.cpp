#include "FileError.h"

#include "fileio/LocaleText.h"
#include "fileio/ReadFile.h"

#include <QByteArrayList>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

FileError::FileError(Kind kind, const QString &message, int errorNumber)
    : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message), m_errorNumber(errorNumber)
{
}

FileError FileError::openFailed(const QByteArray &path, int errorNumber)
{
    FileError error = openFailed(path, SystemErrorText(errorNumber));
    error.m_errorNumber = errorNumber;
    return error;
}

FileError FileError::openFailed(const QByteArray &path, const QString &reason)
{
    return FileError(Kind::Open,
                     QStringLiteral("Datei %1 kann nicht geöffnet werden. %2").arg(DisplayPath(path), reason));
}

FileError FileError::createFailed(const QByteArray &path, int errorNumber)
{
    FileError error = createFailed(path, SystemErrorText(errorNumber));
    error.m_errorNumber = errorNumber;
    return error;
}

FileError FileError::createFailed(const QByteArray &path, const QString &reason)
{
    return FileError(Kind::Create,
                     QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2").arg(DisplayPath(path), reason));
}

FileError FileError::writeFailed()
{
    return FileError(Kind::Write, QStringLiteral("Stream-Schreibfehler"));
}

FileError FileError::writeFailedKeptIn(const QByteArray &companion)
{
    return FileError(Kind::Write,
                     QStringLiteral("Stream-Schreibfehler. Die Datei ist womöglich unvollständig; der neue Inhalt "
                                    "steht vollständig in \"%1\"")
                         .arg(DisplayPath(companion)));
}

FileError FileError::changedSinceRead(const QByteArray &path)
{
    return FileError(Kind::Changed, QStringLiteral("Datei \"%1\" wurde seit dem Lesen von einem anderen Programm "
                                                   "geändert")
                                        .arg(DisplayPath(path)));
}

FileError FileError::reported(Kind kind, const QString &message)
{
    return FileError(kind, message);
}

bool FileError::deniedPermission() const
{
    return m_errorNumber == EACCES || m_errorNumber == EPERM;
}

QString ErrorBoxText(const QString &description)
{
    if (!description.isEmpty() && description.back() > QLatin1Char('.'))
        return description + QLatin1Char('.');
    return description;
}

QString SystemErrorText(int errorNumber)
{
    // strerror speaks the user's language (LC_MESSAGES) in the locale's charset.
    return LocaleToText(std::strerror(errorNumber));
}

QString NotRegularFileText()
{
    return QStringLiteral("Keine reguläre Datei");
}

QString NeverReadText()
{
    return QStringLiteral("Die Datei wurde nicht gelesen");
}

QString TooLargeText()
{
    return QStringLiteral("Größer als %1 MiB, die größte Datei, die dieses Programm öffnet")
        .arg(LargestFileSize / (1024 * 1024));
}

namespace {

QByteArray currentDirectory()
{
    QByteArray directory(4096, Qt::Uninitialized);
    while (!::getcwd(directory.data(), size_t(directory.size()))) {
        if (errno != ERANGE)
            return QByteArray();
        directory.resize(directory.size() * 2);
    }
    directory.truncate(qsizetype(std::strlen(directory.constData())));
    return directory;
}

}  // namespace

QByteArray AbsolutePath(const QByteArray &path)
{
    const QByteArray absolute = path.startsWith('/') ? path : currentDirectory() + '/' + path;
    QByteArray shown;
    for (const QByteArray &component : absolute.split('/')) {
        if (component.isEmpty() || component == ".")
            continue;
        shown += '/';
        shown += component;
    }
    return shown.isEmpty() ? QByteArray("/") : shown;
}

QByteArray ResolvedPath(const QByteArray &path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved))
        return resolved;
    const QByteArray absolute = AbsolutePath(path);
    const qsizetype slash = absolute.lastIndexOf('/');
    if (slash > 0 && ::realpath(absolute.left(slash).constData(), resolved))
        return (std::strcmp(resolved, "/") == 0 ? QByteArray() : QByteArray(resolved)) + absolute.mid(slash);
    return absolute;
}

QString DisplayPath(const QByteArray &path)
{
    return LocaleToText(AbsolutePath(path));
}
