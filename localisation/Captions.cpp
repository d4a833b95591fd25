#include "Captions.h"

#include "fileio/LocaleText.h"
#include "localisation/LangIni.h"
#include "localisation/LanguageState.h"

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

const std::array<MessageKey, 3> MessageKeys = {{
    {"CVConf_FileChanged", "The file %1 was changed by another program after it was read. "
                           "Overwrite that change with yours? Answer No to write nothing and keep your changes here."},
    {"CVConf_SaveAsAdministrator", "This user may not write the file %1. Save it as administrator? "
                                   "An administrator's password will be asked for."},
    {"CVConf_ReadAsAdministrator", "This user may not read the file %1. Read it as administrator? "
                                   "An administrator's password will be asked for."},
}};

QString TranslatedText(const QByteArray &language, const char *key, const char *builtIn)
{
    if (!LangIni)
        return QString::fromLatin1(builtIn);
    return LocaleToText(LangIni->ReadEntry(language, key, builtIn));
}

QString CaptionText(const QByteArray &language, const CaptionKey &caption)
{
    return TranslatedText(language, caption.key, caption.builtIn);
}

namespace {

QString question(const QByteArray &language, const MessageKey &key, const QString &path)
{
    return TranslatedText(language, key.key, key.builtIn).arg(path);
}

}  // namespace

QString FileChangedQuestion(const QByteArray &language, const QString &path)
{
    return question(language, MessageKeys[0], path);
}

QString SaveAsAdministratorQuestion(const QByteArray &language, const QString &path)
{
    return question(language, MessageKeys[1], path);
}

QString ReadAsAdministratorQuestion(const QByteArray &language, const QString &path)
{
    return question(language, MessageKeys[2], path);
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
