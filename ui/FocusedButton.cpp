#include "FocusedButton.h"

#include <QKeyEvent>
#include <QPushButton>

bool PressFocusedButton(QWidget *window, const QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    auto *button = qobject_cast<QPushButton *>(window->focusWidget());
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}
