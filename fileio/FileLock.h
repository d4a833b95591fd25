#pragma once
// Saves of one file take turns. Every save of this program, in the windows
// and in cvconf, holds an exclusive advisory lock (flock) on the file itself
// from its last check for another program's change until the new content
// stands under the file's name; other programs that flock the file take turns
// with it too, as long as they check, once they hold the lock, that the name
// still stands for the file they locked (a save replaces the file, and a lock
// on the file it replaced guards nothing). A lock belongs to the open file it
// was taken through, so a process that already holds it hands it to the save
// instead of waiting for itself.
//
// Any user who may open the file can hold its lock for as long as they like,
// so a save waits for it only as long as this process waits (Waiting.h), and
// then writes nothing and says who holds it.

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <sys/stat.h>

// Opens the regular file at the path for reading, else for writing, and
// tells what it is; -1 when neither is allowed or no regular file is there.
int OpenToLock(const QByteArray &path, struct stat *file);

// Takes the exclusive lock on an open file of the path, waiting as this
// process waits while another holds it. False where the file system has no
// locks, which is told once a run. Throws FileError::lockedBy when the wait
// ends without the lock.
bool LockOpenFile(int fd, const QByteArray &path);

// Whether the path, links followed, names that file.
bool PathNamesFile(const QByteArray &path, const struct stat &file);

// The lock on the file a path names, for a process that reads the file and
// then saves it. Once it is taken, the name must still stand for the locked
// file, else the lock moves to the file it stands for now: a file that
// another save replaced meanwhile is never read or written. Holds nothing
// where no regular file this process may open is there, or without locks.
// Throws as LockOpenFile.
class FileLock {
public:
    explicit FileLock(const QByteArray &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Whether this lock is held on that file.
    bool covers(const struct stat &file) const;
    // Whether the locked file is the one read, of the same size and time.
    bool unchangedSince(const FileStamp &read) const;

private:
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// A shared lock on the file a path names, taken at once where no save holds
// the file and never waited for: while it is held no save of this program
// runs, so the file reads whole.
class SharedLockIfFree {
public:
    explicit SharedLockIfFree(const QByteArray &path);
    ~SharedLockIfFree();
    SharedLockIfFree(const SharedLockIfFree &) = delete;
    SharedLockIfFree &operator=(const SharedLockIfFree &) = delete;

    // Whether a save held the file, so that no lock was taken.
    bool saveRunning() const { return m_saveRunning; }

private:
    int m_fd = -1;
    bool m_saveRunning = false;
};
