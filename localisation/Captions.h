#pragma once
// The main window's translatable captions: language-file keys and the built-in
// English texts used when a key is missing.

#include <QByteArray>
#include <QString>
#include <array>

struct CaptionKey {
    const char *component;  // object name of the widget that shows the text
    const char *key;        // "CVConf_" + component
    const char *builtIn;
};

// In the order the captions are applied; the reminder "CVConf_PModified" last.
extern const std::array<CaptionKey, 8> CaptionKeys;

// Texts of questions that come in the current language although message
// boxes are otherwise fixed; "%1" stands for a file's path.
struct MessageKey {
    const char *key;
    const char *builtIn;
};
extern const std::array<MessageKey, 3> MessageKeys;
// Asked when a save finds that another program changed the file since it was read.
QString FileChangedQuestion(const QByteArray &language, const QString &path);
// Asked when this user may not write, or may not read, the file.
QString SaveAsAdministratorQuestion(const QByteArray &language, const QString &path);
QString ReadAsAdministratorQuestion(const QByteArray &language, const QString &path);

// The text under the key in a language section of LangIni, else the built-in
// text; converted from the locale's charset.
QString TranslatedText(const QByteArray &language, const char *key, const char *builtIn);

// The text for a caption key in a language section: the stored value, the
// built-in text when the key is missing. Converted from the locale's charset.
QString CaptionText(const QByteArray &language, const CaptionKey &caption);
QString ModifiedReminderText(const QByteArray &language);

// "ENGLISH" -> "English Language": the first character kept, ASCII capitals
// after it lowered, then " Language".
QString LanguagePanelCaption(const QByteArray &language);

// Whether a language name can name a menu entry: ASCII letters, digits and
// underscores, not beginning with a digit, not empty.
bool IsComponentName(const QByteArray &name);
