#include "FileError.h"

#include "LocaleText.h"

#include <QDir>
#include <cstring>

FileError::FileError(Kind kind, const QString &message)
    : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
{
}

FileError FileError::openFailed(const QByteArray &path, int errorNumber)
{
    return FileError(Kind::Open, QStringLiteral("Datei %1 kann nicht geöffnet werden. %2")
                                     .arg(DisplayPath(path), SystemErrorText(errorNumber)));
}

FileError FileError::createFailed(const QByteArray &path, int errorNumber)
{
    return FileError(Kind::Create, QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2")
                                       .arg(DisplayPath(path), SystemErrorText(errorNumber)));
}

FileError FileError::writeFailed()
{
    return FileError(Kind::Write, QStringLiteral("Stream-Schreibfehler"));
}

QString SystemErrorText(int errorNumber)
{
    // strerror speaks the user's language (LC_MESSAGES) in the locale's charset.
    return LocaleToText(std::strerror(errorNumber));
}

QString DisplayPath(const QByteArray &path)
{
    const QString text = LocaleToText(path);
    if (text.startsWith(QLatin1Char('/')))
        return text;
    return QDir::current().absoluteFilePath(text);
}
