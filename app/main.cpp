// Program entry: the start-up gate, then the main window and the event loop.

#include "ErrorHandler.h"
#include "GuardedApplication.h"
#include "MainU.h"
#include "MessageBox.h"
#include "StartupChecks.h"

#include <QByteArray>
#include <QList>
#include <clocale>

int main(int argc, char **argv)
{
    setlocale(LC_ALL, "");

    // The configuration core reads the command line as the process received
    // it; the application object below strips the toolkit's own options.
    QList<QByteArray> commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine.append(QByteArray(argv[i]));

    // Message boxes need the application object, so it exists before start-up.
    GuardedApplication application(argc, argv);

    StartupChecks(commandLine, [](const QString &text) { MessageBox::showError(ErrorBoxText(text)); });
    if (!StartupOk)
        return 0;

    QApplication::setApplicationName(QStringLiteral("Corvane Config Manager"));
    TMainForm mainForm;
    MainForm = &mainForm;
    mainForm.show();
    application.exec();
    MainForm = nullptr;
    return 0;
}
