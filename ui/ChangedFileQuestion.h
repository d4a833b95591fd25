#pragma once
// A save that finds the file changed by another program since it was read
// asks the user, in the current language, whether to overwrite that change.

#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <functional>

class QWidget;

// Runs the save refusing a changed file; on such a change asks, and runs it
// again overwriting only on Yes. Returns whether the file was written: after
// No nothing is, and the caller keeps what it holds.
bool SaveAskingOverChange(const QByteArray &path, const std::function<void(IfChanged)> &save, QWidget *parent);
