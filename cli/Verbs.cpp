#include "Verbs.h"

#include "cli/CatalogueNames.h"
#include "cli/Output.h"
#include "cli/UnifiedDiff.h"
#include "conf_core/ConfLines.h"
#include "conf_core/StartupChecks.h"
#include "fileio/Companion.h"
#include "fileio/FileError.h"
#include "fileio/FileLock.h"
#include "fileio/LocaleText.h"
#include "fileio/ReadFile.h"
#include "localisation/Description.h"
#include "localisation/LangIni.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {

// A value for set, or the empty value of unset, which removes the line.
struct NewValue {
    QByteArray name;  // as the document gets it
    QByteArray value;
};

bool hasLineBreak(QByteArrayView text) { return text.contains('\n') || text.contains('\r'); }

QByteArray unknownNameMessage(const QByteArray &name)
{
    QByteArray message = "unknown parameter \"" + name + "\"";
    const QList<QByteArray> closest = ClosestCatalogueNames(name);
    if (closest.isEmpty())
        return message + " (cvconf list shows the parameters; --any-key accepts any key)";
    message += "; did you mean ";
    for (qsizetype i = 0; i < closest.size(); ++i)
        message += (i == 0 ? "" : i + 1 == closest.size() ? " or " : ", ") + closest[i];
    return message + '?';
}

// The name as the document gets it: the catalogue's spelling, or with
// --any-key any other key as typed.
QByteArray parameterName(const QByteArray &typed, bool anyKey)
{
    // A line that begins with "#" is a comment, and one that begins with a
    // blank has a key that no parameter name matches.
    if (typed.isEmpty() || hasLineBreak(typed) || typed.startsWith('#') || typed.startsWith(' ') || typed.startsWith('\t'))
        throw UsageError("\"" + typed + "\" is no parameter name");
    if (const ParamEntry *entry = CatalogueEntry(typed))
        return entry->Name;
    if (!anyKey)
        throw UsageError(unknownNameMessage(typed));
    return typed;
}

// Finds the files as the windows do, except that --file is used as given:
// a script must not change the default file because its path named nothing.
// Prints the windows' message and returns false when a needed file is missing.
bool findFiles(const Command &command, const QByteArray &invocationPath, bool needConfFile)
{
    QList<QByteArray> commandLine{invocationPath};
    if (!command.file.isEmpty())
        commandLine.append(command.file);
    QStringList messages;
    StartupChecks(commandLine, [&messages](const QString &text) { messages.append(ErrorBoxText(text)); });
    if (!LangIni || (needConfFile && command.file.isEmpty() && !StartupOk)) {
        PrintError(messages.value(0));
        return false;
    }
    if (!command.file.isEmpty())
        ConfFileName = command.file;
    return true;
}

// The catalogue entries named, in the order given; all of them when none is.
QList<const ParamEntry *> listedEntries(const QList<QByteArray> &names)
{
    QList<const ParamEntry *> entries;
    for (const QByteArray &name : names)
        entries.append(CatalogueEntry(parameterName(name, false)));
    for (qsizetype i = 0; names.isEmpty() && i < ParamCount; ++i)
        entries.append(&ParamCatalogue[size_t(i)]);
    return entries;
}

int list(const ConfDocument &document, const Command &command, const QList<const ParamEntry *> &entries)
{
    if (!command.json) {
        for (const ParamEntry *entry : entries)
            PrintOut(QByteArray(entry->Name) + '\t' + GetConfValue(document, entry->Name) + '\t' + entry->Default + '\n');
        return ExitDone;
    }
    // JSON is UTF-8 whatever the locale: values are decoded through it, and
    // bytes it cannot decode become the private-use characters U+EF00 + byte.
    QJsonArray array;
    for (const ParamEntry *entry : entries) {
        QStringList description;
        ShowDescription(description, QString::fromLatin1(entry->Name));
        array.append(QJsonObject{{"name", QString::fromLatin1(entry->Name)},
                                 {"value", LocaleToText(GetConfValue(document, entry->Name))},
                                 {"default", QString::fromLatin1(entry->Default)},
                                 {"set", HasConfEntry(document, entry->Name)},
                                 {"description", description.join('\n')}});
    }
    PrintOut(QJsonDocument(array).toJson(QJsonDocument::Indented));
    return ExitDone;
}

int get(const ConfDocument &document, const QByteArray &name)
{
    if (!HasConfEntry(document, name))
        return ExitNoValue;
    PrintOut(GetConfValue(document, name) + '\n');
    return ExitDone;
}

// Whether the saved text, in its pieces, is these bytes.
bool savesAs(const ConfDocument &document, QByteArrayView bytes)
{
    qsizetype at = 0;
    for (QByteArrayView chunk : document.savedChunks()) {
        if (chunk != bytes.sliced(at, std::min(chunk.size(), bytes.size() - at)))
            return false;
        at += chunk.size();
    }
    return at == bytes.size();
}

// The parameter's value for JSON: null when the file has no entry line for it.
QJsonValue jsonValue(const ConfDocument &document, QByteArrayView name)
{
    return HasConfEntry(document, name) ? QJsonValue(LocaleToText(GetConfValue(document, name))) : QJsonValue();
}

// Gives the parameter the value unless it has it already; returns whether the
// document changed. An empty value removes every entry line of the name, as
// a later one would otherwise become the value the server reads.
bool apply(ConfDocument &document, const NewValue &newValue)
{
    if (newValue.value.isEmpty()) {
        bool removed = false;
        while (HasConfEntry(document, newValue.name)) {
            SetConfValue(document, newValue.name, {});
            removed = true;
        }
        return removed;
    }
    // Not empty, the value can only equal that of an entry line.
    if (GetConfValue(document, newValue.name) == newValue.value)
        return false;
    SetConfValue(document, newValue.name, newValue.value);
    return true;
}

// set --json: whether the file changed, per name its value before and after,
// decoded as list --json decodes values, and with --diff the diff. The texts
// of the file are left out: on a large file they would cost a script far more
// than the change.
QByteArray changeAsJson(const ConfDocument &document, const QList<NewValue> &values, const QList<QJsonValue> &previous,
                        bool changed, const QByteArray *diff)
{
    QJsonArray parameters;
    for (qsizetype i = 0; i < values.size(); ++i)
        parameters.append(QJsonObject{{"name", LocaleToText(values[i].name)},
                                      {"previous", previous[i]},
                                      {"value", jsonValue(document, values[i].name)}});
    QJsonObject change{{"changed", changed}, {"parameters", parameters}};
    if (diff)
        change.insert("diff", LocaleToText(*diff));
    return QJsonDocument(change).toJson(QJsonDocument::Compact) + '\n';
}

// set and unset: the values in order, one save, and only when a value changes.
int change(ConfDocument &document, const Command &command, const QList<NewValue> &values)
{
    // Held from the read through the save, so that runs in parallel take turns.
    const FileLock lock(ConfFileName);
    LoadConfFile(document, ConfFileName);
    // The file as it is, to compare with: the document holds it normalised.
    // Another writer between the two reads would make the diff lie.
    FileStamp beforeStamp;
    const QByteArray before = ReadWholeFile(ConfFileName, &beforeStamp);
    if (!SameFileAndContent(document.fileStamp(), beforeStamp))
        throw FileError::changedSinceRead(ConfFileName);
    QList<QJsonValue> previous;
    for (qsizetype i = 0; command.json && i < values.size(); ++i)
        previous.append(jsonValue(document, values[i].name));
    bool changed = false;
    for (const NewValue &newValue : values)
        changed = apply(document, newValue) || changed;
    // Values set and set back may leave the bytes as they were.
    changed = changed && !savesAs(document, before);
    if (changed && !command.dryRun)
        SaveConfFile(document, ConfFileName, IfChanged::Refuse, &lock);
    // With --json only --diff asks for the diff.
    const bool showDiff = command.diff || (command.dryRun && !command.json);
    const QByteArray diff = changed && showDiff ? UnifiedDiff(ConfFileName, before, document.savedText()) : QByteArray();
    if (command.json)
        PrintOut(changeAsJson(document, values, previous, changed, showDiff ? &diff : nullptr));
    else
        PrintOut(diff);
    return ExitDone;
}

QList<NewValue> valuesToSet(const Command &command)
{
    QList<NewValue> values;
    for (const QByteArray &operand : command.operands) {
        const bool pair = command.verb == Verb::Set;
        const qsizetype equals = pair ? operand.indexOf('=') : operand.size();
        if (equals < 0)
            throw UsageError("\"" + operand + "\" is no NAME=VALUE pair");
        const QByteArray value = pair ? operand.sliced(equals + 1) : QByteArray();
        if (hasLineBreak(value))
            throw UsageError("the value for " + operand.left(equals) + " holds a line break, which would add a line");
        const QByteArray name = parameterName(operand.left(equals), command.anyKey);
        // Stored as a load would hold the line, so that get returns it and the
        // same set again changes nothing; empty after that, it unsets.
        const QByteArray line = ConfDocument::normalisedLine(name + '=' + value);
        values.append({name, line.sliced(line.indexOf('=') + 1)});
    }
    return values;
}

// The language as the language file spells it; letter case may differ.
QByteArray languageSection(const QByteArray &typed)
{
    for (const QByteArray &language : Languages)
        if (language.compare(typed, Qt::CaseInsensitive) == 0)
            return language;
    throw UsageError("unknown language \"" + typed + "\"; the language file has " + Languages.join(", "));
}

int describe(const Command &command)
{
    const QByteArray name = parameterName(command.operands[0], false);
    QStringList lines;
    ShowDescription(lines, QString::fromLatin1(name));
    for (const QString &line : lines)
        PrintOut(TextToLocale(line) + '\n');
    return ExitDone;
}

}  // namespace

int RunCommand(const Command &command, const QByteArray &invocationPath)
{
    switch (command.verb) {
    case Verb::Help:
        PrintOut(UsageText());
        return ExitDone;
    case Verb::Version:
        PrintOut("cvconf " CV_VERSION "\n");
        return ExitDone;
    default:
        break;
    }
    // Every name and value is checked before a file is touched.
    QList<NewValue> values;
    QByteArray name;
    QList<const ParamEntry *> listed;
    if (command.verb == Verb::Set || command.verb == Verb::Unset)
        values = valuesToSet(command);
    else if (command.verb == Verb::Get)
        name = parameterName(command.operands[0], command.anyKey);
    else if (command.verb == Verb::List)
        listed = listedEntries(command.operands);
    if (!findFiles(command, invocationPath, command.verb != Verb::Describe))
        return ExitFileError;
    // A save killed midway left the whole content it was writing beside the file: say where.
    if (command.verb != Verb::Describe)
        if (const QString report = LeftCompanionsReport({ConfFileName}); !report.isEmpty())
            PrintError(report);
    if (!command.language.isEmpty())
        CurrentLanguage = languageSection(command.language);
    switch (command.verb) {
    case Verb::List:
        LoadConfFile(*ConfLines, ConfFileName);
        return list(*ConfLines, command, listed);
    case Verb::Get:
        LoadConfFile(*ConfLines, ConfFileName);
        return get(*ConfLines, name);
    case Verb::Describe:
        return describe(command);
    default:
        return change(*ConfLines, command, values);
    }
}
