#include "ProgramEntry.h"

#include "Companion.h"
#include "ErrorHandler.h"
#include "FileError.h"
#include "GuardedApplication.h"
#include "MainU.h"
#include "MessageBox.h"
#include "StartupChecks.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <clocale>
#include <memory>

namespace {

// A save killed while it rewrote a file in place left the whole new content
// in a companion file; the user hears where, once per start until it is gone.
void reportLeftCompanions()
{
    QStringList found;
    for (const QByteArray &file : {ConfFileName, AliasesFileName, LangFileName}) {
        for (const QByteArray &companion : LeftCompanions(file))
            found.append(QStringLiteral("%1 (for %2)").arg(DisplayPath(companion), DisplayPath(file)));
    }
    if (found.isEmpty())
        return;
    MessageBox::show(MessageBox::Kind::Warning,
                     QStringLiteral("A save did not finish. The whole content it was writing is kept in:\n%1\n"
                                    "Compare it with the file it belongs to, and remove it when you no longer need it.")
                         .arg(found.join(QLatin1Char('\n'))));
}

}  // namespace

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

    const bool started = RunGuarded([&] {
        StartupChecks(commandLine, [](const QString &text) { MessageBox::showError(ErrorBoxText(text)); });
    });
    if (!started || !StartupOk)
        return 0;
    RunGuarded(reportLeftCompanions);

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
