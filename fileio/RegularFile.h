#pragma once
// Opening nothing but a regular file. An open can act by itself: opening a
// FIFO releases a process waiting for its other end, opening a device can
// start it (a watchdog arms). So what a path names is told first through an
// O_PATH descriptor, which opens nothing for data, and only a regular file
// is then opened, through /proc/self/fd, so that the file opened is the one
// told apart, whatever the name stands for by then.

#include <QByteArray>
#include <sys/stat.h>
#include <sys/types.h>

// What OpenRegularFile returns for a FIFO, socket or device.
constexpr int NotRegularFile = -2;

// Opens the regular file the path names, links followed, with the flags
// (O_CLOEXEC added) through `open`, and tells its status. -1 with errno set
// where it cannot be opened (EISDIR for a directory); NotRegularFile for
// anything else that is no regular file, which is left unopened.
int OpenRegularFile(const QByteArray &path, int flags, struct stat *status,
                    int (*open)(const char *path, int flags, mode_t mode) = nullptr);
