#include "KeyTags.h"

#include "conf_core/NameMatch.h"

#include <cstdlib>

namespace {

KeyTag fold15(uint64_t hash) { return KeyTag((hash ^ (hash >> 15) ^ (hash >> 30) ^ (hash >> 45)) & 0x7fff); }

constexpr uint64_t HighBits = 0x8080808080808080ull;
constexpr uint64_t Bytes(unsigned char c) { return 0x0101010101010101ull * c; }

uint64_t littleWord(const char *bytes)
{
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    return word;
}

// The last one to seven bytes of a key, padded with "A" (the size is in the
// hash, so padding never makes two keys equal). Built in registers: a word
// put together in memory byte by byte and read back whole stalls the load.
uint64_t tailWord(const char *key, qsizetype at, qsizetype size)
{
    const qsizetype rest = size - at;
    uint64_t word = 0;
    if (size >= 8) {
        word = littleWord(key + size - 8) >> (8 * (8 - rest));
    } else {
        for (qsizetype i = rest; i-- > 0;)
            word = word << 8 | static_cast<unsigned char>(key[at + i]);
    }
    return word | Bytes('A') << (8 * rest);
}

}  // namespace

KeyTag CollationKeyTag(QByteArrayView key)
{
    if (key.size() > LongKeyBytes)
        return HasUndecodableBytes(key) ? LongUndecodableKey : LongLocaleKey;
    return fold15(CollationHash(key)) | CollationHashBit;
}

// Eight bytes at a time, since loading tags every key of the file. The
// first byte of a word is its lowest, on every machine.
KeyTag AsciiKeyTag(const char *key, qsizetype size)
{
    const bool comment = size > 0 && key[0] == '#';
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ uint64_t(size);
    for (qsizetype at = 0; at < size; at += 8) {
        const uint64_t word = size - at >= 8 ? littleWord(key + at) : tailWord(key, at, size);
        if (word & HighBits)
            return LocaleKeyPending;
        if (comment)
            continue;
        // Now b <= 127, so no carry crosses into the next byte: b >= 'a' sets
        // bit 7 of b + 0x1f, b > 'z' that of b + 0x05.
        const uint64_t lower = ((word + Bytes(0x1f)) & ~(word + Bytes(0x05))) & HighBits;
        hash = (hash ^ (word - (lower >> 2))) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 32;
    }
    if (comment)
        return CommentKey;
    const KeyTag tag = fold15(hash);
    return tag <= CommentKey ? KeyTag(tag + CommentKey + 1) : tag;
}

KeyTag LoadedKeyTag(const char *key, qsizetype size, bool asciiFolding)
{
    return asciiFolding ? AsciiKeyTag(key, size) : LocaleKeyPending;
}

bool NameMayMatchLongUndecodableKey(QByteArrayView name)
{
    return name.size() * qsizetype(MB_CUR_MAX) > LongKeyBytes;
}
