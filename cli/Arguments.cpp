#include "Arguments.h"

#include "fileio/LocaleText.h"

#include <algorithm>
#include <array>

namespace {

struct VerbName {
    const char *name;
    Verb verb;
    int leastOperands;
    int mostOperands;  // -1: any number
};

constexpr std::array<VerbName, 5> Verbs = {{
    {"list", Verb::List, 0, -1},
    {"get", Verb::Get, 1, 1},
    {"set", Verb::Set, 1, -1},
    {"unset", Verb::Unset, 1, -1},
    {"describe", Verb::Describe, 1, 1},
}};

const VerbName *findVerb(QByteArrayView name)
{
    for (const VerbName &verb : Verbs)
        if (name == verb.name)
            return &verb;
    return nullptr;
}

bool changesFile(Verb verb) { return verb == Verb::Set || verb == Verb::Unset; }

// Takes the value of an option written "--name VALUE" or "--name=VALUE".
// Returns false when the argument is not that option.
bool takeValue(const QList<QByteArray> &arguments, qsizetype &i, QByteArrayView option, QByteArray &value)
{
    const QByteArray &argument = arguments[i];
    if (argument == option && i + 1 < arguments.size())
        value = arguments[++i];
    else if (argument.startsWith(option.toByteArray() + '='))
        value = argument.sliced(option.size() + 1);
    else if (argument != option)
        return false;
    if (value.isEmpty())
        throw UsageError(CommandTexts::OptionNeedsValue, {LocaleToText(option)});
    return true;
}

// --wait: a whole number of seconds, digits only.
uint seconds(const QByteArray &value)
{
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError(CommandTexts::WaitSeconds, {LocaleToText(value)});
    return number;
}

// An option of the verb; false when the verb has none of that name.
bool takeVerbOption(Command &command, const QList<QByteArray> &arguments, qsizetype &i)
{
    const QByteArray &argument = arguments[i];
    const Verb verb = command.verb;
    if ((verb == Verb::List || changesFile(verb)) && argument == "--json")
        command.json = true;
    else if (changesFile(verb) && argument == "--dry-run")
        command.dryRun = true;
    else if (changesFile(verb) && argument == "--diff")
        command.diff = true;
    else if ((verb == Verb::Get || changesFile(verb)) && argument == "--any-key")
        command.anyKey = true;
    else if (!((verb == Verb::Describe || verb == Verb::List) && takeValue(arguments, i, "--language", command.language)))
        return false;
    return true;
}

}  // namespace

Command ParseArguments(const QList<QByteArray> &arguments)
{
    Command command;
    const VerbName *verb = nullptr;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &argument = arguments[i];
        if (optionsEnded || !argument.startsWith('-') || argument == "-") {
            if (verb) {
                command.operands.append(argument);
                continue;
            }
            verb = findVerb(argument);
            if (!verb)
                throw UsageError(CommandTexts::UnknownVerb, {LocaleToText(argument)});
            command.verb = verb->verb;
            continue;
        }
        if (argument == "--help" || argument == "-h")
            return Command{};
        if (argument == "--")
            optionsEnded = true;
        else if (!verb && argument == "--version")
            command.verb = Verb::Version;
        else if (!verb && takeValue(arguments, i, "--file", command.file))
            continue;
        else if (QByteArray wait; !verb && takeValue(arguments, i, "--wait", wait))
            command.wait = seconds(wait);
        else if (!verb)
            throw UsageError(CommandTexts::UnknownOption, {LocaleToText(argument)});
        else if (!takeVerbOption(command, arguments, i))
            throw UsageError(CommandTexts::UnknownVerbOption,
                             {LocaleToText(argument), QString::fromLatin1(verb->name)});
    }
    if (command.verb == Verb::Version)
        return command;
    if (!verb)
        throw UsageError(CommandTexts::NoVerb);
    // Only list --json shows descriptions.
    if (command.verb == Verb::List && !command.language.isEmpty() && !command.json)
        throw UsageError(CommandTexts::LanguageNeedsJson);
    const qsizetype count = command.operands.size();
    if (count < verb->leastOperands || (verb->mostOperands >= 0 && count > verb->mostOperands))
        throw UsageError(count ? CommandTexts::TooManyArguments : CommandTexts::NameMissing,
                         {QString::fromLatin1(verb->name)});
    return command;
}

QByteArray UsageText()
{
    return "Usage: cvconf [--file PATH] list [--json [--language LANGUAGE]] [NAME...]\n"
           "       cvconf [--file PATH] get [--any-key] NAME\n"
           "       cvconf [--file PATH] [--wait SECONDS] set [--dry-run] [--diff] [--json] [--any-key] NAME=VALUE...\n"
           "       cvconf [--file PATH] [--wait SECONDS] unset [--dry-run] [--diff] [--json] [--any-key] NAME...\n"
           "       cvconf describe [--language LANGUAGE] NAME\n"
           "       cvconf --help | --version\n"
           "\n"
           "Reads and changes corvane.conf, the configuration of a Corvane database server,\n"
           "with the parameter catalogue, descriptions and safe save of CVConfManager.\n"
           "\n"
           "  list         the 36 parameters, or those named: NAME, TAB, VALUE, TAB, DEFAULT\n"
           "               (--json: an array, with the descriptions)\n"
           "  get          the value; exit status 1 when the file has no line for NAME\n"
           "  set          sets the values in order and saves once, only when a value changes,\n"
           "               and then changes only the lines it sets (the windows write every\n"
           "               entry line without blanks around \"=\"); NAME = VALUE is read as in\n"
           "               the file; an empty value removes every line of the name\n"
           "  unset        removes every line of the names, like an empty value\n"
           "  describe     the parameter's description from CVConfManager.lang\n"
           "  --file PATH  the configuration file (default: corvane.conf beside the program)\n"
           "  --wait SECONDS  how long a save waits while another program holds the file's\n"
           "               lock (default 10; 0: not at all); then nothing is written\n"
           "  --dry-run    prints the change as a unified diff and writes nothing\n"
           "  --diff       prints the same diff, also when writing (empty when nothing changed)\n"
           "  --json       set/unset: prints the change as one JSON object instead of a diff,\n"
           "               which holds the diff only with --diff\n"
           "  --any-key    accepts keys outside the catalogue\n"
           "  --language   a language of CVConfManager.lang instead of the current one\n"
           "\n"
           "Exit status: 0 done, 1 no value, 2 usage error, 3 a file could not be read or written\n"
           "(also: its lock was not free in time, or a save that did not finish left a companion).\n"
           "See cvconf(1).\n";
}
