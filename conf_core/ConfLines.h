#pragma once
// The configuration document's operations as the program names them.

#include "conf_core/ConfDocument.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <vector>

// How a load reads the file: ReadWholeFile, or a reader that can ask for more rights.
using FileReader = std::function<QByteArray(const QByteArray &path, FileStamp *stamp)>;

// The document's operations on a given document and file. A load that fails,
// for lack of memory too, leaves the document as it was; saving a document
// that no load has filled throws FileError::createFailed. A save refuses to
// replace a file that changed since the load (FileError::changedSinceRead)
// unless told to overwrite it; `held` is a lock the caller took before the
// load (see WriteFileSafely).
void LoadConfFile(ConfDocument &document, const QByteArray &fileName, const FileReader &read = ReadWholeFile);
QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name);
bool HasConfEntry(const ConfDocument &document, QByteArrayView name);
void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value);
void SaveConfFile(ConfDocument &document, const QByteArray &fileName, IfChanged ifChanged = IfChanged::Refuse,
                  const FileLock *held = nullptr);
// The document's bytes as a save writes them.
std::vector<QByteArrayView> SavedConfContent(const ConfDocument &document, const QByteArray &fileName);
