#include "MenuEntryStyle.h"

#include <QApplication>
#include <QStyleOptionMenuItem>

MenuEntryStyle::MenuEntryStyle(int entryHeight)
    : QProxyStyle(QApplication::style()->name()), m_entryHeight(entryHeight)
{
}

QSize MenuEntryStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                       const QWidget *widget) const
{
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (type == CT_MenuItem && item && item->menuItemType != QStyleOptionMenuItem::Separator)
        result.setHeight(m_entryHeight);
    return result;
}

int MenuEntryStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                              QStyleHintReturn *returnData) const
{
    if (hint == SH_Menu_Scrollable)
        return true;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
