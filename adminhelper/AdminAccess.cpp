#include "AdminAccess.h"

#include "adminhelper/HelperProtocol.h"
#include "fileio/FileError.h"
#include "fileio/Waiting.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <csignal>

namespace {

// pkexec's statuses for an authorization not obtained: the dialog dismissed;
// refused, or no way to ask (no authentication agent), which it says why.
constexpr int Dismissed = 126;
constexpr int NotAuthorized = 127;

// How long pkexec is waited for at a time: it takes the content meanwhile.
constexpr int HelperSlice = 20;
// How long the helper, once it runs as root, is waited for: it waits at most
// 10 s for the file's lock and writes 256 MiB at most.
constexpr std::chrono::minutes HelperBound{2};

// Runs the helper through pkexec, found on the search path, and returns its
// standard output; nothing when no authorization was obtained. A failure of
// the helper comes back as its text in a FileError. The helper refuses links:
// the path it gets is the real one, resolved here with the user's rights.
std::optional<QByteArray> runHelper(const QStringList &arguments, const std::vector<QByteArrayView> &input,
                                    FileError::Kind failure, const WaitReason &reason)
{
    // pkexec runs only what the polkit action names: the helper by its absolute path.
    const QString helper = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(Helper::FileName);
    QProcess pkexec;
    pkexec.start(QStringLiteral("pkexec"), QStringList{helper} + arguments);
    if (pkexec.state() != QProcess::NotRunning) {
        for (const QByteArrayView chunk : input)
            pkexec.write(chunk.data(), chunk.size());
        pkexec.closeWriteChannel();
        // The authentication takes as long as the user does, up to a bound,
        // with this process's pause between short waits, so the windows paint.
        const auto finished = [&] {
            return pkexec.state() == QProcess::NotRunning || pkexec.waitForFinished(HelperSlice);
        };
        const std::chrono::milliseconds bound = ProcessWaiting().authenticationBound;
        if (!WaitUntil(finished, bound, [&] { return reason; })) {
            // Still asking, pkexec is this user's and can be ended; once the
            // helper runs it is root's, and its own waits are bounded.
            if (::kill(pid_t(pkexec.processId()), SIGKILL) == 0) {
                pkexec.waitForFinished(1000);  // ended at once; only collected
                throw FileError::reported(
                    failure, QStringLiteral("No administrator's authentication within %1 seconds; nothing was written")
                                 .arg(std::chrono::duration_cast<std::chrono::seconds>(bound).count()));
            }
            if (!WaitUntil(finished, HelperBound, [&] { return reason; }))
                throw FileError::reported(failure, QStringLiteral("%1 did not end within %2 minutes")
                                                       .arg(Helper::FileName)
                                                       .arg(HelperBound.count()));
        }
    }
    if (pkexec.error() == QProcess::FailedToStart)
        throw FileError::reported(failure, QStringLiteral("pkexec: ") + pkexec.errorString());
    const QString errorText = QString::fromUtf8(pkexec.readAllStandardError()).trimmed();
    if (pkexec.exitStatus() != QProcess::NormalExit)
        throw FileError::reported(failure, QStringLiteral("pkexec: ") + pkexec.errorString());
    switch (pkexec.exitCode()) {
    case Helper::Done:
        return pkexec.readAllStandardOutput();
    case Dismissed:
        return std::nullopt;
    case NotAuthorized:
        if (errorText.isEmpty())
            return std::nullopt;
        throw FileError::reported(failure, errorText);
    case Helper::Changed:
        throw FileError::reported(FileError::Kind::Changed, errorText);
    default:
        throw FileError::reported(failure, errorText);
    }
}

// The stamp line that leads the helper's answer, and what follows it.
FileStamp takeStamp(QByteArray &answer, FileError::Kind failure)
{
    const qsizetype end = answer.indexOf('\n');
    const std::optional<FileStamp> stamp = end < 0 ? std::nullopt : StampFromText(answer.first(end));
    if (!stamp)
        throw FileError::reported(failure, QStringLiteral("%1: no stamp in its answer").arg(Helper::FileName));
    answer.remove(0, end + 1);
    return *stamp;
}

}  // namespace

std::optional<QByteArray> ReadAsAdministrator(const QByteArray &path, FileStamp *stamp)
{
    std::optional<QByteArray> answer =
        runHelper({Helper::ReadVerb, QFile::decodeName(ResolvedPath(path))}, {}, FileError::Kind::Open,
                  {WaitReason::Kind::AdministratorRead, path, std::nullopt});
    if (answer) {
        const FileStamp read = takeStamp(*answer, FileError::Kind::Open);
        if (stamp)
            *stamp = read;
    }
    return answer;
}

std::optional<FileStamp> SaveAsAdministrator(const QByteArray &path, const std::vector<QByteArrayView> &content,
                                             const FileStamp &asRead, IfChanged ifChanged)
{
    // The helper saves nothing unless it received all of this and no more.
    qint64 length = 0;
    ContentDigest digest;
    for (const QByteArrayView chunk : content) {
        length += chunk.size();
        digest.add(chunk);
    }
    QStringList arguments{Helper::WriteVerb, QFile::decodeName(ResolvedPath(path)),
                          QString::fromLatin1(StampText(asRead)), QString::number(length),
                          QString::number(quint64(digest.value()))};
    if (ifChanged == IfChanged::Overwrite)
        arguments.append(Helper::OverwriteWord);
    const WaitReason reason{WaitReason::Kind::AdministratorSave, path, std::nullopt};
    std::optional<QByteArray> answer = runHelper(arguments, content, FileError::Kind::Write, reason);
    if (!answer)
        return std::nullopt;
    return takeStamp(*answer, FileError::Kind::Write);
}
