#pragma once
// Parameter names match keys ignoring letter case, the way the user's locale
// sees it: both sides as wide characters, upper-cased, equal when wcscoll says
// so. The ASCII letters a-z upper-case as ASCII in every locale: in Turkish,
// towupper('i') is a dotted capital, and "ipcname" must still find IpcName.

#include <QByteArrayView>
#include <cstdint>
#include <optional>
#include <string>

// The upper case of an ASCII letter a-z, every other character as it is.
template <typename Char>
constexpr Char AsciiUpper(Char c)
{
    return c >= 'a' && c <= 'z' ? Char(c - 'a' + 'A') : c;
}

bool NamesMatch(QByteArrayView key, QByteArrayView name);

// True when ASCII text can be matched by folding a-z to A-Z and comparing
// bytes: the locale's collation tells every ASCII character apart and ignores
// none of them. Checked once per locale.
bool AsciiFoldingIsPlain();

// ASCII here means bytes 0..127.
bool IsPlainAscii(QByteArrayView text);

// A hash of the text's collation key (the upper-cased text through wcsxfrm):
// texts that NamesMatch calls equal have equal hashes, so a differing hash
// rules a match out without asking the locale again.
uint32_t CollationHash(QByteArrayView text);
// The same for plain ASCII text where AsciiFoldingIsPlain(): a hash of the
// text with a-z folded to A-Z, without asking the locale; nothing for text
// with a byte above 127.
std::optional<uint32_t> AsciiFoldedHash(QByteArrayView text);

// Whether the text holds bytes the locale cannot decode, which NamesMatch
// compares exactly. Works through a long text in pieces where the character
// set allows it (UTF-8 and single-byte sets), so it needs little memory.
bool HasUndecodableBytes(QByteArrayView text);

// Names the locale that matching depends on (character set and collation),
// so that what was worked out under one locale is not used under another.
std::string MatchingLocale();
