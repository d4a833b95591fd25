#include "Icons.h"

#include <QString>

// The images are compiled into this static library; a reference to their
// initialiser keeps the linker from dropping them.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace {

void ensureIconResources()
{
    static const bool done = (initIconResources(), true);
    Q_UNUSED(done);
}

} // namespace

QIcon ButtonIcon(const QString &name)
{
    ensureIconResources();
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/%1.xpm").arg(name)), QIcon::Normal);
    icon.addPixmap(QPixmap(QStringLiteral(":/icons/%1_disabled.xpm").arg(name)), QIcon::Disabled);
    return icon;
}

QPixmap LogoPixmap()
{
    ensureIconResources();
    return QPixmap(QStringLiteral(":/icons/logo.xpm"));
}
