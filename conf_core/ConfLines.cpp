#include "ConfLines.h"

#include "conf_core/ConfText.h"
#include "conf_core/KeyTags.h"
#include "conf_core/NameMatch.h"
#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"

#include <algorithm>
#include <cstring>

namespace {

QByteArrayView keyOf(const char *data, qsizetype size)
{
    const void *equals = std::memchr(data, '=', size_t(size));
    if (!equals)
        return {};
    return QByteArrayView(data, static_cast<const char *>(equals) - data);
}

}  // namespace

void ConfDocument::clear()
{
    m_refs.clear();
    m_keyTags.clear();
    m_gaps.clear();
    m_added.clear();
    m_storage.clear();
    m_storageEnd = 0;
    m_localePending = false;
    m_anyLocaleKey = false;
    m_filled = false;
}

void ConfDocument::startLoad(qsizetype size)
{
    clear();
    m_tagLocale = MatchingLocale();
    // Room for lines of 16 bytes on average, more than configuration lines
    // have; counting the lines first would cost a pass over the text. Room
    // that stays unused is never touched and costs no memory.
    const size_t expectedLines = size_t(size / 16 + 16);
    m_refs.reserve(expectedLines);
    m_keyTags.reserve(expectedLines);
    AdviseLargeBuffer(m_refs.data(), m_refs.capacity() * sizeof(uint64_t));
    AdviseLargeBuffer(m_keyTags.data(), m_keyTags.capacity() * sizeof(KeyTag));
}

char *ConfDocument::normaliseLines(const char *base, char *out, const char *in, const char *end,
                                   bool asciiFolding)
{
    bool localePending = false;
    char *const written = NormaliseLines(out, in, end, [&](char *start, qsizetype, qsizetype keyLength) {
        m_refs.push_back(uint64_t(start - base));
        const KeyTag tag = keyLength < 0 ? NoKey : LoadedKeyTag(start, keyLength, asciiFolding);
        localePending |= tag == LocaleKeyPending;
        m_keyTags.push_back(tag);
    });
    m_localePending |= localePending;
    return written;
}

void ConfDocument::finishLoad(QByteArray storage, qsizetype written)
{
    m_storage = std::move(storage);
    m_storageEnd = written;
    m_anyLocaleKey = m_localePending;
    m_filled = true;
}

void ConfDocument::loadFromBytes(QByteArray bytes)
{
    const qsizetype size = bytes.size();
    startLoad(size);
    // Normalising compacts the text in place; the one extra byte is for a
    // missing final LF.
    bytes.resize(size + 1);
    char *const base = bytes.data();
    const char *const written = normaliseLines(base, base, base, base + size, AsciiFoldingIsPlain());
    finishLoad(std::move(bytes), written - base);
}

QByteArrayView ConfDocument::line(qsizetype index) const
{
    const uint64_t ref = m_refs[size_t(index)];
    if (ref & AddedLine) {
        const QByteArray &text = m_added[size_t(ref & ~AddedLine)];
        return QByteArrayView(text.constData(), text.size() - 1);
    }
    // A loaded line holds no LF and is followed by one.
    const char *const start = m_storage.constData() + ref;
    const void *const end = std::memchr(start, '\n', size_t(m_storageEnd - qsizetype(ref)));
    return QByteArrayView(start, static_cast<const char *>(end) - start);
}

QByteArrayView ConfDocument::keyOfLine(qsizetype index) const
{
    const QByteArrayView text = line(index);
    return keyOf(text.data(), text.size());
}

void ConfDocument::retag() const
{
    const bool asciiFolding = AsciiFoldingIsPlain();
    bool localePending = false;
    for (qsizetype i = 0; i < lineCount(); ++i) {
        const QByteArrayView key = keyOfLine(i);
        const KeyTag tag = key.data() ? LoadedKeyTag(key.data(), key.size(), asciiFolding) : NoKey;
        localePending |= tag == LocaleKeyPending;
        m_keyTags[size_t(i)] = tag;
    }
    m_localePending = localePending;
    m_anyLocaleKey = localePending;
    m_tagLocale = MatchingLocale();
}

void ConfDocument::hashLocaleKeys() const
{
    // A key that repeats the one before takes its tag without asking the
    // locale again: files that repeat one key on many lines exist.
    QByteArrayView lastKey;
    KeyTag lastTag = NoKey;
    for (qsizetype i = 0; i < lineCount(); ++i) {
        if (m_keyTags[size_t(i)] != LocaleKeyPending)
            continue;
        const QByteArrayView key = keyOfLine(i);
        if (!lastKey.data() || key != lastKey) {
            lastTag = CollationKeyTag(key);
            lastKey = key;
        }
        m_keyTags[size_t(i)] = lastTag;
    }
    m_localePending = false;
}

qsizetype ConfDocument::findEntry(QByteArrayView name) const
{
    // The tags hold for the locale they were made in; the program sets its
    // locale once, but a caller may switch.
    if (m_tagLocale != MatchingLocale())
        retag();
    const qsizetype count = lineCount();
    // A candidate whose key is the one just ruled out is ruled out too: a
    // file that repeats one key on many lines, whose tag happens to be the
    // name's, asks the locale once, not once per line.
    QByteArrayView ruledOut;
    auto matches = [&](qsizetype i) {
        const QByteArrayView key = keyOfLine(i);
        if (ruledOut.data() && key == ruledOut)
            return false;
        if (NamesMatch(key, name))
            return true;
        ruledOut = key;
        return false;
    };
    // A name this long may be too long for wcsxfrm, or equal a long key with
    // undecodable bytes: every key is compared. No parameter name comes here.
    if (NameMayMatchLongUndecodableKey(name)) {
        for (qsizetype i = 0; i < count; ++i)
            if (m_keyTags[size_t(i)] != NoKey && matches(i))
                return i;
        return -1;
    }
    if (m_localePending)
        hashLocaleKeys();
    const KeyTag wantedCollation = CollationKeyTag(name);
    const KeyTag *const tags = m_keyTags.data();
    if (!IsPlainAscii(name) || !AsciiFoldingIsPlain()) {
        // Such a name may equal an ASCII key only through the locale, so every
        // ASCII key is a candidate. The catalogue's names never come here.
        for (qsizetype i = 0; i < count; ++i)
            if ((tags[i] == wantedCollation || tags[i] == LongLocaleKey || IsAsciiTag(tags[i])) && matches(i))
                return i;
        return -1;
    }
    // An ASCII name can only match a key with the same folded hash, one with
    // the same collation hash, or a key too long to have one.
    const KeyTag wantedAscii = AsciiKeyTag(name.data(), name.size());
    if (!m_anyLocaleKey)
        return ScanKeyTags(tags, count, [&](KeyTags8 eight) { return eight == wantedAscii; },
                        [&](qsizetype i) { return tags[i] == wantedAscii && matches(i); });
    return ScanKeyTags(
        tags, count,
        [&](KeyTags8 eight) { return (eight == wantedAscii) | (eight == wantedCollation) | (eight == LongLocaleKey); },
        [&](qsizetype i) {
            return (tags[i] == wantedAscii || tags[i] == wantedCollation || tags[i] == LongLocaleKey) && matches(i);
        });
}

QByteArray ConfDocument::value(QByteArrayView name) const
{
    const qsizetype index = findEntry(name);
    if (index < 0)
        return QByteArray();
    const QByteArrayView text = line(index);
    const qsizetype keyLength = keyOf(text.data(), text.size()).size();
    return text.sliced(keyLength + 1).toByteArray();
}

void ConfDocument::dropLoadedLine(qsizetype index)
{
    const uint64_t ref = m_refs[size_t(index)];
    if (!(ref & AddedLine))
        m_gaps.insert(std::upper_bound(m_gaps.begin(), m_gaps.end(), ref), ref);
}

void ConfDocument::setValue(QByteArrayView name, QByteArrayView value)
{
    const qsizetype index = findEntry(name);
    if (value.isEmpty()) {
        if (index >= 0) {
            dropLoadedLine(index);
            m_refs.erase(m_refs.begin() + index);
            m_keyTags.erase(m_keyTags.begin() + index);
        }
        return;
    }
    // Like the loaded lines, a set line is followed by its LF, so saving can
    // write runs of lines without copying them.
    QByteArray text;
    text.reserve(name.size() + 1 + value.size() + 1);
    text.append(name).append('=').append(value).append('\n');
    const QByteArrayView key = keyOf(text.constData(), text.size() - 1);
    const KeyTag tag = LoadedKeyTag(key.data(), key.size(), AsciiFoldingIsPlain());
    m_localePending |= tag == LocaleKeyPending;
    m_anyLocaleKey |= tag == LocaleKeyPending;
    m_added.push_back(std::move(text));
    const uint64_t ref = AddedLine | uint64_t(m_added.size() - 1);
    if (index >= 0) {
        dropLoadedLine(index);
        m_refs[size_t(index)] = ref;
        m_keyTags[size_t(index)] = tag;
    } else {
        m_refs.push_back(ref);
        m_keyTags.push_back(tag);
    }
}

std::vector<QByteArrayView> ConfDocument::savedChunks() const
{
    // Loaded lines keep their order, so a run of them is one piece of the
    // stored text; a run ends where a line was removed or replaced (a gap),
    // or where the stored text ends.
    std::vector<QByteArrayView> chunks;
    const char *const base = m_storage.constData();
    auto gap = m_gaps.begin();
    qsizetype runStart = -1;
    auto endRun = [&]() {
        const qsizetype runEnd = gap != m_gaps.end() ? qsizetype(*gap) : m_storageEnd;
        chunks.emplace_back(base + runStart, runEnd - runStart);
        runStart = -1;
    };
    for (const uint64_t ref : m_refs) {
        if (ref & AddedLine) {
            if (runStart >= 0)
                endRun();
            chunks.emplace_back(m_added[size_t(ref & ~AddedLine)]);
            continue;
        }
        if (runStart >= 0 && gap != m_gaps.end() && *gap < ref)
            endRun();
        while (gap != m_gaps.end() && *gap < ref)
            ++gap;
        if (runStart < 0)
            runStart = qsizetype(ref);
    }
    if (runStart >= 0)
        endRun();
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
    // Lines end at LF, CR LF or a lone CR, and a terminator at the very end
    // starts no further line. The next CR and the next LF are searched for
    // again only once a line passes them: a file with no CR, or no LF at all,
    // is read once for each, not once per line.
    std::vector<QByteArray> lines;
    const char *const begin = bytes.data();
    const qsizetype size = bytes.size();
    const char *nextCr = nullptr;
    const char *nextLf = nullptr;
    bool crSearched = false;
    bool lfSearched = false;
    qsizetype start = 0;
    while (start < size) {
        const char *from = begin + start;
        if (!crSearched || (nextCr && nextCr < from)) {
            nextCr = static_cast<const char *>(std::memchr(from, '\r', size_t(size - start)));
            crSearched = true;
        }
        if (!lfSearched || (nextLf && nextLf < from)) {
            nextLf = static_cast<const char *>(std::memchr(from, '\n', size_t(size - start)));
            lfSearched = true;
        }
        qsizetype lineEnd = size;
        qsizetype terminator = 0;
        if (nextCr && (!nextLf || nextCr < nextLf)) {
            lineEnd = nextCr - begin;
            terminator = (lineEnd + 1 < size && begin[lineEnd + 1] == '\n') ? 2 : 1;
        } else if (nextLf) {
            lineEnd = nextLf - begin;
            terminator = 1;
        }
        lines.emplace_back(from, lineEnd - start);
        start = lineEnd + terminator;
    }
    return lines;
}

QByteArray NormaliseConfLine(QByteArrayView line)
{
    // Room for the LF that the loader puts after a line, cut off again.
    QByteArray result(line.size() + 1, Qt::Uninitialized);
    if (!line.isEmpty())
        std::memcpy(result.data(), line.data(), size_t(line.size()));
    char *const data = result.data();
    const char *const written = NormaliseLines(data, data, data + line.size(), [](char *, qsizetype, qsizetype) {});
    result.truncate(written > data ? written - data - 1 : 0);
    return result;
}

void LoadConfFile(ConfDocument &document, const QByteArray &fileName)
{
    // Built aside and moved into place only when whole: a failed read or a
    // failed allocation leaves the previous lines untouched.
    ConfDocument loaded;
    // Taken before the read: a change while it reads makes the stamp differ,
    // so a save asks rather than overwrite what the load may not have seen.
    loaded.setFileStamp(StampOfFile(fileName));
    loaded.loadFromFile(fileName);
    document = std::move(loaded);
}

QByteArray GetConfValue(const ConfDocument &document, QByteArrayView name)
{
    return document.value(name);
}

bool HasConfEntry(const ConfDocument &document, QByteArrayView name)
{
    return document.hasEntry(name);
}

void SetConfValue(ConfDocument &document, QByteArrayView name, QByteArrayView value)
{
    document.setValue(name, value);
}

void SaveConfFile(ConfDocument &document, const QByteArray &fileName, IfChanged ifChanged)
{
    if (!document.isFilled())
        throw FileError::createFailed(fileName, NeverReadText());
    document.setFileStamp(WriteFileSafely(fileName, document.savedChunks(), document.fileStamp(), ifChanged));
}
