#include "FileError.h"

#include "fileio/Companion.h"
#include "fileio/LocaleText.h"
#include "fileio/ReadFile.h"

#include <QByteArrayList>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

QString FixedText(const FileMessage &message)
{
    return QString::fromUtf8(message.fixed);
}

QString WithArguments(const QString &text, const QStringList &arguments)
{
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int number = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (text[i] == QLatin1Char('%') && number >= 1 && number <= arguments.size()) {
            result += arguments[number - 1];
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

FileError::FileError(Kind kind, const FileMessage *message, const QList<Argument> &arguments, int errorNumber)
    : std::runtime_error(text(FixedText, message, arguments).toStdString()),
      m_kind(kind),
      m_message(message),
      m_arguments(arguments),
      m_errorNumber(errorNumber)
{
}

QString FileError::text(MessageForm form, const FileMessage *message, const QList<Argument> &arguments)
{
    QStringList shown;
    for (const Argument &argument : arguments)
        shown.append(argument.message ? form(*argument.message) : argument.shown);
    return message ? WithArguments(form(*message), shown) : shown.value(0);
}

QString FileError::text(MessageForm form) const
{
    if (m_kind == Kind::Unfinished)
        return CompanionsReport(m_path, m_companions, form);
    return text(form, m_message, m_arguments);
}

FileError FileError::openFailed(const QByteArray &path, int errorNumber)
{
    return FileError(Kind::Open, &FileMessages::OpenFailed, {{DisplayPath(path)}, {SystemErrorText(errorNumber)}},
                     errorNumber);
}

FileError FileError::openFailed(const QByteArray &path, const FileMessage &reason)
{
    return FileError(Kind::Open, &FileMessages::OpenFailed, {{DisplayPath(path)}, {QString(), &reason}});
}

FileError FileError::openFailed(const QByteArray &path, const QString &reason)
{
    return FileError(Kind::Open, &FileMessages::OpenFailed, {{DisplayPath(path)}, {reason}});
}

FileError FileError::createFailed(const QByteArray &path, int errorNumber)
{
    return FileError(Kind::Create, &FileMessages::CreateFailed, {{DisplayPath(path)}, {SystemErrorText(errorNumber)}},
                     errorNumber);
}

FileError FileError::createFailed(const QByteArray &path, const FileMessage &reason)
{
    return FileError(Kind::Create, &FileMessages::CreateFailed, {{DisplayPath(path)}, {QString(), &reason}});
}

FileError FileError::createFailed(const QByteArray &path, const QString &reason)
{
    return FileError(Kind::Create, &FileMessages::CreateFailed, {{DisplayPath(path)}, {reason}});
}

FileError FileError::writeFailed()
{
    return FileError(Kind::Write, &FileMessages::WriteFailed, {});
}

FileError FileError::writeFailedKeptIn(const QByteArray &companion)
{
    return FileError(Kind::Write, &FileMessages::WriteFailedKeptIn, {{DisplayPath(companion)}});
}

FileError FileError::changedSinceRead(const QByteArray &path)
{
    return FileError(Kind::Changed, &FileMessages::ChangedSinceRead, {{DisplayPath(path)}});
}

FileError FileError::lockedBy(const QByteArray &path, const std::optional<LockHolder> &holder)
{
    if (!holder)
        return FileError(Kind::Locked, &FileMessages::LockedByUnknown, {{DisplayPath(path)}});
    return FileError(Kind::Locked, &FileMessages::LockedBy, {{DisplayPath(path)}, {HolderText(*holder)}});
}

QString WaitText(const WaitReason &reason, MessageForm form)
{
    const QString path = DisplayPath(reason.path);
    // Only the windows read or save as administrator, and their texts are fixed.
    switch (reason.kind) {
    case WaitReason::Kind::AdministratorRead:
        return QStringLiteral("Waiting for the authentication to read %1 as administrator").arg(path);
    case WaitReason::Kind::AdministratorSave:
        return QStringLiteral("Waiting for the authentication to save %1 as administrator").arg(path);
    case WaitReason::Kind::Lock:
        break;
    }
    if (!reason.holder)
        return WithArguments(form(FileMessages::WaitingForUnknownLock), {path});
    return WithArguments(form(FileMessages::WaitingForLock), {path, HolderText(*reason.holder)});
}

FileError FileError::unfinishedSave(const QByteArray &path, const QList<QByteArray> &companions)
{
    FileError error(Kind::Unfinished, nullptr, {{CompanionsReport(path, companions, FixedText)}});
    error.m_path = path;
    error.m_companions = companions;
    return error;
}

FileError FileError::reported(Kind kind, const QString &message)
{
    return FileError(kind, nullptr, {{message}});
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
