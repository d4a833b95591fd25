#include "ConfDocument.h"

#include "conf_core/NameMatch.h"
#include "fileio/ReadFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Far longer than any parameter name, short enough for wcsxfrm's buffers.
constexpr qsizetype LongKeyBytes = 64 * 1024;

const char *find(const char *from, const char *to, char c)
{
    const void *found = std::memchr(from, c, size_t(to - from));
    return found ? static_cast<const char *>(found) : to;
}

// Copies the line [in, end) down to `out`, which lies before it or at it,
// without the blanks around its "=" signs; returns the end of the copy and
// sets keyLength to where its first "=" went, or -1. Comment lines stay as
// they are and have no key.
char *normaliseLine(char *out, const char *in, const char *end, qsizetype &keyLength)
{
    char *const lineStart = out;
    keyLength = -1;
    if (in < end && *in == '#') {
        std::memmove(out, in, size_t(end - in));
        return out + (end - in);
    }
    for (;;) {
        const char *const equals = find(in, end, '=');
        std::memmove(out, in, size_t(equals - in));
        out += equals - in;
        if (equals == end)
            return out;
        while (out > lineStart && out[-1] == ' ')
            --out;
        if (keyLength < 0)
            keyLength = out - lineStart;
        *out++ = '=';
        in = equals + 1;
        while (in < end && *in == ' ')
            ++in;
    }
}

// The lines of a text as the format splits them: at LF, at CR LF and at a
// lone CR; the last one may lack its line end.
class LineSplitter {
public:
    // A line's text is [start, end), its line end [end, next).
    struct Line {
        const char *start, *end, *next;
    };
    LineSplitter(const char *begin, const char *end) : m_in(begin), m_end(end), m_nextCr(find(begin, end, '\r')) {}
    bool atEnd() const { return m_in >= m_end; }
    Line next()
    {
        // The next CR is searched for again only once a line passes it: a
        // text without CR is searched once, not once per line.
        if (m_nextCr < m_in)
            m_nextCr = find(m_in, m_end, '\r');
        const char *const lineEnd = find(m_in, m_nextCr, '\n');
        const bool crLf = lineEnd + 1 < m_end && *lineEnd == '\r' && lineEnd[1] == '\n';
        const Line line{m_in, lineEnd, std::min(m_end, lineEnd + (crLf ? 2 : 1))};
        m_in = line.next;
        return line;
    }

private:
    const char *m_in;
    const char *m_end;
    const char *m_nextCr;
};

QByteArrayView keyOf(QByteArrayView line)
{
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? QByteArrayView() : line.first(equals);
}

}  // namespace

ConfDocument::ConfDocument(QByteArray fileBytes)
    : m_text(std::move(fileBytes)), m_filled(true)
{
    // With a line end after the last line too, every line is followed by one
    // and the normalised text never needs more room than the file's.
    if (!m_text.isEmpty() && !m_text.endsWith('\n') && !m_text.endsWith('\r'))
        m_text.append('\n');
    char *const text = m_text.data();
    const char *const end = text + m_text.size();
    // Room for lines of 16 bytes on average, more than configuration lines
    // have; room that stays unused is never touched and costs no memory.
    const size_t expectedLines = size_t(m_text.size() / 16 + 1);
    m_starts.reserve(expectedLines);
    m_keyHashes.reserve(expectedLines);
    AdviseLargeBuffer(m_starts.data(), expectedLines * sizeof(qsizetype));
    AdviseLargeBuffer(m_keyHashes.data(), expectedLines * sizeof(uint32_t));
    const bool asciiFolding = AsciiFoldingIsPlain();
    char *out = text;
    // Each line is written back at or before where it was read.
    for (LineSplitter lines(text, end); !lines.atEnd();) {
        const LineSplitter::Line line = lines.next();
        char *const start = out;
        m_starts.push_back(start - text);
        qsizetype keyLength;
        out = normaliseLine(out, line.start, line.end, keyLength);
        // Hashed while the line is at hand.
        m_keyHashes.push_back(keyHash(keyLength < 0 ? QByteArrayView() : QByteArrayView(start, keyLength), asciiFolding));
        *out++ = '\n';
    }
    m_text.truncate(out - text);
    m_loadedEnd = m_text.size();
    m_hashLocale = MatchingLocale();
}

QByteArray ConfDocument::normalisedLine(QByteArrayView line)
{
    QByteArray normalised = line.toByteArray();
    char *const text = normalised.data();
    qsizetype keyLength;
    normalised.truncate(normaliseLine(text, text, text + normalised.size(), keyLength) - text);
    return normalised;
}

void ConfDocument::clear()
{
    *this = ConfDocument();
}

QByteArrayView ConfDocument::line(qsizetype index) const
{
    const char *const start = m_text.constData() + m_starts[size_t(index)];
    return QByteArrayView(start, find(start, m_text.constData() + m_text.size(), '\n') - start);
}

uint32_t ConfDocument::keyHash(QByteArrayView key, bool asciiFolding) const
{
    if (!key.data() || key.startsWith('#'))
        return 0;
    if (asciiFolding)
        if (const std::optional<uint32_t> hash = AsciiFoldedHash(key))
            return *hash;
    m_anyLocaleKey = true;
    if (key.size() <= LongKeyBytes)
        return CollationHash(key);
    // With bytes the locale cannot decode, such a key only equals a name of
    // about its own length, which is compared with every key anyway.
    if (!HasUndecodableBytes(key))
        m_compareEveryKey = true;
    return 0;
}

void ConfDocument::hashKeys() const
{
    m_hashLocale.clear();
    m_compareEveryKey = false;
    m_anyLocaleKey = false;
    const bool asciiFolding = AsciiFoldingIsPlain();
    std::vector<uint32_t> hashes(m_starts.size());
    for (qsizetype i = 0; i < lineCount(); ++i)
        hashes[size_t(i)] = keyHash(keyOf(line(i)), asciiFolding);
    m_keyHashes = std::move(hashes);
    m_hashLocale = MatchingLocale();
}

qsizetype ConfDocument::findEntry(QByteArrayView name) const
{
    // The hashes hold for the locale they were made in; the program sets its
    // locale once, but a caller may switch.
    if (m_hashLocale != MatchingLocale())
        hashKeys();
    const qsizetype count = lineCount();
    auto matches = [&](qsizetype i) {
        const QByteArrayView key = keyOf(line(i));
        return key.data() && NamesMatch(key, name);
    };
    // A name outside ASCII may equal an ASCII key through the locale, a very
    // long one a key too long to hash, and one that begins with "#" only a
    // comment line's key, which is not hashed. No parameter name comes here.
    if (m_compareEveryKey || name.startsWith('#') || !IsPlainAscii(name)
        || name.size() * qsizetype(MB_CUR_MAX) > LongKeyBytes) {
        for (qsizetype i = 0; i < count; ++i)
            if (matches(i))
                return i;
        return -1;
    }
    // An ASCII key that matches has the name's folded hash, any other key
    // that matches its collation hash.
    const uint32_t ascii = AsciiFoldingIsPlain() ? *AsciiFoldedHash(name) : CollationHash(name);
    const uint32_t collation = m_anyLocaleKey ? CollationHash(name) : ascii;
    const auto begin = m_keyHashes.begin();
    const auto end = m_keyHashes.end();
    auto next = [&](auto from) {
        // Most documents have no key hashed through the locale: one hash to look for.
        return ascii == collation ? std::find(from, end, ascii)
                                  : std::find_if(from, end, [&](uint32_t hash) { return hash == ascii || hash == collation; });
    };
    for (auto at = next(begin); at != end; at = next(at + 1))
        if (matches(at - begin))
            return at - begin;
    return -1;
}

QByteArray ConfDocument::value(QByteArrayView name) const
{
    const qsizetype index = findEntry(name);
    if (index < 0)
        return QByteArray();
    const QByteArrayView text = line(index);
    return text.sliced(keyOf(text).size() + 1).toByteArray();
}

qsizetype ConfDocument::replacedLoadedLine(qsizetype setLineStart) const
{
    const auto at = std::lower_bound(m_replaced.begin(), m_replaced.end(), std::pair(setLineStart, qsizetype(-1)));
    return at != m_replaced.end() && at->first == setLineStart ? at->second : -1;
}

void ConfDocument::setValue(QByteArrayView name, QByteArrayView value)
{
    const qsizetype index = findEntry(name);
    // The loaded line whose place the matching line holds, if any.
    qsizetype loadedLine = -1;
    if (index >= 0) {
        const qsizetype start = m_starts[size_t(index)];
        loadedLine = start < m_loadedEnd ? start : replacedLoadedLine(start);
        if (start < m_loadedEnd)
            m_dropped.insert(std::upper_bound(m_dropped.begin(), m_dropped.end(), start), start);
    }
    // Should memory run out half-way, the hashes are made anew at the next lookup.
    std::string hashLocale;
    hashLocale.swap(m_hashLocale);
    if (value.isEmpty()) {
        if (index >= 0) {
            m_starts.erase(m_starts.begin() + index);
            m_keyHashes.erase(m_keyHashes.begin() + index);
        }
    } else {
        // Behind the other lines and, like them, followed by its LF.
        const qsizetype start = m_text.size();
        m_text.append(name).append('=').append(value).append('\n');
        const qsizetype at = index >= 0 ? index : lineCount();
        if (loadedLine >= 0)
            m_replaced.emplace_back(start, loadedLine);
        if (index < 0) {
            m_starts.push_back(start);
            m_keyHashes.push_back(0);
        }
        m_starts[size_t(at)] = start;
        m_keyHashes[size_t(at)] = keyHash(keyOf(line(at)), AsciiFoldingIsPlain());
    }
    m_hashLocale.swap(hashLocale);
}

std::vector<QByteArrayView> ConfDocument::savedChunks() const
{
    // A loaded line goes on the piece of the loaded line before it, unless a
    // line between them was removed or replaced; a set line, kept behind the
    // loaded text, is a piece of its own.
    std::vector<QByteArrayView> chunks;
    const char *const text = m_text.constData();
    auto dropped = m_dropped.begin();
    qsizetype first = 0;
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const qsizetype start = m_starts[size_t(i)];
        const qsizetype next = i + 1 < lineCount() ? m_starts[size_t(i + 1)] : -1;
        bool goesOn = start < next && next < m_loadedEnd;
        if (goesOn) {
            while (dropped != m_dropped.end() && *dropped <= start)
                ++dropped;
            goesOn = dropped == m_dropped.end() || *dropped >= next;
        }
        if (!goesOn) {
            const qsizetype pieceStart = m_starts[size_t(first)];
            chunks.emplace_back(text + pieceStart, start + line(i).size() + 1 - pieceStart);
            first = i + 1;
        }
    }
    return chunks;
}

QByteArray ConfDocument::savedText() const
{
    return JoinedChunks(savedChunks());
}

QByteArray JoinedChunks(const std::vector<QByteArrayView> &chunks)
{
    QByteArray text;
    for (QByteArrayView chunk : chunks)
        text.append(chunk);
    return text;
}

std::vector<QByteArrayView> ConfDocument::keptChunks(QByteArrayView fileAsRead) const
{
    static constexpr char lineFeed = '\n';
    std::vector<QByteArrayView> chunks;
    auto append = [&chunks](const char *from, const char *to) {
        if (!chunks.empty() && chunks.back().data() + chunks.back().size() == from)
            chunks.back() = QByteArrayView(chunks.back().data(), to);
        else if (from != to)
            chunks.emplace_back(from, to);
    };
    // Loaded line k is the file's line k: the file's lines are passed in step
    // with the loaded lines, those the document still holds and those dropped.
    LineSplitter fileLines(fileAsRead.data(), fileAsRead.data() + fileAsRead.size());
    auto dropped = m_dropped.begin();
    auto fileLineOf = [&](qsizetype loadedStart) {
        for (; dropped != m_dropped.end() && *dropped <= loadedStart; ++dropped)
            if (*dropped < loadedStart)
                fileLines.next();
        return fileLines.next();
    };
    bool lastEndsOpen = false;  // the last line given has no line end
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const qsizetype start = m_starts[size_t(i)];
        if (start < m_loadedEnd) {
            const LineSplitter::Line fileLine = fileLineOf(start);
            append(fileLine.start, fileLine.next);
            lastEndsOpen = fileLine.end == fileLine.next;
            continue;
        }
        const QByteArrayView setLine = line(i);
        if (const qsizetype replaced = replacedLoadedLine(start); replaced >= 0) {
            const LineSplitter::Line fileLine = fileLineOf(replaced);
            append(setLine.data(), setLine.data() + setLine.size());
            append(fileLine.end, fileLine.next);
            lastEndsOpen = fileLine.end == fileLine.next;
        } else {
            // Added after the last line, which then needs its line end.
            if (lastEndsOpen)
                append(&lineFeed, &lineFeed + 1);
            append(setLine.data(), setLine.data() + setLine.size() + 1);
            lastEndsOpen = false;
        }
    }
    return chunks;
}
