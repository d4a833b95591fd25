#include "LocaleText.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

namespace {

bool isAscii(char32_t c) { return c != 0 && c < 0x80; }

// A character that UTF-16 text can hold.
bool isUnicode(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// The bytes of one character written alone, as TextToLocale writes every
// character: a converter that holds a character back to compose it with the
// next (BIG5-HKSCS holds Ê and ê) is flushed. ASCII is written as it is, as
// decodeLocale reads it. Returns size_t(-1) when the locale cannot represent
// the character.
size_t encodeAlone(char32_t c, char (&out)[2 * MB_LEN_MAX])
{
    if (c < 0x80) {
        out[0] = char(c);
        return 1;
    }
    std::mbstate_t state{};
    const size_t used = std::wcrtomb(out, wchar_t(c), &state);
    if (used == size_t(-1) || std::mbsinit(&state))
        return used;
    const size_t flushed = std::wcrtomb(out + used, L'\0', &state);
    // The flush ends with a NUL that is no part of the character.
    return flushed == size_t(-1) ? flushed : used + flushed - 1;
}

// Whether the character may stand for the bytes in the text: written alone,
// it gives back exactly these bytes. A real character from the escape range
// would come back as one byte, and a code the C library decodes beyond
// Unicode (F4 90 80 80, the 5- and 6-byte forms) has no QChar at all.
bool standsFor(char32_t c, const char *bytes, size_t size)
{
    if (c == 0 || IsByteEscape(c) || !isUnicode(c))
        return false;
    char out[2 * MB_LEN_MAX];
    return encodeAlone(c, out) == size && std::memcmp(out, bytes, size) == 0;
}

// The one character that exactly these bytes decode to when they stand alone
// (the terminating NUL flushes a converter that waits to compose), or 0.
char32_t decodeAlone(const char *bytes, size_t size)
{
    char alone[MB_LEN_MAX + 1] = {};
    std::memcpy(alone, bytes, size);
    const char *from = alone;
    wchar_t wide[2] = {};
    std::mbstate_t state{};
    return std::mbsrtowcs(wide, &from, 2, &state) == 1 && from == nullptr ? char32_t(wide[0]) : 0;
}

struct Decoded {
    char32_t c = 0;
    size_t size = 0;  // 0: no character stands for the bytes
};

// The character at the start of the bytes, decoded from the initial state, so
// that the stateful converters (BIG5-HKSCS splits some codes into a letter
// and a combining mark, TCVN5712-1 and CP1258 compose a letter with the mark
// after it) can neither join nor split bytes that TextToLocale would write
// differently.
//
// UTF-8 needs no check that the character gives back its bytes: the C library
// decodes only the shortest form of each code, and skipping the check halves
// the time for text that is mostly not ASCII.
Decoded decodeOne(const char *bytes, size_t available, bool utf8)
{
    std::mbstate_t state{};
    wchar_t wide = 0;
    const size_t used = std::mbrtowc(&wide, bytes, available, &state);
    if (used == 0 || used > available)  // NUL, an invalid or a cut sequence
        return {};
    const char32_t c = char32_t(wide);
    if (utf8)
        return IsByteEscape(c) || !isUnicode(c) ? Decoded{} : Decoded{c, used};
    if (std::mbsinit(&state) && standsFor(c, bytes, used))
        return {c, used};
    // The converter split, composed or held back a character: take the
    // shortest run of bytes that alone is one character standing for them.
    for (size_t size = 1; size <= available; ++size) {
        const char32_t alone = decodeAlone(bytes, size);
        if (standsFor(alone, bytes, size))
            return {alone, size};
    }
    return {};
}

// Calls putAscii(const char *, size) for each run of ASCII bytes (but NUL),
// taken as ASCII in every locale (only SHIFT_JIS decodes 5C and 7E as other
// signs; encodeAlone writes ASCII back the same), and put(char32_t) for each
// other character; a byte that starts no character standing for its bytes is
// emitted as its escape.
template <typename PutAscii, typename Put>
void decodeLocale(QByteArrayView bytes, PutAscii putAscii, Put put)
{
    const size_t longest = MB_CUR_MAX;
    const bool utf8 = LocaleCodeset() == "UTF-8";
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        const char *ascii = p;
        while (p < end && isAscii(static_cast<unsigned char>(*p)))
            ++p;
        if (p > ascii)
            putAscii(ascii, size_t(p - ascii));
        if (p == end)
            break;
        const Decoded decoded = decodeOne(p, std::min(longest, size_t(end - p)), utf8);
        if (decoded.size == 0) {
            put(ByteEscape(*p));
            ++p;
        } else {
            put(decoded.c);
            p += decoded.size;
        }
    }
}

}  // namespace

QString LocaleToText(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    decodeLocale(
        bytes, [&text](const char *ascii, size_t size) { text.append(QLatin1StringView(ascii, qsizetype(size))); },
        [&text](char32_t c) {
            if (c < 0x10000) {
                text.append(QChar(char16_t(c)));
            } else {
                text.append(QChar(QChar::highSurrogate(c)));
                text.append(QChar(QChar::lowSurrogate(c)));
            }
        });
    return text;
}

std::wstring LocaleToWide(QByteArrayView bytes)
{
    std::wstring wide;
    wide.reserve(size_t(bytes.size()));
    decodeLocale(
        bytes, [&wide](const char *ascii, size_t size) { wide.append(ascii, ascii + size); },
        [&wide](char32_t c) { wide.push_back(wchar_t(c)); });
    return wide;
}

QByteArray TextToLocale(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    char buffer[2 * MB_LEN_MAX];
    const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = p + text.size();
    while (p < end) {
        // ASCII is written as it is, like encodeAlone does, a run at a time.
        const char16_t *ascii = p;
        while (p < end && *p < 0x80)
            ++p;
        if (p > ascii) {
            const qsizetype at = bytes.size();
            bytes.resize(at + (p - ascii));
            std::copy(ascii, p, bytes.data() + at);
        }
        if (p == end)
            break;
        char32_t c = *p++;
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        if (IsByteEscape(c)) {
            bytes.append(char(c - ByteEscapeBase));
            continue;
        }
        const size_t used = QChar::isSurrogate(c) ? size_t(-1) : encodeAlone(c, buffer);
        if (used == size_t(-1))
            bytes.append('?');
        else
            bytes.append(buffer, qsizetype(used));
    }
    return bytes;
}

QByteArray LocaleCodeset()
{
    return QByteArray(nl_langinfo(CODESET));
}
