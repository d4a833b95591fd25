#include "AccessibleRoles.h"

#include "ui/AccessibleTextArea.h"
#include "ui/LinkLabel.h"
#include "ui/MainU.h"

#include <QAccessibleWidget>
#include <QPlainTextEdit>

namespace {

class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(TLinkLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return label()->text();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString &name) override
    {
        if (name == pressAction())
            label()->click();
    }

    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    TLinkLabel *label() const { return static_cast<TLinkLabel *>(widget()); }
};

QAccessibleInterface *roleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(TMainForm::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String(TLinkLabel::staticMetaObject.className()))
        return new AccessibleLink(static_cast<TLinkLabel *>(object));
    if (className == QLatin1String(QPlainTextEdit::staticMetaObject.className()))
        return new AccessibleTextArea(static_cast<QPlainTextEdit *>(object));
    return nullptr;
}

}  // namespace

void InstallAccessibleRoles()
{
    static const bool installed = (QAccessible::installFactory(roleFactory), true);
    Q_UNUSED(installed);
}
