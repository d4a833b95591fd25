#pragma once
// A read that this user may not make asks, in the current language, whether
// to read the file as administrator.

#include "fileio/FileStamp.h"

#include <QByteArray>

class QWidget;

// ReadWholeFile; where the system refuses this user the file, asks whether to
// read it as administrator and on Yes reads it through the helper. Throws
// FileError as ReadWholeFile does, with the refusal after No or a cancelled
// authentication, and with the helper's text when it failed.
QByteArray ReadAskingAdministrator(const QByteArray &path, FileStamp *stamp, QWidget *parent);
