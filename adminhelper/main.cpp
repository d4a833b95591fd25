// cvconfmanager-helper reads or saves one file for CVConfManager with the rights
// of the user pkexec runs it as, when the desktop user may not. It takes
// nothing but its arguments, PKEXEC_UID and standard input, and starts no
// other program.
//
//   cvconfmanager-helper read PATH
//       prints the file's stamp on one line, then the file's bytes.
//   cvconfmanager-helper write PATH STAMP LENGTH DIGEST [overwrite]
//       saves standard input as the file's content through the program's own
//       safe write, which refuses a file changed since the read STAMP describes
//       unless "overwrite" is given; prints the stamp of the file as written.
//       Standard input must hold exactly LENGTH bytes (LargestFileSize at
//       most) with the content digest DIGEST, both in decimal; anything else
//       (a caller killed while it fed the content) writes nothing.
//
// PATH is absolute and plain (no ".", ".." or empty name). It is refused when
// a name on it is a symbolic link, when a folder on it belongs to the user who
// asked (PKEXEC_UID, else the real user; not for root itself) or that user may
// write it, and when it names anything but a regular file, or for write a
// missing one (CheckedPath.h). STAMP is the one-line text of a read's stamp
// ("-" when there was no file). Exit statuses: 0 done; 1 the file changed
// since the read, and nothing was written; 2 any other failure, refusals
// included; 3 a wrong command line. A failure is printed on standard error as
// the program's error box shows it.

#include "adminhelper/CheckedPath.h"
#include "adminhelper/HelperProtocol.h"
#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <pwd.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t done = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes = bytes.sliced(done);
    }
    return true;
}

// A number in plain decimal, as the program writes it: no sign, blank or
// leading zero.
std::optional<quint64> decimal(const QByteArray &text)
{
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    return ok && QByteArray::number(value) == text ? std::optional(value) : std::nullopt;
}

// Exactly `length` bytes with that digest, and then the end: a caller killed
// while it fed the content, or one that sends more, has nothing saved.
QByteArray readContent(const QByteArray &path, qsizetype length, quint64 digest)
{
    QByteArray content(length, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        char beyond = 0;
        const bool full = used == length;
        const ssize_t got = full ? ::read(STDIN_FILENO, &beyond, 1)
                                 : ::read(STDIN_FILENO, content.data() + used, size_t(length - used));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError::createFailed(path, errno);
        if (got == 0)
            break;
        if (full)
            throw FileError::createFailed(path, QStringLiteral("Die Eingabe ist länger als %1 Bytes").arg(length));
        used += got;
    }
    if (used < length)
        throw FileError::createFailed(path,
                                      QStringLiteral("Die Eingabe endete nach %1 von %2 Bytes").arg(used).arg(length));
    ContentDigest check;
    check.add(content);
    if (check.value() != digest)
        throw FileError::createFailed(path, QStringLiteral("Die Prüfsumme der Eingabe stimmt nicht"));
    return content;
}

int run(int argc, char **argv, std::optional<uid_t> user)
{
    const bool read = argc == 3 && std::strcmp(argv[1], Helper::ReadVerb) == 0;
    const bool write = (argc == 6 || (argc == 7 && std::strcmp(argv[6], Helper::OverwriteWord) == 0))
                       && std::strcmp(argv[1], Helper::WriteVerb) == 0;
    const QByteArray path = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    const std::optional<FileStamp> asRead = write ? StampFromText(argv[3]) : std::nullopt;
    const std::optional<quint64> length = write ? decimal(argv[4]) : std::nullopt;
    const std::optional<quint64> digest = write ? decimal(argv[5]) : std::nullopt;
    if (!(read || (asRead && length && digest)) || !IsPlainAbsolutePath(path)) {
        std::fprintf(stderr,
                     "usage: %s read PATH | write PATH STAMP LENGTH DIGEST [overwrite]  (PATH absolute, "
                     "without \".\", \"..\" or empty names)\n",
                     Helper::FileName);
        return Helper::Usage;
    }
    QByteArray answer;
    if (read) {
        const CheckedFile file = EnterCheckedFolder(path, user, false);
        FileStamp stamp;
        const QByteArray bytes = ReadWholeFile(file.name, &stamp);
        // Only someone who may write the folder could have swapped the name
        // since the check; what was read is then not the file checked.
        if (stamp.device != file.status->st_dev || stamp.inode != file.status->st_ino)
            throw FileError::openFailed(path, QStringLiteral("Die Datei wurde während des Lesens ersetzt"));
        answer = StampText(stamp) + '\n' + bytes;
    } else {
        if (*length > quint64(LargestFileSize))
            throw FileError::createFailed(path, FileMessages::TooLarge);
        // All of the content before the path is checked and the file locked,
        // so a slow caller holds neither.
        const QByteArray content = readContent(path, qsizetype(*length), *digest);
        const CheckedFile file = EnterCheckedFolder(path, user, true);
        const IfChanged ifChanged = argc == 7 ? IfChanged::Overwrite : IfChanged::Refuse;
        answer = StampText(WriteFileSafely(file.name, content, *asRead, ifChanged)) + '\n';
    }
    if (!writeAll(STDOUT_FILENO, answer))
        throw FileError::writeFailed();
    return Helper::Done;
}

// Whom the refusals of planted paths protect against; none for root. pkexec
// runs the helper with root as its real user and names who asked; a helper
// started otherwise works for its real user, whatever its environment claims.
std::optional<uid_t> invokingUser(const QByteArray &pkexecUid)
{
    uid_t user = ::getuid();
    if (user == 0 && !pkexecUid.isNull()) {
        const std::optional<quint64> asked = decimal(pkexecUid);
        if (!asked || *asked != uid_t(*asked))
            throw std::invalid_argument("PKEXEC_UID is no user id");
        user = uid_t(*asked);
    }
    return user == 0 ? std::nullopt : std::optional(user);
}

}  // namespace

int main(int argc, char **argv)
{
    const QByteArray pkexecUid = qgetenv("PKEXEC_UID");
    // Nothing else from the caller's environment: a save in place keeps its
    // companion under the home of the user the helper runs as.
    ::clearenv();
    if (const passwd *user = ::getpwuid(::geteuid()))
        ::setenv("HOME", user->pw_dir, 1);
    try {
        return run(argc, argv, invokingUser(pkexecUid));
    } catch (const FileError &error) {
        std::fputs(ErrorBoxText(error.message()).toUtf8().append('\n').constData(), stderr);
        return error.kind() == FileError::Kind::Changed ? Helper::Changed : Helper::Failed;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return Helper::Failed;
    }
}
