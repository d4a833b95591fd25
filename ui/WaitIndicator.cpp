#include "WaitIndicator.h"

#include "fileio/FileError.h"
#include "fileio/Waiting.h"
#include "ui/WindowFont.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The box of the wait in progress, once noticed; its parent may go first.
QPointer<QDialog> indicator;

void showIndicator(const WaitReason &reason)
{
    const QString text = WaitText(reason) + QStringLiteral(" …");
    indicator = new QDialog(QApplication::activeWindow(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    indicator->setObjectName(QStringLiteral("WaitIndicator"));
    indicator->setWindowTitle(QStringLiteral("Please wait"));
    indicator->setAccessibleName(QStringLiteral("Please wait"));
    indicator->setAccessibleDescription(text);
    indicator->setWindowModality(Qt::ApplicationModal);
    indicator->setFont(WindowFont());
    auto *label = new QLabel(text, indicator);
    label->setObjectName(QStringLiteral("LWaitReason"));
    label->setAccessibleName(text);
    label->setWordWrap(true);
    (new QVBoxLayout(indicator))->addWidget(label);
    indicator->show();
}

bool passEvents(std::chrono::milliseconds interval)
{
    QEventLoop loop;
    QTimer::singleShot(interval, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return true;
}

}  // namespace

void WaitWithWindowsPainting()
{
    WaitingStyle &waiting = ProcessWaiting();
    waiting.noticed = showIndicator;
    waiting.pause = passEvents;
    waiting.ended = [] { delete indicator; };
}
