#pragma once
// A save that finds the file changed by another program since it was read
// asks the user, in the current language, whether to overwrite that change;
// one that this user may not make asks whether to save as administrator.

#include "fileio/FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

class QWidget;

// Saves the content over the file that `stamp` describes, refusing a changed
// file; on such a change asks, and saves again overwriting only on Yes. Where
// the system refuses this user the file, asks whether to save as
// administrator and on Yes does the same through the helper. Returns whether
// the file was written, and then `stamp` describes it as written: after No or
// a cancelled authentication nothing is, and the caller keeps what it holds.
// Throws FileError for any other failure, and for the refusal after No.
bool SaveAskingOverChange(const QByteArray &path, const std::vector<QByteArrayView> &content, FileStamp &stamp,
                          QWidget *parent);
