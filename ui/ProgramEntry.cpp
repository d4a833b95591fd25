#include "ProgramEntry.h"

#include "conf_core/StartupChecks.h"
#include "fileio/FileError.h"
#include "ui/ErrorHandler.h"
#include "ui/GuardedApplication.h"
#include "ui/LeftCompanionReport.h"
#include "ui/MainU.h"
#include "ui/MessageBox.h"
#include "ui/WaitIndicator.h"

#include <QByteArray>
#include <QList>
#include <clocale>
#include <memory>

int RunProgram(int &argc, char **argv)
{
    setlocale(LC_ALL, "");

    // The configuration core reads the command line as the process received
    // it; the application object below strips the toolkit's own options.
    QList<QByteArray> commandLine;
    for (int i = 0; i < argc; ++i)
        commandLine.append(QByteArray(argv[i]));

    // Message boxes need the application object, so it exists before start-up.
    GuardedApplication application(argc, argv);
    WaitWithWindowsPainting();

    const bool started = RunGuarded([&] {
        StartupChecks(commandLine, [](const QString &text) { MessageBox::showError(ErrorBoxText(text)); });
    });
    if (!started || !StartupOk)
        return 0;
    // A save killed while it rewrote a file in place left its content in a companion.
    RunGuarded([] { ReportLeftCompanions({ConfFileName, AliasesFileName, LangFileName}); });

    QApplication::setApplicationName(QStringLiteral("Corvane Config Manager"));
    std::unique_ptr<TMainForm> mainForm;
    if (!RunGuarded([&] { mainForm = std::make_unique<TMainForm>(); }))
        return 0;
    MainForm = mainForm.get();
    mainForm->show();
    application.exec();
    MainForm = nullptr;
    return 0;
}
