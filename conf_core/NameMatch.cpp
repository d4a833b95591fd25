#include "NameMatch.h"

#include "fileio/LocaleText.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

// Upper-cased ASCII characters other than a-z must stay themselves, collate
// apart from each other and not be ignored next to a letter; otherwise byte
// comparison could differ from wcscoll. NUL never reaches the collation: it
// is an undecodable byte there (see LocaleText.h).
bool asciiFoldingHolds()
{
    std::wstring folded;
    for (wchar_t c = 1; c <= 127; ++c) {
        if (c >= L'a' && c <= L'z')
            continue;
        if (std::towupper(wint_t(c)) != wint_t(c))
            return false;
        folded.push_back(c);
    }
    for (size_t i = 0; i < folded.size(); ++i) {
        const wchar_t one[2] = {folded[i], 0};
        const wchar_t withA[3] = {L'A', folded[i], 0};
        if (std::wcscoll(withA, L"A") == 0)
            return false;
        for (size_t j = i + 1; j < folded.size(); ++j) {
            const wchar_t other[2] = {folded[j], 0};
            if (std::wcscoll(one, other) == 0)
                return false;
        }
    }
    return true;
}

bool hasEscapes(const std::wstring &text)
{
    for (wchar_t c : text)
        if (IsByteEscape(c))
            return true;
    return false;
}

std::wstring upperWide(QByteArrayView bytes)
{
    std::wstring wide = LocaleToWide(bytes);
    for (wchar_t &c : wide) {
        const wchar_t ascii = AsciiUpper(c);
        c = ascii != c ? ascii : wchar_t(std::towupper(wint_t(c)));
    }
    return wide;
}

uint32_t hashOf(const wchar_t *text, size_t length, uint32_t seed)
{
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ seed;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ uint32_t(text[i])) * 0xff51afd7ed558ccdull;
    return uint32_t(hash ^ (hash >> 32));
}

}  // namespace

bool IsPlainAscii(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

bool HasUndecodableBytes(QByteArrayView text)
{
    // A piece ends before a byte that starts a character in UTF-8 (anything
    // but a continuation byte) or before any byte in a single-byte set: no
    // valid character spans the cut, and an invalid sequence stays invalid.
    const bool singleByte = MB_CUR_MAX == 1;
    const bool utf8 = LocaleCodeset() == "UTF-8";
    constexpr qsizetype Piece = 64 * 1024;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.size();
        if ((singleByte || utf8) && end - at > Piece) {
            end = at + Piece;
            while (utf8 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
                ++end;
        }
        if (hasEscapes(LocaleToWide(text.sliced(at, end - at))))
            return true;
        at = end;
    }
    return false;
}

std::string MatchingLocale()
{
    return std::string(std::setlocale(LC_CTYPE, nullptr)) + '/' + std::setlocale(LC_COLLATE, nullptr);
}

bool AsciiFoldingIsPlain()
{
    static std::string checkedLocale;
    static bool plain = false;
    const std::string current = MatchingLocale();
    if (current != checkedLocale) {
        plain = asciiFoldingHolds();
        checkedLocale = current;
    }
    return plain;
}

bool NamesMatch(QByteArrayView key, QByteArrayView name)
{
    if (IsPlainAscii(key) && IsPlainAscii(name) && AsciiFoldingIsPlain()) {
        if (key.size() != name.size())
            return false;
        for (qsizetype i = 0; i < key.size(); ++i)
            if (AsciiUpper(key[i]) != AsciiUpper(name[i]))
                return false;
        return true;
    }
    const std::wstring wideKey = upperWide(key);
    const std::wstring wideName = upperWide(name);
    // Undecodable bytes have no place in the collation: compare them exactly.
    if (hasEscapes(wideKey) || hasEscapes(wideName))
        return wideKey == wideName;
    return std::wcscoll(wideKey.c_str(), wideName.c_str()) == 0;
}

uint32_t CollationHash(QByteArrayView text)
{
    const std::wstring wide = upperWide(text);
    // Text with undecodable bytes only equals itself, so its own characters
    // are its key; a different seed keeps the two kinds apart.
    if (hasEscapes(wide))
        return hashOf(wide.data(), wide.size(), 1);
    // wcscoll(a, b) == 0 exactly when the wcsxfrm keys of a and b are equal.
    std::vector<wchar_t> key(wide.size() * 8 + 16);
    size_t length = std::wcsxfrm(key.data(), wide.c_str(), key.size());
    if (length >= key.size()) {
        key.resize(length + 1);
        length = std::wcsxfrm(key.data(), wide.c_str(), key.size());
    }
    return hashOf(key.data(), length, 2);
}

std::optional<uint32_t> AsciiFoldedHash(QByteArrayView text)
{
    // Loading hashes every key, so one pass looks for bytes above 127 and
    // adds the bytes in (djb2), without a multiply per byte.
    uint32_t hash = 5381;
    unsigned char high = 0;
    for (char c : text) {
        high |= static_cast<unsigned char>(c);
        hash = hash * 33 + static_cast<unsigned char>(AsciiUpper(c));
    }
    if (high & 0x80)
        return std::nullopt;
    return hash * 0x9e3779b1u;
}
