#include "AliasText.h"

#include "LocaleText.h"

namespace {

constexpr char16_t EscapeBase = 0xEF00;

bool alteredByTextArea(QChar c)
{
    return c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator
           || c == u'\xFDD0' || c == u'\xFDD1';
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

}  // namespace

QString AliasFileToText(QByteArrayView bytes)
{
    QByteArray unified = bytes.toByteArray();
    unified.replace("\r\n", "\n");
    const QString decoded = LocaleToText(unified);

    QString text;
    text.reserve(decoded.size());
    for (QChar c : decoded) {
        if (!alteredByTextArea(c)) {
            text.append(c);
            continue;
        }
        for (char byte : TextToLocale(QString(c)))
            text.append(QChar(char16_t(EscapeBase + static_cast<unsigned char>(byte))));
    }
    return text;
}

QByteArray AliasTextToFile(const QString &text)
{
    QString lines = text;
    for (QChar &c : lines)
        if (isLineBreak(c))
            c = u'\n';
    if (lines.endsWith(u'\n'))
        lines.chop(1);
    QByteArray bytes = TextToLocale(lines);
    if (bytes == "\n")
        bytes.clear();
    return bytes;
}
