#include "QWindows.h"

#include "fileio/LocaleText.h"

#include <QByteArrayList>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

QString ChooseDocumentOpener(const QByteArray &searchPath)
{
    // Searched as the shell will: an empty entry is the working directory.
    for (const QByteArray &directory : searchPath.split(':')) {
        const QByteArray program = (directory.isEmpty() ? QByteArray(".") : directory) + "/kfmclient";
        struct stat status {};
        if (::stat(program.constData(), &status) == 0 && S_ISREG(status.st_mode)
            && ::access(program.constData(), X_OK) == 0)
            return QStringLiteral("kfmclient exec");
    }
    // Without it the link would silently start nothing on most desktops.
    return QStringLiteral("xdg-open");
}

QString DocumentOpenerCommand = ChooseDocumentOpener(qgetenv("PATH"));

namespace {

// The shell works on bytes, so the escaping does too: a multi-byte character
// whose last byte looks like a quote or backslash cannot undo it.
QByteArray doubleQuoted(const QString &text)
{
    const QByteArray bytes = TextToLocale(text);
    QByteArray quoted;
    quoted.reserve(bytes.size() + 2);
    quoted.append('"');
    for (char byte : bytes) {
        // The only bytes that keep a meaning inside double quotes.
        if (byte == '"' || byte == '$' || byte == '`' || byte == '\\')
            quoted.append('\\');
        quoted.append(byte);
    }
    quoted.append('"');
    return quoted;
}

bool isControl(char byte)
{
    const auto code = static_cast<unsigned char>(byte);
    return code < 0x20 || code == 0x7F;
}

bool isPlainWordByte(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')
           || QByteArrayView("-_./=:,+@%").contains(byte);
}

// The parameters stand outside quotes: blanks still separate the arguments,
// every other byte is taken literally by the shell.
QByteArray literalWords(const QString &text)
{
    QByteArray words;
    for (char byte : TextToLocale(text)) {
        if (isPlainWordByte(byte) || byte == ' ' || byte == '\t') {
            words.append(byte);
        } else if (isControl(byte)) {
            // A backslash before a line break would join the lines instead.
            words.append('"').append(byte).append('"');
        } else {
            words.append('\\').append(byte);
        }
    }
    return words;
}

QString withoutTrailingBlanksAndControls(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].unicode() <= 32)
        --end;
    return text.left(end);
}

// Empty when the operation selects no opener: only "open" (or nothing) does.
QByteArray launchCommand(const QString &operation, const QString &target, const QString &parameters,
                         const QString &directory)
{
    if (!operation.isEmpty() && operation != QLatin1String("open"))
        return QByteArray();
    // The command is trimmed of blanks and control characters at both ends;
    // past the opener's name only the parameters' end can be reached, and
    // trimming that before escaping keeps every escape whole.
    const QString words = withoutTrailingBlanksAndControls(parameters);
    QByteArray command = TextToLocale(DocumentOpenerCommand) + ' ' + doubleQuoted(target);
    if (!words.isEmpty())
        command.append(' ').append(literalWords(words));
    command.append('&');
    if (!directory.isEmpty())
        command.prepend("cd " + doubleQuoted(directory) + ';');
    return command;
}

}  // namespace

int LaunchDocument(const QString &operation, const QString &target, const QString &parameters,
                   const QString &directory)
{
    const QByteArray command = launchCommand(operation, target, parameters, directory);
    // A NUL byte would cut the command short; no argument can carry one anyway.
    if (command.isEmpty() || command.contains('\0'))
        return 0;
    const int status = std::system(command.constData());
    // glibc reports a shell it could not start as exit status 127, not as -1.
    // The shell itself always ends with the background start, which is 0.
    const bool shellNotStarted = status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 127);
    return shellNotStarted ? 0 : 1;
}
