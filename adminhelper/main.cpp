// cvconfmanager-helper reads or saves one file for CVConfManager with the rights
// of the user pkexec runs it as, when the desktop user may not. It takes
// nothing but its arguments and standard input, and starts no other program.
//
//   cvconfmanager-helper read PATH
//       prints the file's stamp on one line, then the file's bytes.
//   cvconfmanager-helper write PATH STAMP [overwrite]
//       saves standard input as the file's content through the program's own
//       safe write, which refuses a file changed since the read STAMP describes
//       unless "overwrite" is given; prints the stamp of the file as written.
//
// PATH is absolute and names a regular file, or for write a new file in an
// existing folder. STAMP is the one-line text of a read's stamp ("-" when there
// was no file). Exit statuses: 0 done; 1 the file changed since the read, and
// nothing was written; 2 any other failure; 3 a wrong command line. A failure
// is printed on standard error as the program's error box shows it.

#include "adminhelper/HelperProtocol.h"
#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

QByteArray readStandardInput()
{
    QByteArray content;
    char block[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError::writeFailed();
        if (got == 0)
            return content;
        content.append(block, got);
    }
}

int run(int argc, char **argv)
{
    const bool read = argc == 3 && std::strcmp(argv[1], Helper::ReadVerb) == 0;
    const bool write = (argc == 4 || (argc == 5 && std::strcmp(argv[4], Helper::OverwriteWord) == 0))
                       && std::strcmp(argv[1], Helper::WriteVerb) == 0;
    const QByteArray path = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    const std::optional<FileStamp> asRead = write ? StampFromText(argv[3]) : std::nullopt;
    if (!(read || asRead) || !path.startsWith('/')) {
        std::fprintf(stderr, "usage: %s read PATH | write PATH STAMP [overwrite]  (PATH absolute)\n",
                     Helper::FileName);
        return Helper::Usage;
    }
    QByteArray answer;
    if (read) {
        FileStamp stamp;
        const QByteArray bytes = ReadWholeFile(path, &stamp);
        answer = StampText(stamp) + '\n' + bytes;
    } else {
        const IfChanged ifChanged = argc == 5 ? IfChanged::Overwrite : IfChanged::Refuse;
        answer = StampText(WriteFileSafely(path, readStandardInput(), *asRead, ifChanged)) + '\n';
    }
    if (!writeAll(STDOUT_FILENO, answer))
        throw FileError::writeFailed();
    return Helper::Done;
}

}  // namespace

int main(int argc, char **argv)
{
    // Nothing from the caller's environment: a save in place keeps its
    // companion under the home of the user the helper runs as.
    ::clearenv();
    if (const passwd *user = ::getpwuid(::geteuid()))
        ::setenv("HOME", user->pw_dir, 1);
    try {
        return run(argc, argv);
    } catch (const FileError &error) {
        std::fputs(ErrorBoxText(error.message()).toUtf8().append('\n').constData(), stderr);
        return error.kind() == FileError::Kind::Changed ? Helper::Changed : Helper::Failed;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return Helper::Failed;
    }
}
