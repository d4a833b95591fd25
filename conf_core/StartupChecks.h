#pragma once
// Start-up: locating the language, alias and configuration files, opening the
// language file and deciding whether the application may start.

#include "localisation/LanguageState.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class ConfDocument;

extern bool StartupOk;
extern QByteArray LangFileName;
extern QByteArray AliasesFileName;
extern QByteArray ConfFileName;
extern QList<QByteArray> Languages;
extern std::unique_ptr<ConfDocument> ConfLines;

// The directory part of the invocation path, up to and including the last "/".
QByteArray ProgramDirectory(const QByteArray &invocationPath);

// Opens CVConfManager.lang in the program's directory as LangIni, and sets
// LangFileName, CurrentLanguage and Languages. False when there is no such
// file; throws FileError when it cannot be read.
bool OpenLanguageFile(const QByteArray &programDirectory);
QString MissingLanguageFileText();

// corvane.conf in the program's directory, the file used when none is named.
QByteArray DefaultConfFileName(const QByteArray &programDirectory);

// commandLine is the process's argv as it received it (before the toolkit
// strips its own options). showError shows a modal error box and returns when
// the user has closed it.
void StartupChecks(const QList<QByteArray> &commandLine,
                   const std::function<void(const QString &)> &showError);
