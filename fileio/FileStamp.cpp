#include "FileStamp.h"

#include <QByteArrayList>
#include <QHash>
#include <algorithm>
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

// "-" for a file that was not there; else device, inode, size, modification
// seconds and nanoseconds, and the digest or "-", in decimal.
QByteArray StampText(const FileStamp &stamp)
{
    if (!stamp.exists)
        return "-";
    QByteArrayList fields{QByteArray::number(quint64(stamp.device)), QByteArray::number(quint64(stamp.inode)),
                          QByteArray::number(qint64(stamp.size)), QByteArray::number(qint64(stamp.modified.tv_sec)),
                          QByteArray::number(qint64(stamp.modified.tv_nsec)),
                          stamp.digest ? QByteArray::number(quint64(*stamp.digest)) : QByteArray("-")};
    return fields.join(' ');
}

std::optional<FileStamp> StampFromText(QByteArrayView text)
{
    if (text == "-")
        return FileStamp();
    const QByteArrayList fields = text.toByteArray().split(' ');
    if (fields.size() != 6)
        return std::nullopt;
    bool ok[6] = {};
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = dev_t(fields[0].toULongLong(&ok[0]));
    stamp.inode = ino_t(fields[1].toULongLong(&ok[1]));
    stamp.size = off_t(fields[2].toLongLong(&ok[2]));
    stamp.modified.tv_sec = time_t(fields[3].toLongLong(&ok[3]));
    stamp.modified.tv_nsec = long(fields[4].toLongLong(&ok[4]));
    ok[5] = fields[5] == "-";
    if (!ok[5])
        stamp.digest = size_t(fields[5].toULongLong(&ok[5]));
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool fieldOk) { return fieldOk; }))
        return std::nullopt;
    return stamp;
}
