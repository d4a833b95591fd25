#include "SafeWrite.h"

#include "FileError.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int realOpen(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int realFallocate(int fd, off_t offset, off_t size) { return ::posix_fallocate(fd, offset, size); }

constexpr int MaxLinkHops = 40;

// The path that a chain of symbolic links ends in; the links themselves stay.
QByteArray resolveLinks(const QByteArray &path)
{
    QByteArray current = path;
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        struct stat status {};
        if (::lstat(current.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return current;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            throw FileError::createFailed(path, errno);
        target.truncate(length);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            if (slash >= 0)
                target.prepend(current.left(slash + 1));
        }
        current = target;
    }
    throw FileError::createFailed(path, ELOOP);
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

QByteArray temporaryNameFor(const QByteArray &target)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[12];
    if (::getrandom(random, sizeof random, 0) != ssize_t(sizeof random))
        for (unsigned char &byte : random)
            byte = static_cast<unsigned char>(::rand());
    QByteArray name = directoryOf(target) + "/." + target.mid(target.lastIndexOf('/') + 1) + ".";
    for (unsigned char byte : random)
        name.append(alphabet[byte % (sizeof alphabet - 1)]);
    return name;
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

void syncDirectory(const SafeWriteCalls &calls, const QByteArray &directory)
{
    const int fd = calls.open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        throw FileError::writeFailed();
    const bool synced = calls.fsync(fd) == 0 || errno == EINVAL;
    calls.close(fd);
    if (!synced)
        throw FileError::writeFailed();
}

// Rewrites the file itself, keeping its inode: every hard link, the owner and
// the mode stay. The new size is reserved first so a full disk fails early.
void writeInPlace(const SafeWriteCalls &calls, const QByteArray &path, const QByteArray &target,
                  const std::vector<QByteArrayView> &chunks)
{
    const int fd = calls.open(target.constData(), O_WRONLY | O_CLOEXEC, 0);
    if (fd < 0)
        throw FileError::createFailed(path, errno);
    const off_t size = totalSize(chunks);
    const int reserved = size > 0 ? calls.fallocate(fd, 0, size) : 0;
    const bool ok = (reserved == 0 || reserved == EOPNOTSUPP || reserved == EINVAL)
                    && writeAll(calls, fd, chunks) && calls.ftruncate(fd, size) == 0
                    && calls.fsync(fd) == 0;
    const bool closed = calls.close(fd) == 0;
    if (!ok || !closed)
        throw FileError::writeFailed();
}

enum class TemporaryOutcome { Replaced, UseInPlace };

// Writes a temporary file beside the target and renames it over the target.
// Returns UseInPlace when the temporary cannot take the target's place without
// changing its identity (directory not writable, owner not restorable).
TemporaryOutcome replaceByTemporary(const SafeWriteCalls &calls, const QByteArray &path,
                                    const QByteArray &target, const struct stat *existing,
                                    const std::vector<QByteArrayView> &chunks)
{
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryNameFor(target);
        fd = calls.open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        if (existing && (error == EACCES || error == EPERM || error == EROFS))
            return TemporaryOutcome::UseInPlace;
        throw FileError::createFailed(path, error);
    }

    auto discard = [&](bool closeFirst) {
        if (closeFirst)
            calls.close(fd);
        ::unlink(temporary.constData());
    };

    if (existing && calls.fchown(fd, existing->st_uid, existing->st_gid) != 0) {
        discard(true);
        return TemporaryOutcome::UseInPlace;
    }
    // After the owner: changing the owner clears set-id bits.
    const mode_t mode = existing ? (existing->st_mode & 07777) : (0666 & ~currentUmask());
    if (!writeAll(calls, fd, chunks) || calls.fchmod(fd, mode) != 0 || calls.fsync(fd) != 0) {
        discard(true);
        throw FileError::writeFailed();
    }
    if (calls.close(fd) != 0) {
        discard(false);
        throw FileError::writeFailed();
    }
    if (calls.rename(temporary.constData(), target.constData()) != 0) {
        discard(false);
        throw FileError::writeFailed();
    }
    syncDirectory(calls, directoryOf(target));
    return TemporaryOutcome::Replaced;
}

}  // namespace

SafeWriteCalls RealSafeWriteCalls()
{
    return {realOpen, ::write, ::fsync, ::fchown, ::fchmod, ::close, ::rename, ::ftruncate, realFallocate};
}

SafeWriteCalls &SafeWriteSystemCalls()
{
    static SafeWriteCalls calls = RealSafeWriteCalls();
    return calls;
}

void WriteFileSafely(const QByteArray &path, const std::vector<QByteArrayView> &chunks)
{
    const SafeWriteCalls &calls = SafeWriteSystemCalls();
    const QByteArray target = resolveLinks(path);
    struct stat status {};
    const bool exists = ::stat(target.constData(), &status) == 0;
    if (!exists && errno != ENOENT)
        throw FileError::createFailed(path, errno);
    if (exists && S_ISDIR(status.st_mode))
        throw FileError::createFailed(path, EISDIR);
    // Only a regular file with one name can be replaced by another inode.
    const bool keepInode = exists && (!S_ISREG(status.st_mode) || status.st_nlink > 1);
    if (!keepInode
        && replaceByTemporary(calls, path, target, exists ? &status : nullptr, chunks)
               == TemporaryOutcome::Replaced)
        return;
    writeInPlace(calls, path, target, chunks);
}

void WriteFileSafely(const QByteArray &path, QByteArrayView content)
{
    WriteFileSafely(path, std::vector<QByteArrayView>{content});
}
