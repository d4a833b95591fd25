#include "LinkLabel.h"

#include <QMouseEvent>

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void TLinkLabel::click() { emit clicked(); }

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        click();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
