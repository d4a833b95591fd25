#include "LanguageState.h"

#include "LangIni.h"

std::unique_ptr<LangIniFile> LangIni;
QByteArray CurrentLanguage;
