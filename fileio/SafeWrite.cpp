#include "SafeWrite.h"

#include "FileAttributes.h"
#include "FileError.h"
#include "ReadFile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

QByteArray temporaryNameFor(const QByteArray &name)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[12];
    if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
        for (unsigned char &byte : random)
            byte = static_cast<unsigned char>(::rand());
    QByteArray temporary = "." + name + ".";
    for (unsigned char byte : random)
        temporary.append(alphabet[byte % (sizeof alphabet - 1)]);
    return temporary;
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

// Rewrites the opened file itself, keeping its inode: every hard link, the
// owner, mode and attributes stay. The new size is reserved first so a full
// disk fails early. Takes over the descriptor.
void writeInPlace(const SafeWriteCalls &calls, int fd, const std::vector<QByteArrayView> &chunks)
{
    const off_t size = totalSize(chunks);
    const int reserved = size > 0 ? calls.fallocate(fd, 0, size) : 0;
    const bool ok = (reserved == 0 || reserved == EOPNOTSUPP || reserved == EINVAL)
                    && writeAll(calls, fd, chunks) && calls.ftruncate(fd, size) == 0
                    && calls.fsync(fd) == 0;
    const bool closed = calls.close(fd) == 0;
    if (!ok || !closed)
        throw FileError::writeFailed();
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

enum class TemporaryOutcome { Replaced, UseInPlace };

// Writes a temporary file beside the opened one and renames it over the
// opened file's name. Returns UseInPlace when the temporary cannot take the
// file's place without changing what the file is.
TemporaryOutcome replaceByTemporary(const SafeWriteCalls &calls, const QByteArray &path, int fd,
                                    const struct stat &file, const std::vector<QByteArrayView> &chunks)
{
    Location where;
    locate(fd, file, &where);
    if (where.directory.fd < 0)
        return TemporaryOutcome::UseInPlace;

    QByteArray temporary;
    int temporaryFd = -1;
    for (int attempt = 0; attempt < 100 && temporaryFd < 0; ++attempt) {
        temporary = temporaryNameFor(where.name);
        temporaryFd = calls.openat(where.directory.fd, temporary.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (temporaryFd < 0 && errno != EEXIST)
            break;
    }
    if (temporaryFd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM || error == EROFS)
            return TemporaryOutcome::UseInPlace;
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
        return TemporaryOutcome::UseInPlace;
    }
    // After the owner, which clears set-id bits; the attributes last, since
    // writing and changing the owner clear some of them (file capabilities).
    if (calls.fchmod(temporaryFd, file.st_mode & 07777) != 0) {
        discard(true);
        throw FileError::writeFailed();
    }
    if (!CopyFileAttributes(fd, temporaryFd, calls.fsetxattr)) {
        discard(true);
        return TemporaryOutcome::UseInPlace;
    }
    if (calls.fsync(temporaryFd) != 0) {
        discard(true);
        throw FileError::writeFailed();
    }
    if (calls.close(temporaryFd) != 0) {
        discard(false);
        throw FileError::writeFailed();
    }
    // A name swapped for something else meanwhile is left alone; the content
    // goes to the file that was opened.
    if (!holdsFile(where, file)) {
        discard(false);
        return TemporaryOutcome::UseInPlace;
    }
    if (calls.renameat(where.directory.fd, temporary.constData(), where.directory.fd, where.name.constData()) != 0) {
        const int error = errno;
        discard(false);
        // A bind-mounted file (EBUSY), one on another file system than its
        // directory entry (EXDEV), or another user's file in a sticky folder
        // (EPERM, EACCES) can only be rewritten where it is.
        if (error == EBUSY || error == EXDEV || error == EPERM || error == EACCES)
            return TemporaryOutcome::UseInPlace;
        throw FileError::writeFailed();
    }
    if (calls.fsync(where.directory.fd) != 0 && errno != EINVAL)
        throw FileError::writeFailed();
    return TemporaryOutcome::Replaced;
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

void WriteFileSafely(const QByteArray &path, const std::vector<QByteArrayView> &chunks)
{
    const SafeWriteCalls &calls = SafeWriteSystemCalls();
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = calls.open(path.constData(), flags, 0);
    bool created = false;
    if (fd < 0 && errno == ENOENT) {
        fd = calls.open(path.constData(), flags | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
        // A link that points nowhere yet: its target is created, as any open would.
        if (fd < 0 && errno == EEXIST)
            fd = calls.open(path.constData(), flags | O_CREAT, 0666);
    }
    if (fd < 0) {
        const int error = errno;
        throw FileError::createFailed(path, IsSpecialFile(path) ? NotRegularFileText() : SystemErrorText(error));
    }

    struct stat file {};
    if (::fstat(fd, &file) != 0) {
        const int error = errno;
        calls.close(fd);
        throw FileError::createFailed(path, error);
    }
    if (!S_ISREG(file.st_mode)) {
        calls.close(fd);
        throw FileError::createFailed(path, NotRegularFileText());
    }
    try {
        // Only a file with one name can be replaced by another inode.
        if (file.st_nlink == 1 && replaceByTemporary(calls, path, fd, file, chunks) == TemporaryOutcome::Replaced) {
            calls.close(fd);
            return;
        }
    } catch (...) {
        if (created)
            removeCreated(fd, file);
        calls.close(fd);
        throw;
    }
    writeInPlace(calls, fd, chunks);
}

void WriteFileSafely(const QByteArray &path, QByteArrayView content)
{
    WriteFileSafely(path, std::vector<QByteArrayView>{content});
}
