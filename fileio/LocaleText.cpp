#include "LocaleText.h"

#include <climits>
#include <cwchar>
#include <langinfo.h>

namespace {

constexpr char32_t EscapeBase = 0xEF00;

bool isEscape(char32_t c) { return c >= EscapeBase && c <= EscapeBase + 0xFF; }

// A character that UTF-16 text can hold.
bool isUnicode(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// Calls put(char32_t) for each character of the bytes as the C library decodes
// them; a byte that starts no valid character is emitted as its escape.
// ASCII is taken as it is: every locale glibc offers is a superset of it.
template <typename Put>
void decodeLocale(QByteArrayView bytes, Put put)
{
    std::mbstate_t state{};
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte != 0 && byte < 0x80) {
            put(char32_t(byte));
            ++p;
            continue;
        }
        wchar_t wide = 0;
        const size_t used = std::mbrtowc(&wide, p, size_t(end - p), &state);
        if (used == 0 || used == size_t(-1) || used == size_t(-2)) {
            state = std::mbstate_t{};
            put(EscapeBase + byte);
            ++p;
            continue;
        }
        if (isEscape(char32_t(wide)) || !isUnicode(char32_t(wide))) {
            // A real character from the escape range would come back as one
            // byte, and a code the C library decodes beyond Unicode (F4 90 80 80,
            // the 5- and 6-byte forms) has no QChar at all; escaping each of
            // their bytes keeps the round trip exact.
            for (size_t i = 0; i < used; ++i)
                put(EscapeBase + static_cast<unsigned char>(p[i]));
        } else {
            put(char32_t(wide));
        }
        p += used;
    }
}

}  // namespace

QString LocaleToText(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    decodeLocale(bytes, [&text](char32_t c) {
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
    decodeLocale(bytes, [&wide](char32_t c) { wide.push_back(wchar_t(c)); });
    return wide;
}

QByteArray TextToLocale(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    std::mbstate_t state{};
    char buffer[MB_LEN_MAX];
    const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        if (c < 0x80) {
            bytes.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p))
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        if (isEscape(c)) {
            bytes.append(char(c - EscapeBase));
            continue;
        }
        const size_t used = QChar::isSurrogate(c) ? size_t(-1) : std::wcrtomb(buffer, wchar_t(c), &state);
        if (used == size_t(-1)) {
            state = std::mbstate_t{};
            bytes.append('?');
        } else {
            bytes.append(buffer, qsizetype(used));
        }
    }
    return bytes;
}

QByteArray LocaleCodeset()
{
    return QByteArray(nl_langinfo(CODESET));
}
