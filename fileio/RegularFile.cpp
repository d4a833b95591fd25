#include "RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int plainOpen(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }

}  // namespace

int OpenRegularFile(const QByteArray &path, int flags, struct stat *status,
                    int (*open)(const char *path, int flags, mode_t mode))
{
    const int located = ::open(path.constData(), O_PATH | O_CLOEXEC);
    if (located < 0)
        return -1;
    int result = -1;
    if (::fstat(located, status) == 0) {
        if (S_ISDIR(status->st_mode)) {
            errno = EISDIR;
        } else if (!S_ISREG(status->st_mode)) {
            result = NotRegularFile;
        } else {
            const QByteArray reopened = "/proc/self/fd/" + QByteArray::number(located);
            result = (open ? open : plainOpen)(reopened.constData(), flags | O_CLOEXEC, 0);
        }
    }
    const int error = errno;
    ::close(located);
    errno = error;
    return result;
}
