// Fuzzes the configuration document: load arbitrary bytes, normalise, look a
// name up, set a value, save and load again, and checks each step against a
// plain re-statement of the file format that is slow but obviously right.
//
// Input layout: byte 0 = name length (low 5 bits) and flags, byte 1 = value
// length (low 6 bits) and the locale (high 2 bits), byte 2 = line selector,
// then the name, the value, and the rest is the file.

#include "conf_core/ConfLines.h"
#include "conf_core/NameMatch.h"
#include "ReferenceNormalisation.h"
#include "fileio/SafeWrite.h"

#include <QByteArray>
#include <QFile>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

using Lines = std::vector<QByteArray>;

QByteArray scratchFile;

// Lookups fold and collate by the locale; these differ in character set, in
// upper-casing (Turkish "i") and in collation. One missing on the machine
// falls back to C.UTF-8.
const char *const Locales[4] = {"C.UTF-8", "de_DE.ISO-8859-1", "tr_TR.UTF-8", "C"};

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

// Lines end at LF, CR LF or a lone CR; a terminator at the very end starts no line.
Lines splitByHand(const QByteArray &bytes)
{
    Lines lines;
    QByteArray current;
    bool open = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            lines.push_back(current);
            current.clear();
            open = false;
        } else {
            current.append(c);
            open = true;
        }
    }
    if (open)
        lines.push_back(current);
    return lines;
}

Lines linesOf(const ConfDocument &document)
{
    Lines lines;
    for (qsizetype i = 0; i < document.lineCount(); ++i)
        lines.push_back(document.line(i).toByteArray());
    return lines;
}

// The first line whose key (text before the first "=") matches, or -1.
qsizetype firstMatch(const Lines &lines, const QByteArray &name)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const qsizetype equals = lines[i].indexOf('=');
        if (equals >= 0 && NamesMatch(QByteArrayView(lines[i]).first(equals), name))
            return qsizetype(i);
    }
    return -1;
}

QByteArray valueByHand(const Lines &lines, const QByteArray &name)
{
    const qsizetype index = firstMatch(lines, name);
    if (index < 0)
        return {};
    const QByteArray &line = lines[size_t(index)];
    return line.mid(line.indexOf('=') + 1);
}

QByteArray savedByHand(const Lines &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text.append(line).append('\n');
    return text;
}

QByteArray withoutBytes(QByteArray text, const char *unwanted)
{
    QByteArray kept;
    for (char c : text)
        if (!std::strchr(unwanted, c) || c == '\0')
            kept.append(c);
    return kept;
}

QByteArray swapAsciiCase(QByteArray text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    }
    return text;
}

// Saves through the real file routine and loads the file back.
Lines saveAndLoad(const ConfDocument &document)
{
    SaveConfFile(document, scratchFile);
    QFile file(QString::fromLocal8Bit(scratchFile));
    check(file.open(QIODevice::ReadOnly), "saved file opens");
    check(file.readAll() == document.savedText(), "file holds the saved text");
    ConfDocument loaded;
    LoadConfFile(loaded, scratchFile);
    return linesOf(loaded);
}

void removeScratch()
{
    ::unlink(scratchFile.constData());
    const qsizetype slash = scratchFile.lastIndexOf('/');
    ::rmdir(scratchFile.left(slash).constData());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!std::setlocale(LC_ALL, "C.UTF-8")) {
        std::fprintf(stderr, "locale C.UTF-8 missing\n");
        std::abort();
    }
    // Durability is not under test here; syncing would only slow the fuzzer down.
    SafeWriteSystemCalls().fsync = [](int) { return 0; };
    const char *base = std::getenv("TMPDIR");
    QByteArray pattern = QByteArray(base && *base ? base : "/tmp") + "/cvconf-fuzz.XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "scratch directory created");
    scratchFile = pattern + "/corvane.conf";
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const size_t nameLength = data[0] & 0x1f;
    const bool nameFromDocument = data[0] & 0x20;
    const bool swapCase = data[0] & 0x40;
    const size_t valueLength = data[1] & 0x3f;
    if (!std::setlocale(LC_ALL, Locales[data[1] >> 6]))
        std::setlocale(LC_ALL, "C.UTF-8");
    const uint8_t selector = data[2];
    size_t at = 3;
    auto take = [&](size_t wanted) {
        const size_t length = wanted < size - at ? wanted : size - at;
        QByteArray piece(reinterpret_cast<const char *>(data + at), qsizetype(length));
        at += length;
        return piece;
    };
    QByteArray name = take(nameLength);
    // A line break inside a value would make a save write more lines than the
    // document has; callers hand over a single line.
    const QByteArray value = withoutBytes(take(valueLength), "\r\n");
    const QByteArray file = take(size - at);

    // Load and normalise.
    ConfDocument document;
    document.loadFromBytes(file);
    const Lines lines = linesOf(document);
    const Lines split = splitByHand(file);
    check(SplitConfLines(file) == split, "line splitting");
    check(lines.size() == split.size(), "one document line per file line");
    for (size_t i = 0; i < lines.size(); ++i) {
        check(lines[i] == normaliseByTwoPasses(split[i]), "normalisation follows the two passes");
        check(NormaliseConfLine(lines[i]) == lines[i], "normalised line is a fixed point");
    }

    // Save then load gives the same lines, in memory and through the file.
    check(document.savedText() == savedByHand(lines), "saved text");
    ConfDocument reloaded;
    reloaded.loadFromBytes(document.savedText());
    check(linesOf(reloaded) == lines, "save then load in memory");
    check(saveAndLoad(document) == lines, "save then load through the file");

    // A name taken from the document hits the matching paths far more often.
    if (nameFromDocument && !lines.empty()) {
        const QByteArray &line = lines[selector % lines.size()];
        const qsizetype equals = line.indexOf('=');
        if (equals >= 0)
            name = line.left(equals);
        if (swapCase)
            name = swapAsciiCase(name);
    }
    // A key ends at the first "=", and a name is one line.
    name = withoutBytes(name, "=\r\n");

    check(GetConfValue(document, name) == valueByHand(lines, name), "lookup finds the first matching line");

    // Set: only the first matching line changes, or one line is appended.
    const qsizetype matched = firstMatch(lines, name);
    SetConfValue(document, name, value);
    const Lines after = linesOf(document);
    Lines expected = lines;
    const QByteArray setLine = name + '=' + value;
    if (value.isEmpty()) {
        if (matched >= 0)
            expected.erase(expected.begin() + matched);
    } else if (matched >= 0) {
        expected[size_t(matched)] = setLine;
    } else {
        expected.push_back(setLine);
    }
    check(after == expected, "set touches only the first matching line");
    if (!value.isEmpty())
        check(GetConfValue(document, name) == value, "get returns the value set");
    check(GetConfValue(document, name) == valueByHand(after, name), "lookup after set");

    // A set line comes back normalised after a save and a load.
    Lines normalised;
    for (const QByteArray &line : after)
        normalised.push_back(normaliseByTwoPasses(line));
    const Lines afterReload = saveAndLoad(document);
    check(afterReload == normalised, "save then load after set");
    if (!value.isEmpty() && normaliseByTwoPasses(setLine) == setLine) {
        ConfDocument loaded;
        LoadConfFile(loaded, scratchFile);
        check(GetConfValue(loaded, name) == value, "value set survives save and load");
    }
    return 0;
}
