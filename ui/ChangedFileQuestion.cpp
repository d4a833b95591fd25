#include "ChangedFileQuestion.h"

#include "fileio/FileError.h"
#include "localisation/Captions.h"
#include "localisation/LanguageState.h"
#include "ui/MessageBox.h"

bool SaveAskingOverChange(const QByteArray &path, const std::function<void(IfChanged)> &save, QWidget *parent)
{
    try {
        save(IfChanged::Refuse);
        return true;
    } catch (const FileError &error) {
        if (error.kind() != FileError::Kind::Changed)
            throw;
    }
    if (MessageBox::warnYesNo(FileChangedQuestion(CurrentLanguage, DisplayPath(path)), parent) != MessageBox::Answer::Yes)
        return false;
    save(IfChanged::Overwrite);
    return true;
}
