#pragma once
// The helper's guard against a path the user who asked could have planted.
// The path is walked from "/" one name at a time without following links, so
// what is checked is what is used, and refused (FileError, with the text the
// error box shows) where
// - any name on it is a symbolic link;
// - a folder on it belongs to that user, or that user may write it as the
//   kernel judges (mode, groups, ACL). A sticky folder such as /tmp does not
//   count, unless the user may remove or create what the path takes from it:
//   a missing file, or an entry of the user's own;
// - it names anything but a regular file, or, for a write, a missing file.
// Nothing is opened for data on the way, so a device is refused unopened.

#include <QByteArray>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

// Where the checked file is from now on: its name in the current working
// folder, which is its checked folder, and what it was (none when missing).
struct CheckedFile {
    QByteArray name;
    std::optional<struct stat> status;
};

// `user`: who asked for the file, not root; none for root itself, which may
// name any folder. Changes the working folder to the file's folder. `forWrite` picks
// the error's kind (create rather than open) and allows a missing file.
CheckedFile EnterCheckedFolder(const QByteArray &path, std::optional<uid_t> user, bool forWrite);

// Whether the path is absolute and plain: no empty, "." or ".." name, so that
// it reads as the file it is. PATH_MAX at most.
bool IsPlainAbsolutePath(const QByteArray &path);
