#include "KeyTags.h"

#include "NameMatch.h"

#include <cstdlib>

namespace {

KeyTag fold15(uint64_t hash) { return KeyTag((hash ^ (hash >> 15) ^ (hash >> 30) ^ (hash >> 45)) & 0x7fff); }

constexpr uint64_t HighBits = 0x8080808080808080ull;
constexpr uint64_t Bytes(unsigned char c) { return 0x0101010101010101ull * c; }

}  // namespace

KeyTag CollationKeyTag(QByteArrayView key)
{
    if (key.size() > LongKeyBytes)
        return HasUndecodableBytes(key) ? LongUndecodableKey : LongLocaleKey;
    return fold15(CollationHash(key)) | CollationHashBit;
}

// Eight bytes at a time, since loading tags every key of the file.
KeyTag AsciiKeyTag(const char *key, qsizetype size)
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

KeyTag LoadedKeyTag(const char *key, qsizetype size, bool asciiFolding)
{
    return asciiFolding ? AsciiKeyTag(key, size) : LocaleKeyPending;
}

bool NameMayMatchLongUndecodableKey(QByteArrayView name)
{
    return name.size() * qsizetype(MB_CUR_MAX) > LongKeyBytes;
}
