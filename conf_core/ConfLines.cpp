#include "ConfLines.h"

#include "NameMatch.h"
#include "ReadFile.h"
#include "SafeWrite.h"

#include <cstring>

namespace {

// Key tags: 0 for a line without "=", which never matches; 1 for a key that
// only the locale can compare; otherwise a hash of the ASCII-folded key.
constexpr uint32_t NoKey = 0;
constexpr uint32_t LocaleKey = 1;

uint32_t foldedHash(QByteArrayView key)
{
    uint32_t hash = 2166136261u;
    for (char c : key) {
        const unsigned char folded = (c >= 'a' && c <= 'z') ? c - 32 : c;
        hash = (hash ^ folded) * 16777619u;
    }
    return hash < 2 ? hash + 2 : hash;
}

QByteArrayView keyOf(const char *data, qsizetype size)
{
    const void *equals = std::memchr(data, '=', size_t(size));
    if (!equals)
        return {};
    return QByteArrayView(data, static_cast<const char *>(equals) - data);
}

uint32_t keyTag(const char *data, qsizetype size, bool asciiFolding)
{
    if (!std::memchr(data, '=', size_t(size)))
        return NoKey;
    const QByteArrayView key = keyOf(data, size);
    if (!asciiFolding || !IsPlainAscii(key))
        return LocaleKey;
    return foldedHash(key);
}

// Removes every run of blanks that touches an "=", outside comment lines.
// Writes to dst, which may be src itself or lie before it; returns the length.
qsizetype normaliseInto(const char *src, qsizetype size, char *dst)
{
    const bool untouched = size == 0 || src[0] == '#' || !std::memchr(src, '=', size_t(size));
    if (untouched) {
        if (dst != src)
            std::memmove(dst, src, size_t(size));
        return size;
    }
    qsizetype out = 0;
    qsizetype i = 0;
    while (i < size) {
        if (src[i] != ' ') {
            dst[out++] = src[i++];
            continue;
        }
        qsizetype runEnd = i;
        while (runEnd < size && src[runEnd] == ' ')
            ++runEnd;
        const bool afterEquals = out > 0 && dst[out - 1] == '=';
        const bool beforeEquals = runEnd < size && src[runEnd] == '=';
        if (!afterEquals && !beforeEquals)
            while (i < runEnd)
                dst[out++] = src[i++];
        i = runEnd;
    }
    return out;
}

// Calls lineFound(start, length) for each line: lines end at LF, CR LF or a lone
// CR, and a terminator at the very end starts no further line. The terminator is
// read before the callback runs, so the callback may overwrite it.
template <typename LineFound>
void forEachLine(const char *bytes, qsizetype size, LineFound lineFound)
{
    qsizetype start = 0;
    while (start < size) {
        const char *from = bytes + start;
        const size_t rest = size_t(size - start);
        const char *lf = static_cast<const char *>(std::memchr(from, '\n', rest));
        const size_t searchCr = lf ? size_t(lf - from) : rest;
        const char *cr = static_cast<const char *>(std::memchr(from, '\r', searchCr));
        qsizetype end;
        qsizetype terminator;
        if (cr) {
            end = cr - bytes;
            terminator = (end + 1 < size && bytes[end + 1] == '\n') ? 2 : 1;
        } else if (lf) {
            end = lf - bytes;
            terminator = 1;
        } else {
            end = size;
            terminator = 0;
        }
        lineFound(start, end - start);
        start = end + terminator;
    }
}

}  // namespace

void ConfDocument::clear()
{
    m_lines.clear();
    m_keyTags.clear();
    m_added.clear();
    m_storage.clear();
}

void ConfDocument::loadFromBytes(QByteArray bytes)
{
    clear();
    const qsizetype size = bytes.size();
    m_storage = std::move(bytes);
    // Normalising only shortens lines and turns every terminator into one LF, so
    // the text is compacted in place; the one extra byte is for a missing final LF.
    m_storage.resize(size + 1);
    char *const base = m_storage.data();
    const bool asciiFolding = AsciiFoldingIsPlain();

    qsizetype lineCountGuess = 0;
    for (const char *p = base, *end = base + size; (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))); ++p)
        ++lineCountGuess;
    m_lines.reserve(size_t(lineCountGuess + 1));
    m_keyTags.reserve(size_t(lineCountGuess + 1));

    qsizetype written = 0;
    forEachLine(base, size, [&](qsizetype start, qsizetype length) {
        char *const line = base + written;
        const qsizetype kept = normaliseInto(base + start, length, line);
        line[kept] = '\n';
        m_lines.push_back({line, kept});
        m_keyTags.push_back(keyTag(line, kept, asciiFolding));
        written += kept + 1;
    });
}

QByteArrayView ConfDocument::line(qsizetype index) const
{
    const Line &entry = m_lines[size_t(index)];
    return QByteArrayView(entry.data, entry.size);
}

qsizetype ConfDocument::findEntry(QByteArrayView name) const
{
    const qsizetype count = lineCount();
    if (IsPlainAscii(name) && AsciiFoldingIsPlain()) {
        // A plain name can only match a key with the same folded hash, or a key
        // that needs the locale's comparison.
        const uint32_t wanted = foldedHash(name);
        for (qsizetype i = 0; i < count; ++i) {
            const uint32_t tag = m_keyTags[size_t(i)];
            if ((tag == wanted || tag == LocaleKey)
                && NamesMatch(keyOf(m_lines[size_t(i)].data, m_lines[size_t(i)].size), name))
                return i;
        }
        return -1;
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (m_keyTags[size_t(i)] != NoKey
            && NamesMatch(keyOf(m_lines[size_t(i)].data, m_lines[size_t(i)].size), name))
            return i;
    }
    return -1;
}

QByteArray ConfDocument::value(QByteArrayView name) const
{
    const qsizetype index = findEntry(name);
    if (index < 0)
        return QByteArray();
    const Line &entry = m_lines[size_t(index)];
    const qsizetype keyLength = keyOf(entry.data, entry.size).size();
    return QByteArray(entry.data + keyLength + 1, entry.size - keyLength - 1);
}

const char *ConfDocument::storeText(QByteArray text)
{
    // Like the loaded lines, a set line is followed by its LF, so saving can
    // write runs of lines without copying them.
    text.append('\n');
    m_added.push_back(std::move(text));
    return m_added.back().constData();
}

void ConfDocument::setValue(QByteArrayView name, QByteArrayView value)
{
    const qsizetype index = findEntry(name);
    if (value.isEmpty()) {
        if (index >= 0) {
            m_lines.erase(m_lines.begin() + index);
            m_keyTags.erase(m_keyTags.begin() + index);
        }
        return;
    }
    QByteArray text;
    text.reserve(name.size() + 1 + value.size() + 1);
    text.append(name).append('=').append(value);
    const qsizetype size = text.size();
    const char *data = storeText(std::move(text));
    const uint32_t tag = keyTag(data, size, AsciiFoldingIsPlain());
    if (index >= 0) {
        m_lines[size_t(index)] = {data, size};
        m_keyTags[size_t(index)] = tag;
    } else {
        m_lines.push_back({data, size});
        m_keyTags.push_back(tag);
    }
}

std::vector<QByteArrayView> ConfDocument::savedChunks() const
{
    std::vector<QByteArrayView> chunks;
    const char *chunkStart = nullptr;
    qsizetype chunkSize = 0;
    for (const Line &entry : m_lines) {
        if (chunkStart && entry.data == chunkStart + chunkSize) {
            chunkSize += entry.size + 1;
            continue;
        }
        if (chunkStart)
            chunks.emplace_back(chunkStart, chunkSize);
        chunkStart = entry.data;
        chunkSize = entry.size + 1;
    }
    if (chunkStart)
        chunks.emplace_back(chunkStart, chunkSize);
    return chunks;
}

QByteArray ConfDocument::savedText() const
{
    QByteArray text;
    for (QByteArrayView chunk : savedChunks())
        text.append(chunk);
    return text;
}

std::vector<QByteArray> SplitConfLines(QByteArrayView bytes)
{
    std::vector<QByteArray> lines;
    forEachLine(bytes.data(), bytes.size(), [&](qsizetype start, qsizetype length) {
        lines.emplace_back(bytes.data() + start, length);
    });
    return lines;
}

QByteArray NormaliseConfLine(QByteArrayView line)
{
    QByteArray result(line.size(), Qt::Uninitialized);
    result.truncate(normaliseInto(line.data(), line.size(), result.data()));
    return result;
}

void LoadConfFile(ConfDocument &document, const QByteArray &fileName)
{
    // Read first: a failure leaves the previous lines in place.
    document.loadFromBytes(ReadWholeFile(fileName));
}

QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name)
{
    return document.value(name);
}

void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value)
{
    document.setValue(name, value);
}

void SaveConfFile(const ConfDocument &document, const QByteArray &fileName)
{
    WriteFileSafely(fileName, document.savedChunks());
}
