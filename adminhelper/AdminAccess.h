#pragma once
// Reading and saving a file as administrator: the program's helper, beside
// the program, run through pkexec, which has the user authenticate as one.

#include "fileio/FileStamp.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

// The file's bytes and their stamp; nothing when the user dismissed the
// authentication. Throws FileError with the helper's text when it could not
// read the file, and with pkexec's when it got no authorization.
std::optional<QByteArray> ReadAsAdministrator(const QByteArray &path, FileStamp *stamp);

// The stamp of the file as written; nothing when the user dismissed the
// authentication, and then nothing was written. Throws FileError as above, of
// kind Changed for a file changed since the read when that is refused.
std::optional<FileStamp> SaveAsAdministrator(const QByteArray &path, const std::vector<QByteArrayView> &content,
                                             const FileStamp &asRead, IfChanged ifChanged);
