#include "Captions.h"

#include "LangIni.h"
#include "LocaleText.h"
#include "LanguageState.h"

const std::array<CaptionKey, 8> CaptionKeys = {{
    {"BReadConfig", "CVConf_BReadConfig", "Read configuration file"},
    {"BWriteConfig", "CVConf_BWriteConfig", "Save configuration file to disk"},
    {"BLanguage", "CVConf_BLanguage", "Change language"},
    {"LItemValue", "CVConf_LItemValue", "Modify the value here:"},
    {"BSaveValue", "CVConf_BSaveValue", "Save"},
    {"BCancelValue", "CVConf_BCancelValue", "Cancel"},
    {"LbVisit", "CVConf_LbVisit", "Visit"},
    {"PModified", "CVConf_PModified", "Don't forget to save!"},
}};

QString CaptionText(const QByteArray &language, const CaptionKey &caption)
{
    if (!LangIni)
        return QString::fromLatin1(caption.builtIn);
    return LocaleToText(LangIni->ReadEntry(language, caption.key, caption.builtIn));
}

QString ModifiedReminderText(const QByteArray &language)
{
    return CaptionText(language, CaptionKeys.back());
}

QString LanguagePanelCaption(const QByteArray &language)
{
    // Decoded first, so that no byte of a multibyte character is taken for a capital.
    QString name = LocaleToText(language);
    if (name.isEmpty())
        return QStringLiteral("Language");
    for (qsizetype i = 1; i < name.size(); ++i) {
        if (name[i] >= QLatin1Char('A') && name[i] <= QLatin1Char('Z'))
            name[i] = QChar(name[i].unicode() + ('a' - 'A'));
    }
    return name + QStringLiteral(" Language");
}

bool IsComponentName(const QByteArray &name)
{
    if (name.isEmpty() || (name.front() >= '0' && name.front() <= '9'))
        return false;
    for (const char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '_')
            return false;
    }
    return true;
}
