#include "FileLock.h"

#include "fileio/RegularFile.h"

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
    int fd = OpenRegularFile(path, O_RDONLY, file);
    if (fd == -1 && errno == EACCES)
        fd = OpenRegularFile(path, O_WRONLY, file);
    return fd < 0 ? -1 : fd;
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
