#pragma once
// Where the chosen language is kept. The language file holds it where this
// user may write that file. Where the user may not (the package's file
// belongs to root), each user keeps a choice of their own in
// $XDG_CONFIG_HOME/cvconfmanager/CVConfManager.lang (~/.config without it),
// which then wins over the language file's; the language file is left alone.

#include <QByteArray>

class LangIniFile;

// The language chosen for this user: empty when none is.
QByteArray ChosenLanguage(const LangIniFile &languageFile);

// Keeps the choice for the next start. Throws FileError when the file that
// keeps it cannot be read or written.
void StoreLanguageChoice(LangIniFile &languageFile, const QByteArray &language);
