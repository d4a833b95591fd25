#pragma once
// Saves of one file take turns. Every save of this program, in the windows
// and in cvconf, holds an exclusive advisory lock (flock) on the file itself
// from its last check for another program's change until the new content
// stands under the file's name; other programs that flock the file take turns
// with it too. A lock belongs to the open file it was taken through, so a
// process that already holds it hands it to the save instead of waiting for
// itself.

#include <QByteArray>
#include <sys/stat.h>

// Opens the regular file at the path for reading, else for writing, and
// tells what it is; -1 when neither is allowed or no regular file is there.
int OpenToLock(const QByteArray &path, struct stat *file);

// Takes the exclusive lock on an open file, waiting while another holds it.
// False, said at debug level only, where the file system has no locks.
bool LockOpenFile(int fd);

// Whether the path, links followed, names that file.
bool PathNamesFile(const QByteArray &path, const struct stat &file);

// The lock on the file a path names, for a process that reads the file and
// then saves it. Once it is taken, the name must still stand for the locked
// file, else the lock moves to the file it stands for now: a file that
// another save replaced meanwhile is never read or written. Holds nothing
// where no regular file this process may open is there, or without locks.
class FileLock {
public:
    explicit FileLock(const QByteArray &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Whether this lock is held on that file.
    bool covers(const struct stat &file) const;

private:
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
