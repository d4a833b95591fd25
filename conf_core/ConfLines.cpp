#include "ConfLines.h"

#include "fileio/FileError.h"
#include "fileio/ReadFile.h"

void LoadConfFile(ConfDocument &document, const QByteArray &fileName)
{
    // Built aside and moved into place only when whole: a failed read or a
    // failed allocation leaves the previous lines untouched.
    FileStamp stamp;
    ConfDocument loaded(ReadWholeFile(fileName, &stamp));
    loaded.setFileStamp(stamp);
    document = std::move(loaded);
}

QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name)
{
    return document.value(name);
}

bool HasConfEntry(const ConfDocument &document, QByteArrayView name)
{
    return document.hasEntry(name);
}

void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value)
{
    document.setValue(name, value);
}

void SaveConfFile(ConfDocument &document, const QByteArray &fileName, IfChanged ifChanged, const FileLock *held)
{
    if (!document.isFilled())
        throw FileError::createFailed(fileName, NeverReadText());
    document.setFileStamp(WriteFileSafely(fileName, document.savedChunks(), document.fileStamp(), ifChanged, held));
}
