#include "NameMatch.h"

#include "LocaleText.h"

#include <clocale>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

bool asciiFoldingHolds()
{
    for (wint_t c = 32; c <= 126; ++c) {
        const wint_t expected = (c >= 'a' && c <= 'z') ? c - 32 : c;
        if (std::towupper(c) != expected)
            return false;
    }
    // Every upper-cased printable character must collate apart from every
    // other and must not be ignored, or byte comparison could differ from wcscoll.
    std::wstring folded;
    for (wchar_t c = 32; c <= 126; ++c)
        if (!(c >= L'a' && c <= L'z'))
            folded.push_back(c);
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
        if (c >= 0xEF00 && c <= 0xEFFF)
            return true;
    return false;
}

std::wstring upperWide(QByteArrayView bytes)
{
    std::wstring wide = LocaleToWide(bytes);
    for (wchar_t &c : wide)
        c = wchar_t(std::towupper(wint_t(c)));
    return wide;
}

char foldAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

}  // namespace

bool IsPlainAscii(QByteArrayView text)
{
    for (char c : text)
        if (c < 32 || c > 126)
            return false;
    return true;
}

bool AsciiFoldingIsPlain()
{
    static std::string checkedLocale;
    static bool plain = false;
    const std::string current = std::string(std::setlocale(LC_CTYPE, nullptr)) + '/'
                                + std::setlocale(LC_COLLATE, nullptr);
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
            if (foldAscii(key[i]) != foldAscii(name[i]))
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
