#pragma once

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <cstddef>

// Reads a whole regular file. Throws FileError::openFailed when it cannot be
// opened or read, and at once, without opening it, for anything that is not
// a regular file (a FIFO, socket, device or directory).
// With a stamp, also records what was read (the file, its status after the
// read and a digest of these very bytes) for a later save to compare with.
QByteArray ReadWholeFile(const QByteArray &path, FileStamp *stamp = nullptr);

// Whether the path names a FIFO, socket or device (links followed).
bool IsSpecialFile(const QByteArray &path);

// Asks the kernel to back a large buffer with huge pages, which makes filling
// it several times faster. Only advice: nothing changes when it is not taken.
void AdviseLargeBuffer(void *data, size_t size);

// Whether a directory entry exists at the path, reachable with the process's
// effective rights. Any kind of entry counts.
bool PathExists(const QByteArray &path);
