#include "CheckedPath.h"

#include "fileio/FileError.h"

#include <QByteArrayList>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A folder on the path, with the entry the path takes from it.
struct Folder {
    int fd;
    struct stat status;
    QByteArray path;
    std::optional<uid_t> nextOwner;  // none: the entry is missing
};

// The user's ids and groups in place of root's while it lives, so that the
// kernel judges access as it would for the user. A helper that does not run
// as root runs as the user already.
class AsUser {
public:
    explicit AsUser(uid_t uid)
    {
        if (::geteuid() != 0)
            return;
        const passwd *user = ::getpwuid(uid);
        if (!user)
            throw std::runtime_error("no user " + std::to_string(uid));
        const gid_t group = user->pw_gid;
        int count = 32;
        std::vector<gid_t> groups(static_cast<size_t>(count));
        while (::getgrouplist(user->pw_name, group, groups.data(), &count) < 0)
            groups.resize(size_t(count));
        groups.resize(size_t(count));
        m_group = ::getegid();
        m_groups.resize(size_t(::getgroups(0, nullptr)));
        m_switched = ::getgroups(int(m_groups.size()), m_groups.data()) >= 0;
        if (!m_switched || ::setgroups(groups.size(), groups.data()) != 0 || ::setegid(group) != 0
            || ::seteuid(uid) != 0) {
            restore();
            throw std::runtime_error("cannot take the ids of user " + std::to_string(uid));
        }
    }
    ~AsUser() { restore(); }
    AsUser(const AsUser &) = delete;
    AsUser &operator=(const AsUser &) = delete;

private:
    void restore()
    {
        // Going on with the user's rights would be wrong in every later step.
        if (m_switched
            && (::seteuid(0) != 0 || ::setegid(m_group) != 0 || ::setgroups(m_groups.size(), m_groups.data()) != 0))
            std::abort();
        m_switched = false;
    }
    bool m_switched = false;
    gid_t m_group = 0;
    std::vector<gid_t> m_groups;
};

// Whether the user could rename or plant the entry the path takes from the folder.
bool userControls(const Folder &folder, uid_t user)
{
    if (folder.status.st_uid == user)
        return true;
    if (::faccessat(folder.fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) != 0)
        return false;
    return !(folder.status.st_mode & S_ISVTX) || !folder.nextOwner || *folder.nextOwner == user;
}

}  // namespace

bool IsPlainAbsolutePath(const QByteArray &path)
{
    if (!path.startsWith('/') || path.size() >= PATH_MAX)
        return false;
    const QByteArrayList names = path.mid(1).split('/');
    return std::none_of(names.begin(), names.end(),
                        [](const QByteArray &name) { return name.isEmpty() || name == "." || name == ".."; });
}

CheckedFile EnterCheckedFolder(const QByteArray &path, std::optional<uid_t> user, bool forWrite)
{
    const auto refused = [&](const QString &reason) {
        return forWrite ? FileError::createFailed(path, reason) : FileError::openFailed(path, reason);
    };
    const auto failed = [&](int error) {
        return forWrite ? FileError::createFailed(path, error) : FileError::openFailed(path, error);
    };
    std::vector<Folder> folders;
    const auto closeAll = qScopeGuard([&] {
        for (const Folder &folder : folders)
            ::close(folder.fd);
    });
    const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0)
        throw failed(errno);
    folders.push_back({root, {}, "/", std::nullopt});
    if (::fstat(root, &folders.back().status) != 0)
        throw failed(errno);

    const QByteArrayList names = path.mid(1).split('/');
    std::optional<struct stat> found;
    qsizetype walked = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const bool last = i == names.size() - 1;
        walked += 1 + names[i].size();
        const QByteArray entry = path.left(walked);
        Folder &folder = folders.back();
        const int fd = ::openat(folder.fd, names[i].constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && last && forWrite)
            break;
        if (fd < 0)
            throw failed(errno);
        struct stat status {};
        const int error = ::fstat(fd, &status) == 0 ? 0 : errno;
        if (error != 0 || last || !S_ISDIR(status.st_mode))
            ::close(fd);
        if (error != 0)
            throw failed(error);
        folder.nextOwner = status.st_uid;
        if (S_ISLNK(status.st_mode))
            throw refused(
                QStringLiteral("Der Pfad führt über die symbolische Verknüpfung %1").arg(DisplayPath(entry)));
        if (!last && !S_ISDIR(status.st_mode))
            throw failed(ENOTDIR);
        if (last && S_ISDIR(status.st_mode))
            throw failed(EISDIR);
        if (last && !S_ISREG(status.st_mode))
            throw forWrite ? FileError::createFailed(path, FileMessages::NotRegularFile)
                          : FileError::openFailed(path, FileMessages::NotRegularFile);
        if (last)
            found = status;
        else
            folders.push_back({fd, status, entry, std::nullopt});
    }

    if (user) {
        const AsUser asUser(*user);
        for (const Folder &folder : folders) {
            if (userControls(folder, *user))
                throw refused(QStringLiteral("Der Ordner %1 gehört dem aufrufenden Benutzer oder ist für ihn "
                                             "beschreibbar")
                                  .arg(DisplayPath(folder.path)));
        }
    }
    if (::fchdir(folders.back().fd) != 0)
        throw failed(errno);
    return {names.last(), found};
}
