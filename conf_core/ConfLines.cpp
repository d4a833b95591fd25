#include "ConfLines.h"

#include "fileio/FileError.h"

void LoadConfFile(ConfDocument &document, const QByteArray &fileName, const FileReader &read)
{
    // Built aside and moved into place only when whole: a failed read or a
    // failed allocation leaves the previous lines untouched.
    FileStamp stamp;
    ConfDocument loaded(read(fileName, &stamp));
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
    document.setFileStamp(
        WriteFileSafely(fileName, SavedConfContent(document, fileName), document.fileStamp(), ifChanged, held));
}

std::vector<QByteArrayView> SavedConfContent(const ConfDocument &document, const QByteArray &fileName)
{
    if (!document.isFilled())
        throw FileError::createFailed(fileName, FileMessages::NeverRead);
    return document.savedChunks();
}
