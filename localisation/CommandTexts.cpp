#include "CommandTexts.h"

#include "localisation/LanguageState.h"

QString CommandText(const MessageKey &text, const QStringList &arguments)
{
    return WithArguments(TranslatedText(CurrentLanguage, text.key, text.builtIn), arguments);
}

QString InCurrentLanguage(const FileMessage &message)
{
    return TranslatedText(CurrentLanguage, message.key, message.english);
}
