#include "LanguageState.h"

#include "localisation/LangIni.h"

std::unique_ptr<LangIniFile> LangIni;
QByteArray CurrentLanguage;
