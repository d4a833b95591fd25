#pragma once
// A document filled the one way the program fills one: loaded from a file.

#include "conf_core/ConfLines.h"
#include "TestFiles.h"

#include <QTemporaryDir>

inline ConfDocument loadedDocument(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("corvane.conf");
    writeFile(path, bytes);
    ConfDocument document;
    LoadConfFile(document, encoded(path));
    return document;
}
