#include "ConfLines.h"

#include "NameMatch.h"
#include "ReadFile.h"
#include "SafeWrite.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Key tags. A line without "=" never matches. An ASCII key, where the locale
// allows byte comparison, carries a hash of the key with a-z folded to A-Z.
// Any other key carries the hash of its collation key, worked out at the
// first lookup rather than at load, so that loading never waits for the
// locale; until then it is LocaleKeyPending. A key too long to be put through
// wcsxfrm is compared directly on each lookup. The top bit tells the two
// kinds of hash apart. ASCII keys that begin with "#" (commented-out
// settings, a good part of most files) share one tag instead of a hash: only
// a name that begins with "#" can match them.
using KeyTag = uint16_t;
constexpr KeyTag NoKey = 0;
constexpr KeyTag LocaleKeyPending = 1;
constexpr KeyTag LongLocaleKey = 2;
constexpr KeyTag CommentKey = 3;
constexpr KeyTag CollationHashBit = 0x8000;
// Far longer than any parameter name, short enough for wcsxfrm's buffers.
constexpr qsizetype LongKeyBytes = 64 * 1024;

bool isAsciiTag(KeyTag tag) { return tag >= CommentKey && !(tag & CollationHashBit); }

// Fifteen bits of a hash: a lookup then meets about one false candidate in
// 32,000 lines, cheap to rule out, and scans half the bytes of a wider tag.
KeyTag fold15(uint64_t hash)
{
    return KeyTag((hash ^ (hash >> 15) ^ (hash >> 30) ^ (hash >> 45)) & 0x7fff);
}

KeyTag collationTag(QByteArrayView key)
{
    if (key.size() > LongKeyBytes)
        return LongLocaleKey;
    return fold15(CollationHash(key)) | CollationHashBit;
}

constexpr uint64_t HighBits = 0x8080808080808080ull;
constexpr uint64_t Bytes(unsigned char c) { return 0x0101010101010101ull * c; }

// The tag of a key: LocaleKeyPending when a byte lies above 127, otherwise a
// hash of the key with a-z folded to A-Z. Works on eight bytes at a time,
// since loading tags every line of the file.
KeyTag asciiKeyTag(const char *key, qsizetype size)
{
    if (size > 0 && key[0] == '#')
        return IsPlainAscii(QByteArrayView(key, size)) ? CommentKey : LocaleKeyPending;
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ uint64_t(size);
    for (qsizetype at = 0; at < size; at += 8) {
        uint64_t word;
        if (size - at >= 8) {
            std::memcpy(&word, key + at, 8);
        } else {
            // The size is in the hash, so padding never makes two keys equal.
            char tail[8];
            std::memset(tail, 'A', sizeof tail);
            std::memcpy(tail, key + at, size_t(size - at));
            std::memcpy(&word, tail, 8);
        }
        if (word & HighBits)
            return LocaleKeyPending;
        // Now b <= 127, so no carry crosses into the next byte: b >= 'a' sets
        // bit 7 of b + 0x1f, b > 'z' that of b + 0x05.
        const uint64_t lower = ((word + Bytes(0x1f)) & ~(word + Bytes(0x05))) & HighBits;
        hash = (hash ^ (word - (lower >> 2))) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 32;
    }
    const KeyTag tag = fold15(hash);
    return tag <= CommentKey ? KeyTag(tag + CommentKey + 1) : tag;
}

QByteArrayView keyOf(const char *data, qsizetype size)
{
    const void *equals = std::memchr(data, '=', size_t(size));
    if (!equals)
        return {};
    return QByteArrayView(data, static_cast<const char *>(equals) - data);
}

KeyTag keyTagOfKey(const char *key, qsizetype size, bool asciiFolding)
{
    return asciiFolding ? asciiKeyTag(key, size) : LocaleKeyPending;
}

// Splits and normalises the text in one pass, in place: normalising only
// shortens lines and turns every terminator into one LF, so the output never
// overtakes the input. Calls lineDone(offset, length, keyLength) for each line
// as written (keyLength -1 for a line without "="); returns the length of the
// written text. The one byte after the text must be writable: it takes the LF
// of a last line that had none.
template <typename LineDone>
qsizetype normaliseText(char *const base, const qsizetype size, LineDone lineDone)
{
    const char *src = base;
    const char *const end = base + size;
    char *dst = base;
    char *lineStart = base;
    qsizetype keyLength = -1;
    bool comment = size > 0 && *src == '#';
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i equals = _mm_set1_epi8('=');
#endif
    for (;;) {
#ifdef __SSE2__
        // Sixteen bytes at a time up to the next LF, CR or "=". A store must
        // not reach input bytes that are still to be read.
        while (end - src >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
            const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)),
                                                 _mm_cmpeq_epi8(bytes, equals));
            const unsigned mask = unsigned(_mm_movemask_epi8(special));
            const qsizetype behind = src - dst;
            if (mask) {
                const int plain = __builtin_ctz(mask);
                // Far enough behind, the whole block may be stored: the bytes
                // after the plain ones are overwritten by what follows.
                if (behind >= 16)
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), bytes);
                else if (behind > 0)
                    std::memmove(dst, src, size_t(plain));
                src += plain;
                dst += plain;
                break;
            }
            if (behind > 0)
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), bytes);
            src += 16;
            dst += 16;
        }
#endif
        while (src < end && *src != '\n' && *src != '\r' && *src != '=')
            *dst++ = *src++;
        if (src == end)
            break;
        const char c = *src++;
        if (c == '=') {
            // Outside comments, the blanks on both sides of every "=" go.
            if (!comment)
                while (dst > lineStart && dst[-1] == ' ')
                    --dst;
            if (keyLength < 0)
                keyLength = dst - lineStart;
            *dst++ = '=';
            if (!comment)
                while (src < end && *src == ' ')
                    ++src;
            continue;
        }
        if (c == '\r' && src < end && *src == '\n')
            ++src;
        lineDone(lineStart - base, dst - lineStart, keyLength);
        *dst++ = '\n';
        lineStart = dst;
        keyLength = -1;
        comment = src < end && *src == '#';
    }
    // A line never normalises to nothing, so bytes here are a last line
    // without a terminator.
    if (dst > lineStart) {
        lineDone(lineStart - base, dst - lineStart, keyLength);
        *dst++ = '\n';
    }
    return dst - base;
}

using Tags = KeyTag __attribute__((vector_size(16)));

// The index of the first line whose tag passes candidates() (eight tags at a
// time in vector registers) and then found(i), or -1. Only a block that
// holds a candidate is looked at line by line.
template <typename Candidates, typename Found>
qsizetype scanTags(const KeyTag *tags, qsizetype count, Candidates candidates, Found found)
{
    constexpr qsizetype Block = 32;
    qsizetype i = 0;
    for (; i + Block <= count; i += Block) {
        Tags any = {};
        for (qsizetype k = 0; k < Block; k += 8) {
            Tags eight;
            std::memcpy(&eight, tags + i + k, sizeof eight);
            any |= Tags(candidates(eight));
        }
        uint64_t halves[2];
        std::memcpy(halves, &any, sizeof halves);
        if ((halves[0] | halves[1]) == 0)
            continue;
        for (qsizetype k = 0; k < Block; ++k)
            if (found(i + k))
                return i + k;
    }
    for (; i < count; ++i)
        if (found(i))
            return i;
    return -1;
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
    m_tagLocale = MatchingLocale();
    const bool asciiFolding = AsciiFoldingIsPlain();
    bool localePending = false;

    // Room for lines of 16 bytes on average, more than configuration lines
    // have; counting the lines first would cost a pass over the text. Room
    // that stays unused is never touched and costs no memory.
    const size_t expectedLines = size_t(size / 16 + 16);
    m_refs.reserve(expectedLines);
    m_keyTags.reserve(expectedLines);
    AdviseLargeBuffer(m_refs.data(), m_refs.capacity() * sizeof(uint64_t));
    AdviseLargeBuffer(m_keyTags.data(), m_keyTags.capacity() * sizeof(KeyTag));

    const qsizetype written = normaliseText(base, size, [&](qsizetype offset, qsizetype, qsizetype keyLength) {
        m_refs.push_back(uint64_t(offset));
        const KeyTag tag = keyLength < 0 ? NoKey : keyTagOfKey(base + offset, keyLength, asciiFolding);
        localePending |= tag == LocaleKeyPending;
        m_keyTags.push_back(tag);
    });
    m_anyLocaleKey = localePending;
    m_storageEnd = written;
    m_localePending = localePending;
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
        const KeyTag tag = key.data() ? keyTagOfKey(key.data(), key.size(), asciiFolding) : NoKey;
        localePending |= tag == LocaleKeyPending;
        m_keyTags[size_t(i)] = tag;
    }
    m_localePending = localePending;
    m_anyLocaleKey = localePending;
    m_tagLocale = MatchingLocale();
}

void ConfDocument::hashLocaleKeys() const
{
    for (qsizetype i = 0; i < lineCount(); ++i)
        if (m_keyTags[size_t(i)] == LocaleKeyPending)
            m_keyTags[size_t(i)] = collationTag(keyOfLine(i));
    m_localePending = false;
}

qsizetype ConfDocument::findEntry(QByteArrayView name) const
{
    // The tags hold for the locale they were made in; the program sets its
    // locale once, but a caller may switch.
    if (m_tagLocale != MatchingLocale())
        retag();
    const qsizetype count = lineCount();
    auto matches = [&](qsizetype i) { return NamesMatch(keyOfLine(i), name); };
    if (name.size() > LongKeyBytes) {
        for (qsizetype i = 0; i < count; ++i)
            if (m_keyTags[size_t(i)] != NoKey && matches(i))
                return i;
        return -1;
    }
    if (m_localePending)
        hashLocaleKeys();
    const KeyTag wantedCollation = collationTag(name);
    const KeyTag *const tags = m_keyTags.data();
    if (!IsPlainAscii(name) || !AsciiFoldingIsPlain()) {
        // Such a name may equal an ASCII key only through the locale, so every
        // ASCII key is a candidate. The catalogue's names never come here.
        for (qsizetype i = 0; i < count; ++i)
            if ((tags[i] == wantedCollation || tags[i] == LongLocaleKey || isAsciiTag(tags[i])) && matches(i))
                return i;
        return -1;
    }
    // An ASCII name can only match a key with the same folded hash, one with
    // the same collation hash, or a key too long to have one.
    const KeyTag wantedAscii = asciiKeyTag(name.data(), name.size());
    if (!m_anyLocaleKey)
        return scanTags(tags, count, [&](Tags eight) { return eight == wantedAscii; },
                        [&](qsizetype i) { return tags[i] == wantedAscii && matches(i); });
    return scanTags(
        tags, count,
        [&](Tags eight) { return (eight == wantedAscii) | (eight == wantedCollation) | (eight == LongLocaleKey); },
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
    const KeyTag tag = keyTagOfKey(key.data(), key.size(), AsciiFoldingIsPlain());
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
    std::memcpy(result.data(), line.data(), size_t(line.size()));
    const qsizetype written = normaliseText(result.data(), line.size(), [](qsizetype, qsizetype, qsizetype) {});
    result.truncate(written > 0 ? written - 1 : 0);
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
