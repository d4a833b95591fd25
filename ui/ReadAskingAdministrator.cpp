#include "ReadAskingAdministrator.h"

#include "adminhelper/AdminAccess.h"
#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "localisation/Captions.h"
#include "localisation/LanguageState.h"
#include "ui/MessageBox.h"

QByteArray ReadAskingAdministrator(const QByteArray &path, FileStamp *stamp, QWidget *parent)
{
    try {
        return ReadWholeFile(path, stamp);
    } catch (const FileError &error) {
        if (!error.deniedPermission()
            || MessageBox::askYesNo(ReadAsAdministratorQuestion(CurrentLanguage, DisplayPath(path)), parent)
                   != MessageBox::Answer::Yes)
            throw;
        if (std::optional<QByteArray> bytes = ReadAsAdministrator(path, stamp))
            return *std::move(bytes);
        // Not read after all: the window goes on as after a failed read.
        throw;
    }
}
