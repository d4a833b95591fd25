// cvconf: the configuration of a Corvane database server from a shell.

#include "cli/Arguments.h"
#include "cli/Output.h"
#include "cli/Verbs.h"
#include "fileio/FileError.h"
#include "fileio/LocaleText.h"

#include <clocale>
#include <exception>

int main(int argc, char **argv)
{
    setlocale(LC_ALL, "");
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    int status = ExitDone;
    try {
        status = RunCommand(ParseArguments(arguments), argc > 0 ? QByteArray(argv[0]) : QByteArray());
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
