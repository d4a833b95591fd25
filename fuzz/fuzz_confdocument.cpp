// Fuzzes the configuration document through the program's own path: the
// input, a file the program never wrote, is put on disk, loaded with
// LoadConfFile, saved with SaveConfFile and the saved bytes compared with the
// plain statement of the format; then one value is set and the file saved
// and compared again. Name matching is checked against the reference in the
// C locale and against NamesMatch line by line in the others.
//
// Input layout: byte 0 = name length (low 5 bits) and flags, byte 1 = value
// length (low 6 bits) and the locale (high 2 bits), byte 2 = line selector,
// then the name, the value, and the rest is the file.

#include "conf_core/ConfLines.h"
#include "conf_core/NameMatch.h"
#include "ReferenceConfFile.h"
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

namespace {

QByteArray scratchFile;

// Lookups fold and collate by the locale; these differ in character set, in
// upper-casing (Turkish "i") and in collation. One missing on the machine
// falls back to C.
const char *const Locales[4] = {"C", "C.UTF-8", "de_DE.ISO-8859-1", "tr_TR.UTF-8"};

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

QByteArray fileBytes()
{
    QFile file(QString::fromUtf8(scratchFile));
    check(file.open(QIODevice::ReadOnly), "saved file opens");
    return file.readAll();
}

void writeScratch(const QByteArray &bytes)
{
    QFile file(QString::fromUtf8(scratchFile));
    check(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), "input written");
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

// A line matches when NamesMatch says so of its key.
bool keyMatchesByLocale(const QByteArray &line, const QByteArray &name)
{
    const qsizetype equals = line.indexOf('=');
    return equals >= 0 && NamesMatch(QByteArrayView(line).first(equals), name);
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
    const char *locale = Locales[data[1] >> 6];
    if (!std::setlocale(LC_ALL, locale))
        locale = std::setlocale(LC_ALL, "C");
    const bool cLocale = std::strcmp(locale, "C") == 0;
    const uint8_t selector = data[2];
    size_t at = 3;
    auto take = [&](size_t wanted) {
        const size_t length = wanted < size - at ? wanted : size - at;
        QByteArray piece(reinterpret_cast<const char *>(data + at), qsizetype(length));
        at += length;
        return piece;
    };
    QByteArray name = take(nameLength);
    // Callers hand over a value of one line.
    const QByteArray value = withoutBytes(take(valueLength), "\r\n");
    const QByteArray file = take(size - at);

    writeScratch(file);
    ConfDocument document;
    LoadConfFile(document, scratchFile);
    SaveConfFile(document, scratchFile);
    ReferenceLines lines = referenceLines(file);
    check(fileBytes() == referenceSaved(lines), "load and save give the normalised lines");

    // A name taken from the document hits the matching paths far more often.
    if (nameFromDocument && !lines.empty()) {
        const QByteArray &line = lines[selector % lines.size()];
        const qsizetype equals = line.indexOf('=');
        if (equals >= 0)
            name = line.left(equals);
        if (swapCase)
            name = swapAsciiCase(name);
    }
    // A name is one line.
    name = withoutBytes(name, "\r\n");

    SetConfValue(document, name, value);
    ReferenceLines byNamesMatch = lines;
    referenceSet(byNamesMatch, name, value, keyMatchesByLocale);
    if (cLocale) {
        referenceSet(lines, name, value);
        check(lines == byNamesMatch, "NamesMatch agrees with the reference in the C locale");
    }
    SaveConfFile(document, scratchFile);
    check(fileBytes() == referenceSaved(byNamesMatch), "set touches only the first matching line");
    if (!value.isEmpty() && !name.contains('='))
        check(GetConfValue(document, name) == value, "get returns the value set");
    return 0;
}
