#include "Companion.h"

#include "fileio/FileError.h"
#include "fileio/FileLock.h"

#include <QDir>
#include <QStringList>
#include <cerrno>
#include <dirent.h>
#include <memory>
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

// Each companion with the file it belongs to.
QStringList foundLines(const QByteArray &file, const QList<QByteArray> &companions, MessageForm form)
{
    QStringList found;
    for (const QByteArray &companion : companions)
        found.append(WithArguments(form(FileMessages::CompanionOf), {DisplayPath(companion), DisplayPath(file)}));
    return found;
}

QString report(const QStringList &found, MessageForm form)
{
    if (found.isEmpty())
        return {};
    return (QStringList{form(FileMessages::CompanionsLeft)} + found + QStringList{form(FileMessages::CompanionAdvice)})
        .join(QLatin1Char('\n'));
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

QList<QByteArray> CompanionsOf(const QByteArray &path)
{
    // Beside the file itself, after every link, as the save found it.
    const QByteArray real = ResolvedPath(path);
    const qsizetype slash = real.lastIndexOf('/');
    QList<QByteArray> found = entriesStartingWith(slash == 0 ? QByteArray("/") : real.left(slash),
                                                  CompanionPrefixBeside(real.mid(slash + 1)) + CompanionMark);
    found += entriesStartingWith(CompanionStateDirectory(), CompanionPrefixInState(path) + CompanionMark);
    return found;
}

QList<QByteArray> LeftCompanions(const QByteArray &path)
{
    // A save that is still running holds the file locked, and its companion
    // is not left behind. While this shared lock is held no save runs; other
    // reports may hold it at the same time.
    const SharedLockIfFree lock(path);
    if (lock.saveRunning())
        return {};
    return CompanionsOf(path);
}

QString CompanionsReport(const QByteArray &file, const QList<QByteArray> &companions, MessageForm form)
{
    return report(foundLines(file, companions, form), form);
}

QString LeftCompanionsReport(const QList<QByteArray> &files, MessageForm form)
{
    QStringList found;
    for (const QByteArray &file : files)
        found += foundLines(file, LeftCompanions(file), form);
    return report(found, form);
}
