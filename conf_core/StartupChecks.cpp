#include "StartupChecks.h"

#include "conf_core/ConfLines.h"
#include "conf_core/NameMatch.h"
#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "localisation/LangIni.h"
#include "localisation/LanguageChoice.h"

bool StartupOk = false;
QByteArray LangFileName;
QByteArray AliasesFileName;
QByteArray ConfFileName;
QList<QByteArray> Languages;
std::unique_ptr<ConfDocument> ConfLines;

namespace {

bool IsAsciiLetterCaseOf(QByteArrayView name, QByteArrayView upperCaseName)
{
    if (name.size() != upperCaseName.size())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (AsciiUpper(name[i]) != upperCaseName[i])
            return false;
    }
    return true;
}

}  // namespace

QByteArray ProgramDirectory(const QByteArray &invocationPath)
{
    return invocationPath.left(invocationPath.lastIndexOf('/') + 1);
}

bool OpenLanguageFile(const QByteArray &programDirectory)
{
    LangFileName = programDirectory + "CVConfManager.lang";
    if (!PathExists(LangFileName))
        return false;
    LangIni = std::make_unique<LangIniFile>(LangIniFile::open(LangFileName));

    CurrentLanguage = ChosenLanguage(*LangIni);
    if (CurrentLanguage.isEmpty())
        CurrentLanguage = "ENGLISH";

    Languages = LangIni->SectionNames();
    for (qsizetype i = 0; i < Languages.size(); ++i) {
        if (IsAsciiLetterCaseOf(Languages[i], "GENERAL")) {
            Languages.removeAt(i);
            break;
        }
    }
    return true;
}

QString MissingLanguageFileText()
{
    return QStringLiteral("Missing Language file. "
                          "Please copy CVConfManager.lang in the same directory as the application.");
}

QByteArray DefaultConfFileName(const QByteArray &programDirectory)
{
    return programDirectory + "corvane.conf";
}

void StartupChecks(const QList<QByteArray> &commandLine,
                   const std::function<void(const QString &)> &showError)
{
    // A failed start-up leaves nothing of an earlier run behind.
    StartupOk = false;
    LangIni.reset();
    CurrentLanguage.clear();
    Languages.clear();
    ConfLines.reset();
    ConfFileName.clear();

    const QByteArray programDirectory = ProgramDirectory(commandLine.value(0));
    AliasesFileName = programDirectory + "aliases.conf";

    try {
        if (!OpenLanguageFile(programDirectory)) {
            showError(MissingLanguageFileText());
            return;
        }
    } catch (const FileError &error) {
        showError(error.message());
        return;
    }

    ConfLines = std::make_unique<ConfDocument>();

    if (commandLine.size() >= 2 && PathExists(commandLine[1]))
        ConfFileName = commandLine[1];
    else
        ConfFileName = DefaultConfFileName(programDirectory);

    if (!PathExists(ConfFileName)) {
        showError(QStringLiteral("Missing ") + QStringLiteral("corvane.conf") + QStringLiteral(" file. ")
                  + QStringLiteral("Please verify that your corvane server is properly installed."));
        return;
    }
    StartupOk = true;
}
