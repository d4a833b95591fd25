#include "LanguageChoice.h"

#include "fileio/FileError.h"
#include "localisation/LangIni.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Checked with the effective ids, as the kernel checks the write itself. A
// file that is missing or no regular file is not denied here: writing it
// fails with the error box it always had.
bool writingDenied(const QByteArray &path)
{
    if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0)
        return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

QByteArray configHome()
{
    const QByteArray configured = qgetenv("XDG_CONFIG_HOME");
    return configured.startsWith('/') ? configured : qgetenv("HOME") + "/.config";
}

QByteArray personalFolder() { return configHome() + "/cvconfmanager"; }

QByteArray personalFileName() { return personalFolder() + "/CVConfManager.lang"; }

}  // namespace

QByteArray ChosenLanguage(const LangIniFile &languageFile)
{
    const QByteArray shared = languageFile.ReadEntry("GENERAL", "CurrentLanguage", QByteArray());
    if (!writingDenied(languageFile.fileName()))
        return shared;
    try {
        return LangIniFile::open(personalFileName()).ReadEntry("GENERAL", "CurrentLanguage", shared);
    } catch (const FileError &) {
        // A choice of one's own that cannot be read is no reason to refuse a start.
        return shared;
    }
}

void StoreLanguageChoice(LangIniFile &languageFile, const QByteArray &language)
{
    if (!writingDenied(languageFile.fileName())) {
        languageFile.RereadAndWriteEntry("GENERAL", "CurrentLanguage", language);
        return;
    }
    // Private to the user, as the base directory itself should be; a folder
    // that cannot be made shows in the write's error.
    ::mkdir(configHome().constData(), 0700);
    ::mkdir(personalFolder().constData(), 0700);
    LangIniFile personal = LangIniFile::open(personalFileName());
    personal.WriteEntry("GENERAL", "CurrentLanguage", language);
}
