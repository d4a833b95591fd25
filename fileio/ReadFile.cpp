#include "ReadFile.h"

#include "fileio/FileError.h"
#include "fileio/RegularFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the file on every way out.
struct OpenFile {
    int fd;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

// The message that refuses a larger file names the bound.
static_assert(LargestFileSize == qsizetype(256) * 1024 * 1024, "FileMessages::TooLarge says 256 MiB");

QByteArray ReadWholeFile(const QByteArray &path, FileStamp *stamp)
{
    // Anything but a regular file could block or never end (a FIFO, /dev/zero).
    struct stat status {};
    const OpenFile file{OpenRegularFile(path, O_RDONLY, &status)};
    if (file.fd == NotRegularFile)
        throw FileError::openFailed(path, FileMessages::NotRegularFile);
    if (file.fd < 0)
        throw FileError::openFailed(path, errno);
    if (status.st_size > LargestFileSize)
        throw FileError::openFailed(path, FileMessages::TooLarge);
    // One allocation when the size is right; files such as those in /proc
    // report none, and a file that grows while it is read grows the buffer.
    QByteArray bytes(qsizetype(status.st_size), Qt::Uninitialized);
    AdviseLargeBuffer(bytes.data(), size_t(bytes.size()));
    qsizetype used = 0;
    char more[64 * 1024];
    for (;;) {
        const bool full = used == bytes.size();
        const ssize_t got = full ? ::read(file.fd, more, sizeof more)
                                 : ::read(file.fd, bytes.data() + used, size_t(bytes.size() - used));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::openFailed(path, errno);
        }
        if (full)
            bytes.append(more, got);
        used += got;
        if (used > LargestFileSize)
            throw FileError::openFailed(path, FileMessages::TooLarge);
    }
    bytes.truncate(used);
    if (stamp) {
        // The status after the read: a change while it read shows in the
        // time or the digest, so a save asks rather than overwrite it.
        if (::fstat(file.fd, &status) != 0)
            throw FileError::openFailed(path, errno);
        ContentDigest digest;
        digest.add(bytes);
        *stamp = {true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, digest.value()};
    }
    return bytes;
}

void AdviseLargeBuffer(void *data, size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t HugePage = 2 * 1024 * 1024;
    if (size < 2 * HugePage)
        return;
    // Only whole huge pages inside the buffer: the advice must not reach
    // memory that belongs to something else.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(HugePage - 1);
    if (end > start)
        ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

bool IsSpecialFile(const QByteArray &path)
{
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool PathExists(const QByteArray &path)
{
    return !path.isEmpty() && ::faccessat(AT_FDCWD, path.constData(), F_OK, AT_EACCESS) == 0;
}

QByteArray FollowedLinks(const QByteArray &path)
{
    QByteArray followed = path;
    // As many links as the kernel follows before it gives up (ELOOP).
    for (int link = 0; link < 40; ++link) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(followed.constData(), target.data(), size_t(target.size()));
        if (length <= 0 || length >= target.size())
            return followed;
        target.truncate(length);
        followed = target.startsWith('/') ? target : followed.left(followed.lastIndexOf('/') + 1) + target;
    }
    return followed;
}
