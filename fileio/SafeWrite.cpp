#include "SafeWrite.h"

#include "fileio/Companion.h"
#include "fileio/FileAttributes.h"
#include "fileio/FileError.h"
#include "fileio/FileLock.h"
#include "fileio/ReadFile.h"
#include "fileio/RegularFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

int realOpen(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int realOpenat(int directory, const char *name, int flags, mode_t mode) { return ::openat(directory, name, flags, mode); }
int realFallocate(int fd, off_t offset, off_t size) { return ::posix_fallocate(fd, offset, size); }

// A descriptor that this routine only reads from, closed on every way out.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int opened) : fd(opened) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor(Descriptor &&other) noexcept : fd(std::exchange(other.fd, -1)) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// The directory that holds the opened file, and the file's name in it.
struct Location {
    Descriptor directory;
    QByteArray name;
};

// Whether the name in the directory still stands for the opened file.
bool holdsFile(const Location &where, const struct stat &file)
{
    struct stat entry {};
    return ::fstatat(where.directory.fd, where.name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0
           && entry.st_dev == file.st_dev && entry.st_ino == file.st_ino;
}

// Finds where the kernel found the opened file, after every link. Leaves the
// directory unopened (-1) when that cannot be told for sure, for example when
// the name was removed or replaced since the open.
void locate(int fd, const struct stat &file, Location *where)
{
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    QByteArray path(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlink(link.constData(), path.data(), size_t(path.size()));
    if (length <= 0 || length >= path.size() || path[0] != '/')
        return;
    path.truncate(length);
    const qsizetype slash = path.lastIndexOf('/');
    where->name = path.mid(slash + 1);
    const QByteArray directory = slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
    where->directory.fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (where->directory.fd >= 0 && !holdsFile(*where, file)) {
        ::close(where->directory.fd);
        where->directory.fd = -1;
    }
}

// Six or twelve random characters from a set safe in any file name.
QByteArray randomName(const QByteArray &prefix, int length)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[12];
    if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
        for (unsigned char &byte : random)
            byte = static_cast<unsigned char>(::rand());
    QByteArray name = prefix;
    for (int i = 0; i < length; ++i)
        name.append(alphabet[random[i] % (sizeof alphabet - 1)]);
    return name;
}

// Creates a fresh file of the prefix's name and a random end in the
// directory; returns -1 with errno set when it cannot.
int createFresh(const SafeWriteCalls &calls, int directory, const QByteArray &prefix, int length, QByteArray *name)
{
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        *name = randomName(prefix, length);
        fd = calls.openat(directory, name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    return fd;
}

bool writeAll(const SafeWriteCalls &calls, int fd, const std::vector<QByteArrayView> &chunks)
{
    for (QByteArrayView chunk : chunks) {
        const char *data = chunk.data();
        size_t left = size_t(chunk.size());
        while (left > 0) {
            const ssize_t written = calls.write(fd, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            left -= size_t(written);
        }
    }
    return true;
}

off_t totalSize(const std::vector<QByteArrayView> &chunks)
{
    off_t total = 0;
    for (QByteArrayView chunk : chunks)
        total += off_t(chunk.size());
    return total;
}

// The stamp of the file this save opened, as it is now. Read back through a
// descriptor of its own, so that even a write-only file is the one compared;
// one that cannot be read is compared by what fstat tells.
FileStamp stampOfOpened(int fd)
{
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const int readable = ::open(link.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (readable < 0)
        return StampOfOpenFile(fd);
    const FileStamp stamp = StampOfOpenFile(readable);
    ::close(readable);
    return stamp;
}

FileStamp stampOfWritten(int fd, quint64 digest)
{
    struct stat status {};
    ::fstat(fd, &status);
    return {true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, digest};
}

// The check right before the file is replaced, under the lock: the file
// still stands under the path and, unless the caller overwrites a change,
// is still the one expected. A name that stands for another file by then was
// replaced by a program that takes no lock; that file has not been seen.
struct LastCheck {
    const QByteArray &path;
    std::optional<FileStamp> expected;
    bool passes(int fd, const struct stat &file) const
    {
        return PathNamesFile(path, file) && (!expected || SameFileAndContent(*expected, stampOfOpened(fd)));
    }
};

// The whole new content in a companion file, synced with its name.
struct Companion {
    Descriptor directory;
    QByteArray name;
    QByteArray shownPath() const
    {
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(directory.fd);
        QByteArray path(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(link.constData(), path.data(), size_t(path.size()));
        return (length > 0 ? path.left(length) : QByteArray()) + '/' + name;
    }
    void remove() const { ::unlinkat(directory.fd, name.constData(), 0); }
};

// Writes the companion in the directory under a passing name and gives it
// its own only once whole and synced, so that every companion is whole;
// false, with nothing left there, when it cannot. `error` tells what failed:
// 0 for a write, else the create's errno.
bool writeCompanionIn(const SafeWriteCalls &calls, Companion *companion, const QByteArray &prefix,
                      const std::vector<QByteArrayView> &chunks, int *error)
{
    QByteArray partial;
    const int fd = createFresh(calls, companion->directory.fd, prefix, 12, &partial);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    companion->name = randomName(prefix + CompanionMark, 6);
    const bool written = writeAll(calls, fd, chunks) && calls.fsync(fd) == 0;
    if (calls.close(fd) == 0 && written
        && ::renameat(companion->directory.fd, partial.constData(), companion->directory.fd,
                      companion->name.constData()) == 0) {
        if (calls.fsync(companion->directory.fd) == 0 || errno == EINVAL)
            return true;
        companion->remove();
    }
    ::unlinkat(companion->directory.fd, partial.constData(), 0);
    *error = 0;
    return false;
}

// Beside the file where its directory allows, else in the state directory.
// Throws when neither takes the whole content: then nothing has changed.
Companion writeCompanion(const SafeWriteCalls &calls, const QByteArray &path, const Location &where,
                         const std::vector<QByteArrayView> &chunks)
{
    Companion companion;
    int error = 0;
    if (where.directory.fd >= 0) {
        companion.directory.fd = ::dup(where.directory.fd);
        if (writeCompanionIn(calls, &companion, CompanionPrefixBeside(where.name), chunks, &error))
            return companion;
        ::close(companion.directory.fd);
    }
    const QByteArray state = CompanionStateDirectory();
    QDir().mkpath(QFile::decodeName(state.left(state.lastIndexOf('/'))));
    ::mkdir(state.constData(), 0700);
    companion.directory.fd = ::open(state.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (companion.directory.fd < 0)
        throw FileError::createFailed(state, errno);
    if (writeCompanionIn(calls, &companion, CompanionPrefixInState(path), chunks, &error))
        return companion;
    if (error != 0)
        throw FileError::createFailed(state + '/' + companion.name, error);
    throw FileError::writeFailed();
}

// Rewrites the opened file itself, keeping its inode: every hard link, the
// owner, mode and attributes stay. A companion holds the new content until
// the file does; the new size is reserved first so a full disk fails before
// a byte of the file changes.
FileStamp writeInPlace(const SafeWriteCalls &calls, const LastCheck &check, int fd, const struct stat &file,
                       const std::vector<QByteArrayView> &chunks, quint64 digest)
{
    const QByteArray &path = check.path;
    Location where;
    locate(fd, file, &where);
    const Companion companion = writeCompanion(calls, path, where, chunks);
    if (!check.passes(fd, file)) {
        companion.remove();
        throw FileError::changedSinceRead(path);
    }
    const off_t size = totalSize(chunks);
    const int reserved = size > 0 ? calls.fallocate(fd, 0, size) : 0;
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
        companion.remove();
        throw FileError::writeFailed();
    }
    if (!writeAll(calls, fd, chunks) || calls.ftruncate(fd, size) != 0 || calls.fsync(fd) != 0)
        throw FileError::writeFailedKeptIn(companion.shownPath());
    companion.remove();
    return stampOfWritten(fd, digest);
}

// A file this save created and could not fill goes again, unless its name
// stands for something else by now.
void removeCreated(int fd, const struct stat &file)
{
    Location where;
    locate(fd, file, &where);
    if (where.directory.fd >= 0)
        ::unlinkat(where.directory.fd, where.name.constData(), 0);
}

// Writes a temporary file beside the opened one and renames it over the
// opened file's name; returns the new file's stamp. Returns nothing when the
// temporary cannot take the file's place without changing what the file is.
std::optional<FileStamp> replaceByTemporary(const SafeWriteCalls &calls, const LastCheck &check, int fd,
                                            const struct stat &file, const std::vector<QByteArrayView> &chunks,
                                            quint64 digest)
{
    const QByteArray &path = check.path;
    Location where;
    locate(fd, file, &where);
    if (where.directory.fd < 0)
        return std::nullopt;

    QByteArray temporary;
    const int temporaryFd = createFresh(calls, where.directory.fd, CompanionPrefixBeside(where.name), 12, &temporary);
    if (temporaryFd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM || error == EROFS)
            return std::nullopt;
        throw FileError::createFailed(path, error);
    }

    auto discard = [&](bool closeFirst) {
        if (closeFirst)
            calls.close(temporaryFd);
        ::unlinkat(where.directory.fd, temporary.constData(), 0);
    };

    if (!writeAll(calls, temporaryFd, chunks)) {
        discard(true);
        throw FileError::writeFailed();
    }
    if (calls.fchown(temporaryFd, file.st_uid, file.st_gid) != 0) {
        discard(true);
        return std::nullopt;
    }
    // After the owner, which clears set-id bits; the attributes last, since
    // writing and changing the owner clear some of them (file capabilities).
    if (calls.fchmod(temporaryFd, file.st_mode & 07777) != 0) {
        discard(true);
        throw FileError::writeFailed();
    }
    if (!CopyFileAttributes(fd, temporaryFd, calls.fsetxattr)) {
        discard(true);
        return std::nullopt;
    }
    if (calls.fsync(temporaryFd) != 0) {
        discard(true);
        throw FileError::writeFailed();
    }
    const FileStamp written = stampOfWritten(temporaryFd, digest);
    if (calls.close(temporaryFd) != 0) {
        discard(false);
        throw FileError::writeFailed();
    }
    if (!check.passes(fd, file) || !holdsFile(where, file)) {
        discard(false);
        throw FileError::changedSinceRead(path);
    }
    if (calls.renameat(where.directory.fd, temporary.constData(), where.directory.fd, where.name.constData()) != 0) {
        const int error = errno;
        discard(false);
        // A bind-mounted file (EBUSY), one on another file system than its
        // directory entry (EXDEV), or another user's file in a sticky folder
        // (EPERM, EACCES) can only be rewritten where it is.
        if (error == EBUSY || error == EXDEV || error == EPERM || error == EACCES)
            return std::nullopt;
        throw FileError::writeFailed();
    }
    if (calls.fsync(where.directory.fd) != 0 && errno != EINVAL)
        throw FileError::writeFailed();
    return written;
}

// The file the path names, opened for writing as the kernel allows (created
// where missing) and locked, unless the caller holds its lock already.
struct Target {
    int fd = -1;
    struct stat file {};
    bool missing = false;  // no file at the open
    bool created = false;  // made by this open
};

Target openLocked(const SafeWriteCalls &calls, const QByteArray &path, const FileStamp &asRead, bool refuseChanged,
                  const FileLock *held)
{
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (;;) {
        Target target;
        target.fd = OpenRegularFile(path, O_WRONLY, &target.file, calls.open);
        if (target.fd == NotRegularFile)
            throw FileError::createFailed(path, FileMessages::NotRegularFile);
        target.missing = target.fd < 0 && errno == ENOENT;
        if (target.missing) {
            // Removed since it was read: writing it again would undo that.
            if (refuseChanged && asRead.exists)
                throw FileError::changedSinceRead(path);
            target.fd = calls.open(path.constData(), flags | O_CREAT | O_EXCL, 0666);
            target.created = target.fd >= 0;
            // A link that points nowhere yet: its target is created, as any open would.
            if (target.fd < 0 && errno == EEXIST)
                target.fd = calls.open(path.constData(), flags | O_CREAT, 0666);
        }
        if (target.fd < 0) {
            const int error = errno;
            throw IsSpecialFile(path) ? FileError::createFailed(path, FileMessages::NotRegularFile)
                                      : FileError::createFailed(path, error);
        }
        const auto giveUp = [&] {
            if (target.created)
                removeCreated(target.fd, target.file);
            calls.close(target.fd);
        };
        if (::fstat(target.fd, &target.file) != 0) {
            const int error = errno;
            calls.close(target.fd);
            throw FileError::createFailed(path, error);
        }
        if (!S_ISREG(target.file.st_mode)) {
            calls.close(target.fd);
            throw FileError::createFailed(path, FileMessages::NotRegularFile);
        }
        if (!held || !held->covers(target.file)) {
            bool locked = false;
            try {
                locked = LockOpenFile(target.fd, path);
            } catch (const FileError &) {
                giveUp();
                throw;
            }
            // A save that replaced the file while this one waited leaves a new
            // file under the name: that one is saved, with its own lock.
            if (locked && !PathNamesFile(path, target.file)) {
                calls.close(target.fd);
                continue;
            }
        }
        // Under the lock, a companion is one a killed save left: the file may
        // be torn, and only the companion holds what it was becoming.
        if (const QList<QByteArray> left = CompanionsOf(path); !left.isEmpty()) {
            giveUp();
            throw FileError::unfinishedSave(path, left);
        }
        return target;
    }
}

quint64 digestOf(const std::vector<QByteArrayView> &chunks)
{
    ContentDigest digest;
    for (QByteArrayView chunk : chunks)
        digest.add(chunk);
    return digest.value();
}

}  // namespace

SafeWriteCalls RealSafeWriteCalls()
{
    return {realOpen, realOpenat, ::write, ::fsync, ::fchown, ::fchmod, ::fsetxattr, ::close, ::renameat,
            ::ftruncate, realFallocate};
}

SafeWriteCalls &SafeWriteSystemCalls()
{
    static SafeWriteCalls calls = RealSafeWriteCalls();
    return calls;
}

FileStamp WriteFileSafely(const QByteArray &path, const std::vector<QByteArrayView> &chunks, const FileStamp &asRead,
                          IfChanged ifChanged, const FileLock *held)
{
    const SafeWriteCalls &calls = SafeWriteSystemCalls();
    const bool refuseChanged = ifChanged == IfChanged::Refuse;
    const Target target = openLocked(calls, path, asRead, refuseChanged, held);
    const int fd = target.fd;
    const struct stat &file = target.file;
    // A file that was missing at the read is expected as this save found it.
    const LastCheck check{path, refuseChanged ? std::optional(target.missing ? stampOfOpened(fd) : asRead)
                                              : std::nullopt};
    const quint64 digest = digestOf(chunks);
    FileStamp written;
    try {
        // Only a file with one name can be replaced by another inode.
        std::optional<FileStamp> replaced;
        if (file.st_nlink == 1)
            replaced = replaceByTemporary(calls, check, fd, file, chunks, digest);
        written = replaced ? *replaced : writeInPlace(calls, check, fd, file, chunks, digest);
    } catch (...) {
        // Whichever way failed, a file this save created does not stay behind.
        if (target.created)
            removeCreated(fd, file);
        calls.close(fd);
        throw;
    }
    if (calls.close(fd) != 0)
        throw FileError::writeFailed();
    return written;
}

FileStamp WriteFileSafely(const QByteArray &path, QByteArrayView content, const FileStamp &asRead, IfChanged ifChanged,
                          const FileLock *held)
{
    return WriteFileSafely(path, std::vector<QByteArrayView>{content}, asRead, ifChanged, held);
}
