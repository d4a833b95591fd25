#pragma once

#include <QByteArray>

// Reads a whole file. Throws FileError::openFailed when it cannot be opened or read.
QByteArray ReadWholeFile(const QByteArray &path);

// Whether a directory entry exists at the path, reachable with the process's
// effective rights. Any kind of entry counts.
bool PathExists(const QByteArray &path);
