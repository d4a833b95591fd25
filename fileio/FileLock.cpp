#include "FileLock.h"

#include <QDebug>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int OpenToLock(const QByteArray &path, struct stat *file)
{
    // flock needs an open file but no particular access: a file that may only
    // be read, or only written, takes part all the same.
    const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.constData(), O_RDONLY | flags);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.constData(), O_WRONLY | flags);
    if (fd >= 0 && (::fstat(fd, file) != 0 || !S_ISREG(file->st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool LockOpenFile(int fd)
{
    int result = 0;
    do
        result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        qDebug("saving without a lock: %s", std::strerror(errno));
    return result == 0;
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
        if (!LockOpenFile(m_fd))
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
