#include "ReadFile.h"

#include "FileError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

QByteArray ReadWholeFile(const QByteArray &path)
{
    Descriptor file{::open(path.constData(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        throw FileError::openFailed(path, errno);

    struct stat status {};
    if (::fstat(file.fd, &status) != 0)
        throw FileError::openFailed(path, errno);

    // One allocation for a regular file; anything else (a pipe) grows as it reads.
    QByteArray bytes;
    qsizetype capacity = S_ISREG(status.st_mode) ? qsizetype(status.st_size) + 1 : 65536;
    bytes.resize(capacity);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t got = ::read(file.fd, bytes.data() + used, size_t(bytes.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw FileError::openFailed(path, errno);
        }
        if (got == 0)
            break;
        used += got;
    }
    bytes.truncate(used);
    return bytes;
}

bool PathExists(const QByteArray &path)
{
    return !path.isEmpty() && ::faccessat(AT_FDCWD, path.constData(), F_OK, AT_EACCESS) == 0;
}
