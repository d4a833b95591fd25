#pragma once
// Reading and saving a file as administrator: the program's helper, beside
// the program, run through pkexec, which has the user authenticate as one.

#include "fileio/FileStamp.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

// The file's bytes and their stamp; nothing when no authorization was obtained
// (the user cancelled). Throws FileError with the helper's text when it could
// not read the file.
std::optional<QByteArray> ReadAsAdministrator(const QByteArray &path, FileStamp *stamp);

// The stamp of the file as written; nothing when no authorization was obtained,
// and then nothing was written. Throws FileError with the helper's text, of
// kind Changed for a file changed since the read when that is refused.
std::optional<FileStamp> SaveAsAdministrator(const QByteArray &path, const std::vector<QByteArrayView> &content,
                                             const FileStamp &asRead, IfChanged ifChanged);
