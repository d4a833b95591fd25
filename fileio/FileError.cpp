#include "FileError.h"

#include "fileio/Companion.h"
#include "fileio/LocaleText.h"

#include <QByteArrayList>
#include <cerrno>
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

FileError FileError::lockedBy(const QByteArray &path, const std::optional<LockHolder> &holder)
{
    const QString by = holder ? HolderText(*holder) : QStringLiteral("another program");
    FileError error(Kind::Locked,
                    QStringLiteral("The file %1 is locked by %2; nothing was written").arg(DisplayPath(path), by));
    error.m_path = path;
    error.m_holder = holder;
    return error;
}

FileError FileError::unfinishedSave(const QByteArray &path, const QList<QByteArray> &companions)
{
    FileError error(Kind::Unfinished, CompanionsReport(path, companions));
    error.m_path = path;
    error.m_companions = companions;
    return error;
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

QString DisplayPath(const QByteArray &path)
{
    return LocaleToText(AbsolutePath(path));
}
