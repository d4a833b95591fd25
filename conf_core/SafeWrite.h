#pragma once
// Replacing a file without ever leaving a half-written one behind.
//
// Symbolic links are followed to their final target (the links stay). The new
// content goes to a fresh temporary file beside the target, which receives the
// target's owner and mode, is synced and renamed over it. Where a rename would
// change the file's identity (several hard links, an owner we cannot restore,
// a directory we cannot write), the file is rewritten in place instead, with
// its new size reserved first so a full disk fails before a byte is lost.
// A missing file is created with mode 0666 less the umask.
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
    int (*open)(const char *path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void *data, size_t size);
    int (*fsync)(int fd);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*close)(int fd);
    int (*rename)(const char *from, const char *to);
    int (*ftruncate)(int fd, off_t size);
    int (*fallocate)(int fd, off_t offset, off_t size);
};
SafeWriteCalls &SafeWriteSystemCalls();
// The real calls, to restore after a test.
SafeWriteCalls RealSafeWriteCalls();
