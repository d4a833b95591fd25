#include "LangIni.h"

#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"

#include <utility>

namespace {

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

QByteArrayView TrimControls(QByteArrayView text)
{
    while (!text.isEmpty() && IsBlankOrControl(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsBlankOrControl(text.back()))
        text.chop(1);
    return text;
}

bool IsSectionHeader(QByteArrayView line)
{
    return line.startsWith('[') && line.endsWith(']');
}

// A line without "=" is no entry and never matches, whatever its text.
bool IsEntryFor(const QByteArray &line, QByteArrayView key)
{
    return line.indexOf('=') == key.size() && line.startsWith(key);
}

}  // namespace

LangIniFile LangIniFile::open(const QByteArray &fileName)
{
    if (!PathExists(fileName))
        return fromBytes(fileName, {});
    return read(fileName);
}

LangIniFile LangIniFile::read(const QByteArray &fileName)
{
    FileStamp stamp;
    LangIniFile file = fromBytes(fileName, ReadWholeFile(fileName, &stamp));
    file.m_readStamp = stamp;
    return file;
}

LangIniFile LangIniFile::fromBytes(const QByteArray &fileName, QByteArrayView bytes)
{
    LangIniFile file;
    file.m_fileName = fileName;

    // A NUL ends the readable text; what follows is kept to be written back.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        file.m_unreadRest = bytes.sliced(nul).toByteArray();
        bytes.truncate(nul);
    }

    // LF, CR LF and lone CR all end a line; the empty pieces between CR and LF
    // are blank lines, which are skipped anyway.
    qsizetype start = 0;
    while (start <= bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const QByteArrayView line = TrimControls(bytes.sliced(start, end - start));
        start = end + 1;

        if (line.isEmpty() || line.front() == ';')
            continue;
        if (IsSectionHeader(line)) {
            file.m_sections.push_back({TrimControls(line.sliced(1, line.size() - 2)).toByteArray(), {}});
            continue;
        }
        if (file.m_sections.empty())
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) {
            file.m_sections.back().lines.push_back(line.toByteArray());
            continue;
        }
        QByteArray entry = TrimControls(line.first(equals)).toByteArray();
        entry += '=';
        entry += TrimControls(line.sliced(equals + 1));
        file.m_sections.back().lines.push_back(entry);
    }
    return file;
}

QByteArray LangIniFile::ReadEntry(QByteArrayView section, QByteArrayView key, const QByteArray &fallback) const
{
    const Section *found = findSection(section);
    if (!found)
        return fallback;
    for (auto line = found->lines.rbegin(); line != found->lines.rend(); ++line) {
        if (IsEntryFor(*line, key))
            return line->mid(key.size() + 1);
    }
    return fallback;
}

void LangIniFile::WriteEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    // Undone when the file cannot be written, so memory always holds what the file holds.
    const std::vector<Section> before = m_sections;

    Section *target = findSection(section);
    if (!target) {
        m_sections.push_back({section.toByteArray(), {}});
        target = &m_sections.back();
    }
    QByteArray entry = key.toByteArray();
    entry += '=';
    entry += value;

    auto existing = target->lines.rbegin();
    while (existing != target->lines.rend() && !IsEntryFor(*existing, key))
        ++existing;
    if (existing != target->lines.rend())
        *existing = entry;
    else
        target->lines.push_back(entry);

    try {
        WriteBack();
    } catch (...) {
        m_sections = before;
        throw;
    }
}

QList<QByteArray> LangIniFile::SectionNames() const
{
    QList<QByteArray> names;
    names.reserve(qsizetype(m_sections.size()));
    for (const Section &section : m_sections)
        names.append(section.name);
    return names;
}

void LangIniFile::RereadAndWriteEntry(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    LangIniFile current = read(m_fileName);
    current.WriteEntry(section, key, value);
    *this = std::move(current);
}

void LangIniFile::WriteBack()
{
    m_readStamp = WriteFileSafely(m_fileName, serialise(), m_readStamp, IfChanged::Refuse);
}

QByteArray LangIniFile::serialise() const
{
    QByteArray text;
    for (const Section &section : m_sections) {
        text += '[';
        text += section.name;
        text += "]\n";
        for (const QByteArray &line : section.lines) {
            text += line;
            text += '\n';
        }
        text += '\n';
    }
    text += m_unreadRest;
    return text;
}

const LangIniFile::Section *LangIniFile::findSection(QByteArrayView name) const
{
    for (auto section = m_sections.rbegin(); section != m_sections.rend(); ++section) {
        if (section->name == name)
            return &*section;
    }
    return nullptr;
}

LangIniFile::Section *LangIniFile::findSection(QByteArrayView name)
{
    return const_cast<Section *>(std::as_const(*this).findSection(name));
}
