#pragma once
// Key tags: a small number per line that says which names its key could
// match, so that a lookup scans an array of tags instead of the text.
//
// A line without "=" never matches (NoKey). An ASCII key, where the locale
// allows byte comparison (AsciiFoldingIsPlain), carries a hash of the key
// with a-z folded to A-Z. Any other key carries a hash of its collation key,
// worked out at the first lookup rather than at load, so that loading never
// waits for the locale; until then it is LocaleKeyPending. A key too long to
// be put through wcsxfrm is compared directly on each lookup (LongLocaleKey),
// unless it holds bytes the locale cannot decode (LongUndecodableKey): it then
// equals only a text of about its own length, and no short name can match it.
// The top bit tells the two kinds of hash apart. ASCII keys that begin with
// "#" (commented-out settings, a good part of most files) share CommentKey
// instead of a hash: only a name that begins with "#" can match them.
// Fifteen bits of hash make about one false candidate in 32,000 lines, cheap
// to rule out, and half the bytes to scan of a wider tag.

#include <QByteArrayView>
#include <cstdint>
#include <cstring>

using KeyTag = uint16_t;
constexpr KeyTag NoKey = 0;
constexpr KeyTag LocaleKeyPending = 1;
constexpr KeyTag LongLocaleKey = 2;
constexpr KeyTag LongUndecodableKey = 3;
constexpr KeyTag CommentKey = 4;
constexpr KeyTag CollationHashBit = 0x8000;
// Far longer than any parameter name, short enough for wcsxfrm's buffers.
constexpr qsizetype LongKeyBytes = 64 * 1024;

// Whether a name may match a LongUndecodableKey: such a key decodes to more
// than LongKeyBytes / MB_CUR_MAX characters, and an equal name has as many.
bool NameMayMatchLongUndecodableKey(QByteArrayView name);

inline bool IsAsciiTag(KeyTag tag) { return tag >= CommentKey && !(tag & CollationHashBit); }

// The tag of a key as loading gives it: LocaleKeyPending for a key that needs
// the locale, otherwise its ASCII tag.
KeyTag LoadedKeyTag(const char *key, qsizetype size, bool asciiFolding);
// The ASCII tag of a key, or LocaleKeyPending when a byte lies above 127.
KeyTag AsciiKeyTag(const char *key, qsizetype size);
// The tag that replaces LocaleKeyPending.
KeyTag CollationKeyTag(QByteArrayView key);

using KeyTags8 = KeyTag __attribute__((vector_size(16)));

// The index of the first line whose tag passes candidates() (eight tags at a
// time in vector registers) and then found(i), or -1. Only a block that
// holds a candidate is looked at line by line.
template <typename Candidates, typename Found>
qsizetype ScanKeyTags(const KeyTag *tags, qsizetype count, Candidates candidates, Found found)
{
    constexpr qsizetype Block = 32;
    qsizetype i = 0;
    for (; i + Block <= count; i += Block) {
        KeyTags8 any = {};
        for (qsizetype k = 0; k < Block; k += 8) {
            KeyTags8 eight;
            std::memcpy(&eight, tags + i + k, sizeof eight);
            any |= KeyTags8(candidates(eight));
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
