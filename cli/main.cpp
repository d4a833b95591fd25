// cvconf: the configuration of a Corvane database server from a shell.

#include "cli/Arguments.h"
#include "cli/Output.h"
#include "cli/Verbs.h"
#include "conf_core/StartupChecks.h"
#include "fileio/FileError.h"
#include "fileio/LocaleText.h"
#include "fileio/Waiting.h"
#include "localisation/CommandTexts.h"

#include <clocale>
#include <exception>
#include <thread>
#include <unistd.h>

namespace {

// A save waits for another's lock as long as --wait says, and says once on
// standard error what it waits for. A run whose caller is gone (another
// process adopted it) gives up: a save long after its caller ended, or was
// killed for taking too long, would surprise whoever comes next.
void waitAsAsked(const Command &command)
{
    WaitingStyle &waiting = ProcessWaiting();
    if (command.wait)
        waiting.lockBound = std::chrono::seconds(*command.wait);
    waiting.noticed = [](const WaitReason &reason) { PrintError(WaitText(reason, InCurrentLanguage)); };
    waiting.pause = [caller = ::getppid()](std::chrono::milliseconds interval) {
        std::this_thread::sleep_for(interval);
        return ::getppid() == caller;
    };
}

}  // namespace

int main(int argc, char **argv)
{
    setlocale(LC_ALL, "");
    const QByteArray invocationPath = argc > 0 ? QByteArray(argv[0]) : QByteArray();
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    int status = ExitDone;
    try {
        // Messages come in the language chosen in the language file, the
        // command line's too; without it, in English. Where it cannot be
        // read, the verbs that need it say why.
        try {
            OpenLanguageFile(ProgramDirectory(invocationPath));
        } catch (const FileError &) {
        }
        const Command command = ParseArguments(arguments);
        waitAsAsked(command);
        status = RunCommand(command, invocationPath);
    } catch (const UsageError &error) {
        PrintError(error.message());
        PrintError(CommandText(CommandTexts::SeeHelp));
        return ExitUsage;
    } catch (const FileError &error) {
        PrintError(ErrorBoxText(error.text(InCurrentLanguage)));
        return ExitFileError;
    } catch (const std::exception &error) {
        PrintError(ErrorBoxText(LocaleToText(error.what())));
        return ExitFileError;
    }
    if (!FinishOutput()) {
        PrintError(ErrorBoxText(FileError::writeFailed().text(InCurrentLanguage)));
        return ExitFileError;
    }
    return status;
}
