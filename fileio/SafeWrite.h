#pragma once
// Replacing a file without ever leaving a half-written one behind.
//
// The path is opened for writing as it stands, so the kernel follows the links
// and applies every permission and link protection it has: a save succeeds
// exactly where open(path, O_WRONLY) would (O_CREAT for a missing file, which
// gets mode 0666 less the umask). Only a regular file is written; the open
// never blocks (O_NONBLOCK), so a FIFO is refused instead of waited for.
//
// From then on every step is anchored to what was opened: the directory that
// holds it, as a descriptor. The new content goes to a fresh temporary file
// there, which receives the file's owner, group, mode, ACL and extended
// attributes, is synced and renamed over the file's name - after a check that
// the name still holds the opened file. Where that cannot be done without
// changing the file (several hard links, an owner or attribute we cannot
// restore, a directory we cannot write, a name that no longer holds the file,
// a rename refused, as over a bind-mounted file or in a sticky folder), the opened
// file is rewritten in place instead, with its new size reserved first so a
// full disk fails before a byte is lost.
//
// Failures throw FileError: createFailed when the file or its temporary cannot
// be created, writeFailed for a short or failed write, sync or rename.

#include <QByteArray>
#include <QByteArrayView>
#include <sys/types.h>
#include <vector>

void WriteFileSafely(const QByteArray &path, const std::vector<QByteArrayView> &chunks);
void WriteFileSafely(const QByteArray &path, QByteArrayView content);

// The system calls the routine makes, so tests can make any of them fail.
struct SafeWriteCalls {
    int (*open)(const char *path, int flags, mode_t mode);                 // the file itself
    int (*openat)(int directory, const char *name, int flags, mode_t mode);  // the temporary
    ssize_t (*write)(int fd, const void *data, size_t size);
    int (*fsync)(int fd);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*fsetxattr)(int fd, const char *name, const void *value, size_t size, int flags);
    int (*close)(int fd);
    int (*renameat)(int fromDirectory, const char *from, int toDirectory, const char *to);
    int (*ftruncate)(int fd, off_t size);
    int (*fallocate)(int fd, off_t offset, off_t size);
};
SafeWriteCalls &SafeWriteSystemCalls();
// The real calls, to restore after a test.
SafeWriteCalls RealSafeWriteCalls();
