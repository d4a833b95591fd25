#include "AliasText.h"

#include "fileio/LocaleText.h"

namespace {

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
    const QString decoded = LocaleToText(bytes);
    QString text;
    text.reserve(decoded.size());
    const QChar *p = decoded.constData();
    const QChar *const end = p + decoded.size();
    while (p < end) {
        const QChar *run = p;
        while (p < end && !alteredByTextArea(*p))
            ++p;
        text.append(run, p - run);
        if (p == end)
            break;
        // The CR of a CR LF goes; the LF starts the next run.
        if (*p != u'\r' || p + 1 == end || p[1] != u'\n') {
            for (char byte : TextToLocale(QString(*p)))
                text.append(QChar(ByteEscape(byte)));
        }
        ++p;
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

qsizetype FirstLineLongerThan(QStringView text, qsizetype limit)
{
    qsizetype line = 1;
    qsizetype lineStart = 0;
    for (qsizetype at = 0; at <= text.size(); ++at) {
        if (at < text.size() && !isLineBreak(text[at]))
            continue;
        if (at - lineStart > limit)
            return line;
        ++line;
        lineStart = at + 1;
    }
    return 0;
}
