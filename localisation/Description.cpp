#include "Description.h"

#include "fileio/LocaleText.h"
#include "localisation/LangIni.h"
#include "localisation/LanguageState.h"

QList<QByteArray> SplitDescription(QByteArrayView description)
{
    static constexpr QByteArrayView separator("\\n");
    QList<QByteArray> lines;
    do {
        const qsizetype position = description.indexOf(separator);
        if (position < 0) {
            lines.append(description.toByteArray());
            description = {};
        } else {
            lines.append(description.first(position).toByteArray());
            description = description.sliced(position + separator.size());
        }
    } while (!description.isEmpty());
    return lines;
}

void ShowDescription(QStringList &lines, const QString &paramName)
{
    const QByteArray description =
        LangIni ? LangIni->ReadEntry(CurrentLanguage, TextToLocale(paramName), QByteArray()) : QByteArray();
    for (const QByteArray &line : SplitDescription(description))
        lines.append(LocaleToText(line));
}
