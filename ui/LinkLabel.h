#pragma once
// A label that works as a web link: a left click, or the press action a
// screen reader offers, emits clicked(). It takes no keyboard focus, so the
// window's Tab order is unchanged.

#include <QLabel>

class TLinkLabel : public QLabel {
    Q_OBJECT

public:
    TLinkLabel(const QString &text, QWidget *parent);
    void click();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
