#pragma once

#include <QByteArray>
#include <cstddef>

// Reads a whole file. Throws FileError::openFailed when it cannot be opened or read.
QByteArray ReadWholeFile(const QByteArray &path);

// Asks the kernel to back a large buffer with huge pages, which makes filling
// it several times faster. Only advice: nothing changes when it is not taken.
void AdviseLargeBuffer(void *data, size_t size);

// Whether a directory entry exists at the path, reachable with the process's
// effective rights. Any kind of entry counts.
bool PathExists(const QByteArray &path);
