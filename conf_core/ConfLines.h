#pragma once
// The configuration document's operations as the program names them.

#include "conf_core/ConfDocument.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QByteArrayView>

// The document's operations on a given document and file. A load that fails,
// for lack of memory too, leaves the document as it was; saving a document
// that no load has filled throws FileError::createFailed. A save refuses to
// replace a file that changed since the load (FileError::changedSinceRead)
// unless told to overwrite it; `held` is a lock the caller took before the
// load (see WriteFileSafely).
void LoadConfFile(ConfDocument &document, const QByteArray &fileName);
QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name);
bool HasConfEntry(const ConfDocument &document, QByteArrayView name);
void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value);
void SaveConfFile(ConfDocument &document, const QByteArray &fileName, IfChanged ifChanged = IfChanged::Refuse,
                  const FileLock *held = nullptr);
