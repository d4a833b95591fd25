#include "ReadFile.h"

#include "fileio/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

PieceReader::PieceReader(const QByteArray &path)
    : m_path(path)
{
    // Without O_NONBLOCK a FIFO would block the open until a writer comes.
    m_fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        throw FileError::openFailed(path, IsSpecialFile(path) ? NotRegularFileText() : SystemErrorText(error));
    }
    try {
        struct stat status {};
        if (::fstat(m_fd, &status) != 0)
            throw FileError::openFailed(path, errno);
        // A directory reads as EISDIR, like everywhere else; anything else that is
        // not a regular file could block or never end (a FIFO, /dev/zero).
        if (S_ISDIR(status.st_mode))
            throw FileError::openFailed(path, EISDIR);
        if (!S_ISREG(status.st_mode))
            throw FileError::openFailed(path, NotRegularFileText());
        // One allocation when the size is right; files such as those in /proc
        // report none, and a file that grows while it is read grows the buffer.
        m_bytes.resize(qsizetype(status.st_size) + 1);
    } catch (...) {
        ::close(m_fd);
        throw;
    }
    AdviseLargeBuffer(m_bytes.data(), size_t(m_bytes.size()));
}

PieceReader::~PieceReader() { ::close(m_fd); }

qsizetype PieceReader::readInto(qsizetype most)
{
    for (;;) {
        const ssize_t got = ::read(m_fd, m_bytes.data() + m_used, size_t(most));
        if (got >= 0) {
            m_used += got;
            return got;
        }
        if (errno != EINTR)
            throw FileError::openFailed(m_path, errno);
    }
}

qsizetype PieceReader::readSome(qsizetype most)
{
    // The last byte of the room stays free: reading into it would only tell
    // that the file grew.
    const qsizetype room = m_bytes.size() - 1 - m_used;
    return room > 0 ? readInto(std::min(most, room)) : 0;
}

void PieceReader::readRest()
{
    for (;;) {
        if (m_used == m_bytes.size())
            m_bytes.resize(m_bytes.size() * 2);
        if (readInto(m_bytes.size() - m_used) == 0)
            return;
    }
}

QByteArray PieceReader::take()
{
    m_bytes.truncate(m_used);
    return std::move(m_bytes);
}

QByteArray ReadWholeFile(const QByteArray &path)
{
    PieceReader reader(path);
    reader.readRest();
    return reader.take();
}

bool IsSpecialFile(const QByteArray &path)
{
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
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

bool PathExists(const QByteArray &path)
{
    return !path.isEmpty() && ::faccessat(AT_FDCWD, path.constData(), F_OK, AT_EACCESS) == 0;
}
