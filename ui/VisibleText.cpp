#include "VisibleText.h"

namespace {

constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;

bool breaksOrHides(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

}  // namespace

QString WithVisibleControls(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            shown += QChar(char16_t(ControlPictures + c.unicode()));
        else if (c.unicode() == 0x7f)
            shown += QChar(DeletePicture);
        else if (breaksOrHides(c))
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString LiteralToolTip(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}
