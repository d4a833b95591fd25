#pragma once
// Replacing a file without overwriting a change the caller has not seen, and
// without ever leaving less than one whole copy of the old or the new content.
//
// The path is opened for writing as it stands, so the kernel follows the links
// and applies every permission and link protection it has: a save succeeds
// exactly where open(path, O_WRONLY) would (O_CREAT for a missing file, which
// gets mode 0666 less the umask). Only a regular file is opened, and anything
// else is refused without being opened (RegularFile.h).
//
// The opened file is locked (FileLock.h) until the new content stands under
// its name, so saves of this program, and of programs that flock the file and
// then check that its name still stands for it, take turns. The lock is
// waited for only as long as this process waits (Waiting.h); then nothing is
// written and FileError::lockedBy names the holder. Once the lock is held, a
// companion of the file (below) can only be one a killed save left: while one
// is there nothing is written, and FileError::unfinishedSave names it.
// Under the lock, once the temporary or companion below is whole
// and synced, right before the file is replaced, it is compared with the
// stamp of the read the content came from (file, size, modification time,
// and its bytes where this process can read them): when another program has
// changed, replaced, removed or created it since, or the name no longer
// stands for it, the save discards what it wrote and throws
// FileError::changedSinceRead; told to overwrite, it skips the comparison
// but not the name. A program that takes no lock and writes the file between
// that check and the rename, or during a rewrite in place, can still be
// overwritten.
//
// Every step is anchored to what was opened. What each way of
// saving guarantees, whatever happens (a kill, a power loss, a full disk):
// - By rename, for a file with one name in a directory we can write: the new
//   content goes to a fresh temporary file there, which receives the file's
//   owner, group, mode, ACL and extended attributes, is synced and renamed
//   over the file's name. The name always holds the whole old or the whole new
//   file; a kill can leave a temporary ".name.XXXXXXXXXXXX" beside it.
// - In place, where a new inode would change the file (several hard links, an
//   owner or attribute we cannot restore, a directory we cannot write, a
//   directory not found through /proc, a rename refused, as over a bind-mounted file, across file systems (EXDEV)
//   or in a sticky folder): first the whole new content is written to a
//   companion file and synced (see Companion.h: beside the file, else in the
//   user's state directory), then the file is rewritten with its size
//   reserved first, synced, and the companion removed. The companion takes
//   its name only when whole and synced (a kill before that leaves the file
//   untouched and a partial one under a temporary's name); from then until
//   the file is synced it holds the whole new content. A save that fails
//   while rewriting says where it is, and the next start reports one that a
//   killed save left. When no companion can be written, nothing is.
// A file that the save created is removed again when the save fails, either way.
//
// Failures throw FileError: createFailed when the file, its temporary or its
// companion cannot be created, writeFailed for a short or failed write, sync
// or rename, changedSinceRead, lockedBy and unfinishedSave as above.

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <sys/types.h>
#include <vector>

class FileLock;

// Whether a save may replace a file that changed since it was read.
enum class IfChanged { Refuse, Overwrite };

// Returns the stamp of the file as written, for the next save to compare with.
// `held`: the caller's lock, taken before its read; the save takes no second
// one on the file it covers.
FileStamp WriteFileSafely(const QByteArray &path, const std::vector<QByteArrayView> &chunks, const FileStamp &asRead,
                          IfChanged ifChanged, const FileLock *held = nullptr);
FileStamp WriteFileSafely(const QByteArray &path, QByteArrayView content, const FileStamp &asRead, IfChanged ifChanged,
                          const FileLock *held = nullptr);

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
