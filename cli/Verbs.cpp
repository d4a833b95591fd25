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
#include <cstring>

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
    if (typed.isEmpty() || hasLineBreak(typed))
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

int list(const ConfDocument &document, bool json)
{
    if (!json) {
        for (const ParamEntry &entry : ParamCatalogue)
            PrintOut(QByteArray(entry.Name) + '\t' + GetConfValue(document, entry.Name) + '\t' + entry.Default + '\n');
        return ExitDone;
    }
    // JSON is UTF-8 whatever the locale: values are decoded through it, and
    // bytes it cannot decode become the private-use characters U+EF00 + byte.
    QJsonArray array;
    for (const ParamEntry &entry : ParamCatalogue)
        array.append(QJsonObject{{"name", QString::fromLatin1(entry.Name)},
                                 {"value", LocaleToText(GetConfValue(document, entry.Name))},
                                 {"default", QString::fromLatin1(entry.Default)},
                                 {"set", HasConfEntry(document, entry.Name)}});
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

// set --json: whether the file changed, its text before and after, and per
// name its value before and after, decoded as list --json decodes values.
QByteArray changeAsJson(const ConfDocument &document, const QList<NewValue> &values, const QList<QJsonValue> &previous,
                        bool changed, const QByteArray &before, const QByteArray &after)
{
    QJsonArray parameters;
    for (qsizetype i = 0; i < values.size(); ++i)
        parameters.append(QJsonObject{{"name", LocaleToText(values[i].name)},
                                      {"previous", previous[i]},
                                      {"value", jsonValue(document, values[i].name)}});
    const QJsonObject change{
        {"changed", changed}, {"before", LocaleToText(before)}, {"after", LocaleToText(after)}, {"parameters", parameters}};
    return QJsonDocument(change).toJson(QJsonDocument::Compact) + '\n';
}

// The file's bytes, and the document loaded from the same read. The document
// normalises its bytes in place, so it gets a copy, in memory that asks for
// huge pages as the read's own does: filling fresh small pages costs more
// than the copy.
QByteArray load(ConfDocument &document)
{
    QByteArray bytes;
    LoadConfFile(document, ConfFileName, [&bytes](const QByteArray &path, FileStamp *stamp) {
        bytes = ReadWholeFile(path, stamp);
        QByteArray copy(bytes.size(), Qt::Uninitialized);
        AdviseLargeBuffer(copy.data(), size_t(copy.size()));
        std::memcpy(copy.data(), bytes.constData(), size_t(bytes.size()));
        return copy;
    });
    return bytes;
}

// What the values make of the document: whether the file changes, and for
// --json each name's value before.
struct Outcome {
    bool changed = false;
    QList<QJsonValue> previous;
};

Outcome decide(ConfDocument &document, const Command &command, const QList<NewValue> &values, const QByteArray &before)
{
    Outcome outcome;
    for (qsizetype i = 0; command.json && i < values.size(); ++i)
        outcome.previous.append(jsonValue(document, values[i].name));
    for (const NewValue &newValue : values)
        outcome.changed = apply(document, newValue) || outcome.changed;
    // Values set and set back may leave the bytes as they were.
    outcome.changed = outcome.changed && !savesAs(document, before);
    return outcome;
}

// set and unset: the values in order, one save, and only when a value changes.
int change(ConfDocument &document, const Command &command, const QList<NewValue> &values)
{
    // Read and decided without waiting for another program's lock, which a
    // dry run or a set that changes nothing never needs; read under a shared
    // lock where no save holds the file, so that it reads whole.
    QByteArray before;
    bool readWhole = false;
    {
        const SharedLockIfFree reading(ConfFileName);
        before = load(document);
        readWhole = !reading.saveRunning();
    }
    Outcome outcome = decide(document, command, values, before);
    if (outcome.changed && !command.dryRun) {
        // Held through the save, so that runs in parallel take turns. A file
        // saved since it was read, or read while a save ran, is read again.
        const FileLock lock(ConfFileName);
        if (!readWhole || !lock.unchangedSince(document.fileStamp())) {
            before = load(document);
            outcome = decide(document, command, values, before);
        }
        if (outcome.changed)
            SaveConfFile(document, ConfFileName, IfChanged::Refuse, &lock);
    } else if (const QString report = LeftCompanionsReport({ConfFileName}); !report.isEmpty()) {
        // A save tells of a companion a killed save left by refusing.
        PrintError(report);
    }
    if (command.json)
        PrintOut(changeAsJson(document, values, outcome.previous, outcome.changed, before,
                              outcome.changed ? document.savedText() : before));
    else if (outcome.changed && (command.dryRun || command.diff))
        PrintOut(UnifiedDiff(ConfFileName, before, document.savedText()));
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
    if (!command.language.isEmpty())
        CurrentLanguage = languageSection(command.language);
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
    if (command.verb == Verb::Set || command.verb == Verb::Unset)
        values = valuesToSet(command);
    else if (command.verb == Verb::Get)
        name = parameterName(command.operands[0], command.anyKey);
    if (!findFiles(command, invocationPath, command.verb != Verb::Describe))
        return ExitFileError;
    // A save killed midway left the whole content it was writing beside the file: say where.
    if (command.verb == Verb::List || command.verb == Verb::Get)
        if (const QString report = LeftCompanionsReport({ConfFileName}); !report.isEmpty())
            PrintError(report);
    switch (command.verb) {
    case Verb::List:
        LoadConfFile(*ConfLines, ConfFileName);
        return list(*ConfLines, command.json);
    case Verb::Get:
        LoadConfFile(*ConfLines, ConfFileName);
        return get(*ConfLines, name);
    case Verb::Describe:
        return describe(command);
    default:
        return change(*ConfLines, command, values);
    }
}
