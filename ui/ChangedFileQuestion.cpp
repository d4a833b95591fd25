#include "ChangedFileQuestion.h"

#include "adminhelper/AdminAccess.h"
#include "fileio/FileError.h"
#include "fileio/SafeWrite.h"
#include "localisation/Captions.h"
#include "localisation/LanguageState.h"
#include "ui/MessageBox.h"

#include <functional>
#include <optional>

namespace {

// One way to save: the new stamp, or nothing when nothing was written.
using SaveWay = std::function<std::optional<FileStamp>(IfChanged)>;

bool saveAskingOverChange(const QByteArray &path, const SaveWay &save, FileStamp &stamp, QWidget *parent)
{
    std::optional<FileStamp> written;
    try {
        written = save(IfChanged::Refuse);
    } catch (const FileError &error) {
        if (error.kind() != FileError::Kind::Changed)
            throw;
        if (MessageBox::warnYesNo(FileChangedQuestion(CurrentLanguage, DisplayPath(path)), parent)
            != MessageBox::Answer::Yes)
            return false;
        written = save(IfChanged::Overwrite);
    }
    if (written)
        stamp = *written;
    return written.has_value();
}

}  // namespace

bool SaveAskingOverChange(const QByteArray &path, const std::vector<QByteArrayView> &content, FileStamp &stamp,
                          QWidget *parent)
{
    try {
        return saveAskingOverChange(
            path, [&](IfChanged ifChanged) { return WriteFileSafely(path, content, stamp, ifChanged); }, stamp, parent);
    } catch (const FileError &error) {
        if (!error.deniedPermission()
            || MessageBox::askYesNo(SaveAsAdministratorQuestion(CurrentLanguage, DisplayPath(path)), parent)
                   != MessageBox::Answer::Yes)
            throw;
    }
    return saveAskingOverChange(
        path, [&](IfChanged ifChanged) { return SaveAsAdministrator(path, content, stamp, ifChanged); }, stamp, parent);
}
