// cvconf: the configuration of a Corvane database server from a shell.

#include "Arguments.h"
#include "FileError.h"
#include "LocaleText.h"
#include "Output.h"
#include "Verbs.h"

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
