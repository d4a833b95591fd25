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
#include "localisation/CommandTexts.h"
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

UsageError unknownName(const QByteArray &name)
{
    const QList<QByteArray> closest = ClosestCatalogueNames(name);
    if (closest.isEmpty())
        return UsageError(CommandTexts::UnknownName, {LocaleToText(name)});
    QString names = QString::fromLatin1(closest.back());
    if (closest.size() > 1) {
        const QByteArray others = closest.sliced(0, closest.size() - 1).join(", ");
        names = CommandText(CommandTexts::Or, {QString::fromLatin1(others), names});
    }
    return UsageError(CommandTexts::UnknownNameDidYouMean, {LocaleToText(name), names});
}

// The name as the document gets it: the catalogue's spelling, or with
// --any-key any other key as typed.
QByteArray parameterName(const QByteArray &typed, bool anyKey)
{
    // A line that begins with "#" is a comment, and one that begins with a
    // blank has a key that no parameter name matches.
    if (typed.isEmpty() || hasLineBreak(typed) || typed.startsWith('#') || typed.startsWith(' ') || typed.startsWith('\t'))
        throw UsageError(CommandTexts::NoName, {LocaleToText(typed)});
    if (const ParamEntry *entry = CatalogueEntry(typed))
        return entry->Name;
    if (!anyKey)
        throw unknownName(typed);
    return typed;
}

// Finds the files as the windows do, except that --file is used as given (a
// script must not change the default file because its path named nothing),
// and that the link beside the program is followed, so that messages and
// diffs name the file the administrator knows. Prints why and returns false
// when a needed file is missing; throws FileError when the language file
// cannot be read.
bool findFiles(const Command &command, const QByteArray &invocationPath, bool needConfFile)
{
    const QByteArray directory = ProgramDirectory(invocationPath);
    if (!LangIni && !OpenLanguageFile(directory)) {
        PrintError(ErrorBoxText(MissingLanguageFileText()));
        return false;
    }
    ConfFileName = command.file.isEmpty() ? FollowedLinks(DefaultConfFileName(directory)) : command.file;
    if (needConfFile && command.file.isEmpty() && !PathExists(ConfFileName)) {
        PrintError(ErrorBoxText(CommandText(CommandTexts::MissingConfFile, {DisplayPath(ConfFileName)})));
        return false;
    }
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

// Whether the text in these pieces is these bytes.
bool sameBytes(const std::vector<QByteArrayView> &chunks, QByteArrayView bytes)
{
    qsizetype at = 0;
    for (QByteArrayView chunk : chunks) {
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

// What the values make of the document: whether the file changes and how,
// and for --json each name's value before.
struct Outcome {
    bool changed = false;
    QList<QJsonValue> previous;
    std::vector<QByteArrayView> after;  // the file as the save leaves it, in pieces
};

Outcome decide(ConfDocument &document, const Command &command, const QList<NewValue> &values, const QByteArray &before)
{
    Outcome outcome;
    for (qsizetype i = 0; command.json && i < values.size(); ++i)
        outcome.previous.append(jsonValue(document, values[i].name));
    for (const NewValue &newValue : values)
        outcome.changed = apply(document, newValue) || outcome.changed;
    // Unlike a save of the windows, only the lines set change.
    outcome.after = document.keptChunks(before);
    // Values set and set back may leave the bytes as they were.
    outcome.changed = outcome.changed && !sameBytes(outcome.after, before);
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
            WriteFileSafely(ConfFileName, outcome.after, document.fileStamp(), IfChanged::Refuse, &lock);
    } else if (const QString report = LeftCompanionsReport({ConfFileName}, InCurrentLanguage); !report.isEmpty()) {
        // A save tells of a companion a killed save left by refusing.
        PrintError(report);
    }
    // With --json only --diff asks for the diff.
    const bool showDiff = command.diff || (command.dryRun && !command.json);
    const QByteArray diff =
        outcome.changed && showDiff ? UnifiedDiff(ConfFileName, before, JoinedChunks(outcome.after)) : QByteArray();
    if (command.json)
        PrintOut(changeAsJson(document, values, outcome.previous, outcome.changed, showDiff ? &diff : nullptr));
    else
        PrintOut(diff);
    return ExitDone;
}

QList<NewValue> valuesToSet(const Command &command)
{
    QList<NewValue> values;
    for (const QByteArray &operand : command.operands) {
        const bool pair = command.verb == Verb::Set;
        // Read as a load reads the line, "Name = value" too, so that get
        // returns the value and the same set again changes nothing; a value
        // empty after that unsets.
        const QByteArray line = pair ? ConfDocument::normalisedLine(operand) : operand;
        const qsizetype equals = pair ? line.indexOf('=') : line.size();
        if (equals < 0)
            throw UsageError(CommandTexts::NoPair, {LocaleToText(operand)});
        const QByteArray value = pair ? line.sliced(equals + 1) : QByteArray();
        if (hasLineBreak(value))
            throw UsageError(CommandTexts::LineBreak, {LocaleToText(line.left(equals))});
        values.append({parameterName(line.left(equals), command.anyKey), value});
    }
    return values;
}

// The language as the language file spells it; letter case may differ.
QByteArray languageSection(const QByteArray &typed)
{
    for (const QByteArray &language : Languages)
        if (language.compare(typed, Qt::CaseInsensitive) == 0)
            return language;
    throw UsageError(CommandTexts::UnknownLanguage, {LocaleToText(typed), LocaleToText(Languages.join(", "))});
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
    if (command.verb == Verb::List || command.verb == Verb::Get)
        if (const QString report = LeftCompanionsReport({ConfFileName}, InCurrentLanguage); !report.isEmpty())
            PrintError(report);
    if (!command.language.isEmpty())
        CurrentLanguage = languageSection(command.language);
    ConfDocument document;
    switch (command.verb) {
    case Verb::List:
        LoadConfFile(document, ConfFileName);
        return list(document, command, listed);
    case Verb::Get:
        LoadConfFile(document, ConfFileName);
        return get(document, name);
    case Verb::Describe:
        return describe(command);
    default:
        return change(document, command, values);
    }
}
