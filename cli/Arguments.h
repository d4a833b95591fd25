#pragma once
// The command line of cvconf: a verb, its options, and its names or pairs.

#include <QByteArray>
#include <QList>
#include <optional>
#include <stdexcept>

enum ExitStatus { ExitDone = 0, ExitNoValue = 1, ExitUsage = 2, ExitFileError = 3 };

enum class Verb { Help, Version, List, Get, Set, Unset, Describe };

struct Command {
    Verb verb = Verb::Help;
    QByteArray file;             // --file; empty: corvane.conf beside the program
    std::optional<uint> wait;    // --wait: seconds a save waits for another's lock; none: the default
    bool json = false;           // list/set/unset --json
    bool dryRun = false;         // set/unset --dry-run
    bool diff = false;           // set/unset --diff
    bool anyKey = false;         // get/set/unset --any-key
    QByteArray language;         // describe --language; empty: the current language
    QList<QByteArray> operands;  // names, or NAME=VALUE pairs for set
};

// A command line that asks for something cvconf does not offer. The message
// holds the user's own bytes, so it is bytes in the locale's character set.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QByteArray &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QByteArray &message() const { return m_message; }

private:
    QByteArray m_message;
};

// The arguments after the program name. Throws UsageError.
Command ParseArguments(const QList<QByteArray> &arguments);

QByteArray UsageText();
