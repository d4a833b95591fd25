#include "FileStamp.h"

#include <QHash>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Blocks at fixed offsets make the digest independent of how it is fed.
constexpr qsizetype DigestBlock = 1 << 20;

}  // namespace

bool SameFileAndContent(const FileStamp &read, const FileStamp &now)
{
    if (!read.exists || !now.exists)
        return read.exists == now.exists;
    return read.device == now.device && read.inode == now.inode && read.size == now.size
           && read.modified.tv_sec == now.modified.tv_sec && read.modified.tv_nsec == now.modified.tv_nsec
           && (!read.digest || !now.digest || *read.digest == *now.digest);
}

void ContentDigest::addBlock(const char *block)
{
    m_hash = qHashBits(block, size_t(DigestBlock), m_hash);
}

void ContentDigest::add(QByteArrayView bytes)
{
    if (!m_partial.isEmpty()) {
        const qsizetype taken = std::min(bytes.size(), DigestBlock - m_partial.size());
        m_partial.append(bytes.first(taken));
        bytes = bytes.sliced(taken);
        if (m_partial.size() < DigestBlock)
            return;
        addBlock(m_partial.constData());
        m_partial.clear();
    }
    for (; bytes.size() >= DigestBlock; bytes = bytes.sliced(DigestBlock))
        addBlock(bytes.data());
    m_partial = bytes.toByteArray();
}

size_t ContentDigest::value() const
{
    return qHashBits(m_partial.constData(), size_t(m_partial.size()), m_hash);
}

FileStamp StampOfOpenFile(int fd)
{
    FileStamp stamp;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return stamp;
    stamp = {true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, std::nullopt};
    ContentDigest digest;
    QByteArray buffer(DigestBlock, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return stamp;
        if (got == 0)
            break;
        digest.add(QByteArrayView(buffer.constData(), got));
    }
    stamp.digest = digest.value();
    return stamp;
}
