#include "FileLock.h"

#include "fileio/FileError.h"
#include "fileio/LocaleText.h"
#include "fileio/ReadFile.h"
#include "fileio/RegularFile.h"
#include "fileio/Waiting.h"

#include <QDebug>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Who holds a lock on the open file, where /proc/locks tells.
std::optional<LockHolder> holderOf(int fd)
{
    struct stat file {};
    ::fstat(fd, &file);
    // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234567 0 EOF", the device in
    // hexadecimal; lines with "->" after the number are processes waiting.
    const QByteArray id = QByteArray::number(major(file.st_dev), 16).rightJustified(2, '0') + ':'
                          + QByteArray::number(minor(file.st_dev), 16).rightJustified(2, '0') + ':'
                          + QByteArray::number(quint64(file.st_ino));
    QByteArray locks;
    try {
        locks = ReadWholeFile("/proc/locks");
    } catch (const FileError &) {
        return std::nullopt;
    }
    for (const QByteArray &line : locks.split('\n')) {
        const QByteArrayList fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK" || fields[5] != id)
            continue;
        const qint64 pid = fields[4].toLongLong();
        if (pid <= 0)  // a process outside this one's view
            continue;
        QByteArray command;
        try {
            command = ReadWholeFile("/proc/" + QByteArray::number(pid) + "/comm").trimmed();
        } catch (const FileError &) {
        }
        return LockHolder{pid, LocaleToText(command)};
    }
    return std::nullopt;
}

}  // namespace

int OpenToLock(const QByteArray &path, struct stat *file)
{
    // flock needs an open file but no particular access: a file that may only
    // be read, or only written, takes part all the same.
    int fd = OpenRegularFile(path, O_RDONLY, file);
    if (fd == -1 && errno == EACCES)
        fd = OpenRegularFile(path, O_WRONLY, file);
    return fd < 0 ? -1 : fd;
}

bool LockOpenFile(int fd, const QByteArray &path)
{
    int error = 0;
    const bool ended = WaitUntil(
        [&] {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            error = errno == EWOULDBLOCK || errno == EINTR ? 0 : errno;
            return error != 0;
        },
        ProcessWaiting().lockBound, [&] { return WaitReason{WaitReason::Kind::Lock, path, holderOf(fd)}; });
    if (!ended)
        throw FileError::lockedBy(path, holderOf(fd));
    if (error != 0) {
        // Where one file has no locks, the next save's has none either.
        static bool told = false;
        if (!told)
            qDebug("saving without a lock: %s", std::strerror(error));
        told = true;
    }
    return error == 0;
}

bool PathNamesFile(const QByteArray &path, const struct stat &file)
{
    struct stat named {};
    return ::stat(path.constData(), &named) == 0 && named.st_dev == file.st_dev && named.st_ino == file.st_ino;
}

FileLock::FileLock(const QByteArray &path)
{
    for (;;) {
        struct stat file {};
        m_fd = OpenToLock(path, &file);
        if (m_fd < 0)
            return;
        bool locked = false;
        try {
            locked = LockOpenFile(m_fd, path);
        } catch (...) {
            ::close(m_fd);
            throw;
        }
        if (!locked)
            break;
        if (PathNamesFile(path, file)) {
            m_device = file.st_dev;
            m_inode = file.st_ino;
            return;
        }
        ::close(m_fd);
    }
    ::close(m_fd);
    m_fd = -1;
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileLock::covers(const struct stat &file) const
{
    return m_fd >= 0 && file.st_dev == m_device && file.st_ino == m_inode;
}

bool FileLock::unchangedSince(const FileStamp &read) const
{
    struct stat now {};
    return m_fd >= 0 && ::fstat(m_fd, &now) == 0
           && SameFileAndContent(read, {true, now.st_dev, now.st_ino, now.st_size, now.st_mtim, std::nullopt});
}

SharedLockIfFree::SharedLockIfFree(const QByteArray &path)
{
    struct stat file {};
    m_fd = OpenToLock(path, &file);
    m_saveRunning = m_fd >= 0 && ::flock(m_fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

SharedLockIfFree::~SharedLockIfFree()
{
    if (m_fd >= 0)
        ::close(m_fd);
}
