#include "FileStamp.h"

#include <QByteArrayList>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Compiled in here: no library to load, and no other digest to agree with.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

// The pieces a file is read in for its digest.
constexpr qsizetype ReadBlock = 1 << 20;

}  // namespace

bool SameFileAndContent(const FileStamp &read, const FileStamp &now)
{
    if (!read.exists || !now.exists)
        return read.exists == now.exists;
    return read.device == now.device && read.inode == now.inode && read.size == now.size
           && read.modified.tv_sec == now.modified.tv_sec && read.modified.tv_nsec == now.modified.tv_nsec
           && (!read.digest || !now.digest || *read.digest == *now.digest);
}

struct ContentDigest::State {
    XXH3_state_t xxh;
};

ContentDigest::ContentDigest() : m_state(std::make_unique<State>())
{
    XXH3_64bits_reset(&m_state->xxh);
}

ContentDigest::~ContentDigest() = default;

void ContentDigest::add(QByteArrayView bytes)
{
    XXH3_64bits_update(&m_state->xxh, bytes.data(), size_t(bytes.size()));
}

quint64 ContentDigest::value() const
{
    return XXH3_64bits_digest(&m_state->xxh);
}

FileStamp StampOfOpenFile(int fd)
{
    FileStamp stamp;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return stamp;
    stamp = {true, status.st_dev, status.st_ino, status.st_size, status.st_mtim, std::nullopt};
    ContentDigest digest;
    QByteArray buffer(ReadBlock, Qt::Uninitialized);
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
        stamp.digest = quint64(fields[5].toULongLong(&ok[5]));
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool fieldOk) { return fieldOk; }))
        return std::nullopt;
    return stamp;
}
