// Fuzzes the language file: read arbitrary bytes, look every key up, write the
// file back, read it again, and set one entry. A file written back must read
// as the same sections and answer every lookup the same way, and writing it
// back again must give the same text.

#include "fileio/SafeWrite.h"
#include "localisation/LangIni.h"

#include <QByteArray>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

QByteArray scratchFile;
const QByteArray Fallback("\x01" "fallback" "\x01");

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

bool sameSections(const LangIniFile &one, const LangIniFile &other)
{
    const auto &a = one.sections();
    const auto &b = other.sections();
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].lines != b[i].lines)
            return false;
    return true;
}

// Lookup re-stated: the last section of that name, in it the last line whose
// text before its first "=" is the key.
QByteArray lookupByHand(const LangIniFile &file, const QByteArray &section, const QByteArray &key)
{
    const auto &sections = file.sections();
    for (auto s = sections.rbegin(); s != sections.rend(); ++s) {
        if (s->name != section)
            continue;
        for (auto line = s->lines.rbegin(); line != s->lines.rend(); ++line) {
            const qsizetype equals = line->indexOf('=');
            if (equals >= 0 && line->left(equals) == key)
                return line->mid(equals + 1);
        }
        return Fallback;
    }
    return Fallback;
}

// Every (section, key) a lookup could be asked for: each entry's key, and each
// line without "=" as a key that must not be found.
std::vector<std::pair<QByteArray, QByteArray>> probesOf(const LangIniFile &file)
{
    std::vector<std::pair<QByteArray, QByteArray>> probes;
    for (const LangIniFile::Section &section : file.sections()) {
        for (const QByteArray &line : section.lines) {
            const qsizetype equals = line.indexOf('=');
            probes.emplace_back(section.name, equals >= 0 ? line.left(equals) : line);
        }
        probes.emplace_back(section.name, QByteArray("CurrentLanguage"));
    }
    probes.emplace_back(QByteArray("GENERAL"), QByteArray("CurrentLanguage"));
    return probes;
}

QByteArray readScratch()
{
    QFile file(QString::fromLocal8Bit(scratchFile));
    check(file.open(QIODevice::ReadOnly), "written file opens");
    return file.readAll();
}

void writeScratch(QByteArrayView bytes)
{
    QFile file(QString::fromLocal8Bit(scratchFile));
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size(),
          "scratch file written");
}

void removeScratch()
{
    ::unlink(scratchFile.constData());
    ::rmdir(scratchFile.left(scratchFile.lastIndexOf('/')).constData());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Durability is not under test here; syncing would only slow the fuzzer down.
    SafeWriteSystemCalls().fsync = [](int) { return 0; };
    const char *base = std::getenv("TMPDIR");
    QByteArray pattern = QByteArray(base && *base ? base : "/tmp") + "/cvconf-fuzz.XXXXXX";
    check(::mkdtemp(pattern.data()) != nullptr, "scratch directory created");
    scratchFile = pattern + "/CVConfManager.lang";
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // Read from a file, as the program does, so that its saves know what they replace.
    writeScratch(bytes);
    LangIniFile first = LangIniFile::read(scratchFile);
    const QByteArray text = first.serialise();
    const LangIniFile second = LangIniFile::fromBytes(scratchFile, text);

    check(second.serialise() == text, "written-back text is a fixed point");
    check(first.SectionNames() == second.SectionNames(), "same section names");
    check(sameSections(first, second), "same sections and lines");

    const auto probes = probesOf(first);
    std::vector<QByteArray> answers;
    answers.reserve(probes.size());
    for (const auto &[section, key] : probes) {
        const QByteArray answer = first.ReadEntry(section, key, Fallback);
        check(answer == lookupByHand(first, section, key), "lookup takes the last section and the last key");
        check(second.ReadEntry(section, key, Fallback) == answer, "lookup answers the same after write-back");
        answers.push_back(answer);
    }

    // Through the file: WriteBack, then read it from disk again.
    first.WriteBack();
    check(readScratch() == text, "file holds the written-back text");
    LangIniFile edited = LangIniFile::read(scratchFile);
    check(sameSections(edited, first), "file reads back as written");

    // Setting one entry changes that lookup only, and the file follows.
    QByteArray section("GENERAL"), key("CurrentLanguage");
    if (!first.sections().empty() && size > 0) {
        const LangIniFile::Section &chosen = first.sections()[data[0] % first.sections().size()];
        section = chosen.name;
        for (const QByteArray &line : chosen.lines)
            if (line.indexOf('=') >= 0) {
                key = line.left(line.indexOf('='));
                break;
            }
    }
    const QByteArray value = "V" + QByteArray::number(qulonglong(size));
    edited.WriteEntry(section, key, value);
    check(edited.ReadEntry(section, key, Fallback) == value, "lookup returns the entry written");
    for (size_t i = 0; i < probes.size(); ++i) {
        if (probes[i].first == section && probes[i].second == key)
            continue;
        check(edited.ReadEntry(probes[i].first, probes[i].second, Fallback) == answers[i],
              "writing one entry leaves every other lookup alone");
    }
    check(readScratch() == edited.serialise(), "WriteEntry writes the file back");
    const qsizetype added = first.SectionNames().contains(section) ? 0 : 1;
    check(edited.SectionNames().size() == first.SectionNames().size() + added, "a new section only for a missing one");
    return 0;
}
