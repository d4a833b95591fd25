#pragma once

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <cstddef>

// The largest file the program opens, and the most content the administrator's
// helper takes: far above any real configuration (the aliases editor stops at
// 20 MB, the benchmark's million-line file has 40 MB), far below what would
// exhaust a desktop's memory when held two or three times over.
constexpr qsizetype LargestFileSize = qsizetype(256) * 1024 * 1024;

// Reads a whole regular file. Throws FileError::openFailed when it cannot be
// opened or read, when it holds more than LargestFileSize bytes (also when it
// grows past that while it is read), and at once, without opening it, for
// anything that is not a regular file (a FIFO, socket, device or directory).
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

// Where the path leads when it names a symbolic link: the link followed, and
// links it leads to, whether or not a file is there at the end; a relative
// target is taken from the link's directory. The path itself otherwise.
QByteArray FollowedLinks(const QByteArray &path);
