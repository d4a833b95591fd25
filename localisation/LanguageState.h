#pragma once
// The language file and the language in use, for the whole run. Start-up
// opens the file and chooses the language; captions and descriptions read them.

#include <QByteArray>
#include <memory>

class LangIniFile;

extern std::unique_ptr<LangIniFile> LangIni;
extern QByteArray CurrentLanguage;
