#pragma once
// The command line of cvconf: a verb, its options, and its names or pairs.

#include "localisation/CommandTexts.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
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

// A command line that asks for something cvconf does not offer: one of
// CommandTexts, told in the current language, and its arguments.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const MessageKey &text, const QStringList &arguments = {})
        : std::runtime_error(text.builtIn), m_text(text), m_arguments(arguments)
    {
    }
    QString message() const { return CommandText(m_text, m_arguments); }

private:
    MessageKey m_text;
    QStringList m_arguments;
};

// The arguments after the program name. Throws UsageError.
Command ParseArguments(const QList<QByteArray> &arguments);

QByteArray UsageText();
