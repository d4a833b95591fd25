#pragma once
// The application's style with menu entries of one fixed height, whatever the
// font: a popup placed by counting entries then has the height it counted.
// A menu taller than the screen scrolls, in one column, so every entry stays
// within reach.

#include <QProxyStyle>

class MenuEntryStyle : public QProxyStyle {
public:
    explicit MenuEntryStyle(int entryHeight);
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override;

private:
    int m_entryHeight;
};
