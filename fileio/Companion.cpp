#include "Companion.h"

#include "FileError.h"

#include <QDir>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>

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

QByteArray CompanionStateDirectory()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/'))
        return state + "/cvconfmanager";
    return qgetenv("HOME") + "/.local/state/cvconfmanager";
}

QByteArray CompanionPrefixBeside(const QByteArray &name)
{
    return '.' + name + ".unsaved-";
}

QByteArray CompanionPrefixInState(const QByteArray &path)
{
    QByteArray encoded = AbsolutePath(path);
    encoded.replace('%', "%25").replace('/', "%2F");
    return encoded.right(LongestStatePrefix) + ".unsaved-";
}

QList<QByteArray> LeftCompanions(const QByteArray &path)
{
    // Beside the file itself, after every link, as the save found it.
    char resolved[PATH_MAX];
    const QByteArray real = ::realpath(path.constData(), resolved) ? QByteArray(resolved) : AbsolutePath(path);
    const qsizetype slash = real.lastIndexOf('/');
    QList<QByteArray> found = entriesStartingWith(slash == 0 ? QByteArray("/") : real.left(slash),
                                                  CompanionPrefixBeside(real.mid(slash + 1)));
    found += entriesStartingWith(CompanionStateDirectory(), CompanionPrefixInState(path));
    return found;
}
