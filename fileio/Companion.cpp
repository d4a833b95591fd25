#include "Companion.h"

#include "fileio/FileError.h"
#include "fileio/FileLock.h"

#include <QDir>
#include <QScopeGuard>
#include <QStringList>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The longest prefix that leaves room for the random end within NAME_MAX.
constexpr qsizetype LongestStatePrefix = 230;

QList<QByteArray> entriesStartingWith(const QByteArray &directory, const QByteArray &prefix)
{
    QList<QByteArray> found;
    const std::unique_ptr<DIR, int (*)(DIR *)> listing(::opendir(directory.constData()), ::closedir);
    if (!listing)
        return found;
    while (const dirent *entry = ::readdir(listing.get())) {
        const QByteArray name(entry->d_name);
        if (name.startsWith(prefix))
            found.append((directory.endsWith('/') ? directory : directory + '/') + name);
    }
    return found;
}

}  // namespace

const char CompanionMark[] = "unsaved-";

QByteArray CompanionStateDirectory()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/'))
        return state + "/cvconfmanager";
    return qgetenv("HOME") + "/.local/state/cvconfmanager";
}

QByteArray CompanionPrefixBeside(const QByteArray &name)
{
    return '.' + name + '.';
}

QByteArray CompanionPrefixInState(const QByteArray &path)
{
    QByteArray encoded = ResolvedPath(path);
    encoded.replace('%', "%25").replace('/', "%2F");
    return encoded.right(LongestStatePrefix) + '.';
}

QList<QByteArray> LeftCompanions(const QByteArray &path)
{
    // A save that is still running holds the file locked, and its companion
    // is not left behind. While this shared lock is held no save runs; other
    // reports may hold it at the same time.
    struct stat file {};
    const int fd = OpenToLock(path, &file);
    const auto unlock = qScopeGuard([fd] {
        if (fd >= 0)
            ::close(fd);
    });
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return {};
    // Beside the file itself, after every link, as the save found it.
    const QByteArray real = ResolvedPath(path);
    const qsizetype slash = real.lastIndexOf('/');
    QList<QByteArray> found = entriesStartingWith(slash == 0 ? QByteArray("/") : real.left(slash),
                                                  CompanionPrefixBeside(real.mid(slash + 1)) + CompanionMark);
    found += entriesStartingWith(CompanionStateDirectory(), CompanionPrefixInState(path) + CompanionMark);
    return found;
}

QString LeftCompanionsReport(const QList<QByteArray> &files, MessageForm form)
{
    QStringList lines{form(FileMessages::CompanionsLeft)};
    for (const QByteArray &file : files) {
        for (const QByteArray &companion : LeftCompanions(file))
            lines.append(WithArguments(form(FileMessages::CompanionOf), {DisplayPath(companion), DisplayPath(file)}));
    }
    if (lines.size() == 1)
        return {};
    lines.append(form(FileMessages::CompanionAdvice));
    return lines.join(QLatin1Char('\n'));
}
