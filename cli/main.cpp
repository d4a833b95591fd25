// cvconf: the configuration of a Corvane database server from a shell.

#include "cli/Arguments.h"
#include "cli/Output.h"
#include "cli/Verbs.h"
#include "fileio/FileError.h"
#include "fileio/LocaleText.h"
#include "fileio/Waiting.h"

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
    waiting.noticed = [](const WaitReason &reason) { PrintError(WaitText(reason)); };
    waiting.pause = [caller = ::getppid()](std::chrono::milliseconds interval) {
        std::this_thread::sleep_for(interval);
        return ::getppid() == caller;
    };
}

}  // namespace

int main(int argc, char **argv)
{
    setlocale(LC_ALL, "");
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    int status = ExitDone;
    try {
        const Command command = ParseArguments(arguments);
        waitAsAsked(command);
        status = RunCommand(command, argc > 0 ? QByteArray(argv[0]) : QByteArray());
    } catch (const UsageError &error) {
        PrintErrorBytes(error.message());
        PrintErrorBytes("see cvconf --help");
        return ExitUsage;
    } catch (const FileError &error) {
        PrintError(ErrorBoxText(error.message()));
        return ExitFileError;
    } catch (const std::exception &error) {
        PrintError(ErrorBoxText(LocaleToText(error.what())));
        return ExitFileError;
    }
    if (!FinishOutput()) {
        PrintError(ErrorBoxText(FileError::writeFailed().message()));
        return ExitFileError;
    }
    return status;
}
