#include "QWindows.h"

#include "fileio/LocaleText.h"

#include <QByteArrayList>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

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

namespace {

// The exit status of a child that could not become the user: sh itself never
// ends with it, as its last command is a start in the background.
constexpr int NotBecome = 126;

struct OpenerUser {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
    QByteArray home;
    QByteArray name;
};

// The user who started this root process through pkexec or sudo; none where
// neither says, where it was root itself, or where the user is unknown.
std::optional<OpenerUser> invokingUser()
{
    QByteArray named = qgetenv("PKEXEC_UID");
    if (named.isEmpty())
        named = qgetenv("SUDO_UID");
    bool number = false;
    const uint uid = named.toUInt(&number);
    if (!number || uid == 0)
        return std::nullopt;
    struct passwd entry {};
    struct passwd *found = nullptr;
    std::vector<char> buffer(65536);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    OpenerUser user{found->pw_uid, found->pw_gid, {}, found->pw_dir, found->pw_name};
    int count = 0;
    ::getgrouplist(found->pw_name, found->pw_gid, nullptr, &count);
    user.groups.resize(size_t(std::max(count, 1)));
    if (::getgrouplist(found->pw_name, found->pw_gid, user.groups.data(), &count) < 0)
        return std::nullopt;
    user.groups.resize(size_t(count));
    return user;
}

// Root's environment with the user's own home, names and session folder.
std::vector<QByteArray> environmentOf(const OpenerUser &user)
{
    static const QByteArrayList replaced = {"HOME=", "USER=", "LOGNAME=", "XDG_RUNTIME_DIR=",
                                            "DBUS_SESSION_BUS_ADDRESS="};
    std::vector<QByteArray> environment;
    for (char **variable = environ; *variable; ++variable) {
        const QByteArray entry(*variable);
        if (std::none_of(replaced.begin(), replaced.end(), [&](const QByteArray &name) { return entry.startsWith(name); }))
            environment.push_back(entry);
    }
    environment.push_back("HOME=" + user.home);
    environment.push_back("USER=" + user.name);
    environment.push_back("LOGNAME=" + user.name);
    const QByteArray runtime = "/run/user/" + QByteArray::number(user.uid);
    struct stat status {};
    if (::stat(runtime.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == user.uid) {
        environment.push_back("XDG_RUNTIME_DIR=" + runtime);
        if (::access((runtime + "/bus").constData(), F_OK) == 0)
            environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
    }
    return environment;
}

// As std::system, but the shell runs as the user. Everything the child needs
// is made before the fork: after it, only calls that are safe there.
int systemAs(const QByteArray &command, const OpenerUser &user)
{
    const std::vector<QByteArray> environment = environmentOf(user);
    std::vector<char *> variables;
    for (const QByteArray &entry : environment)
        variables.push_back(const_cast<char *>(entry.constData()));
    variables.push_back(nullptr);
    char *const arguments[] = {const_cast<char *>("sh"), const_cast<char *>("-c"),
                               const_cast<char *>(command.constData()), nullptr};

    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // Groups first, the user last, and root must be gone for good.
        if (::setgroups(user.groups.size(), user.groups.data()) != 0 || ::setgid(user.gid) != 0
            || ::setuid(user.uid) != 0 || ::setuid(0) == 0)
            ::_exit(NotBecome);
        ::execve("/bin/sh", arguments, variables.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

}  // namespace

LaunchResult LaunchDocument(const QString &operation, const QString &target, const QString &parameters,
                            const QString &directory)
{
    const QByteArray command = launchCommand(operation, target, parameters, directory);
    // A NUL byte would cut the command short; no argument can carry one anyway.
    if (command.isEmpty() || command.contains('\0'))
        return LaunchFailed;
    int status = 0;
    if (::geteuid() == 0) {
        const std::optional<OpenerUser> user = invokingUser();
        if (!user)
            return LaunchNotAsRoot;
        status = systemAs(command, *user);
        if (WIFEXITED(status) && WEXITSTATUS(status) == NotBecome)
            return LaunchNotAsRoot;
    } else {
        status = std::system(command.constData());
    }
    // glibc reports a shell it could not start as exit status 127, not as -1.
    // The shell itself always ends with the background start, which is 0.
    const bool shellNotStarted = status == -1 || (WIFEXITED(status) && WEXITSTATUS(status) == 127);
    return shellNotStarted ? LaunchFailed : LaunchStarted;
}
