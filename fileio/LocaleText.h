#pragma once
// Conversion between file bytes in the user's locale character set and the
// GUI's Unicode text. Goes through the C library (mbrtowc/wcrtomb), because
// Qt 6 always takes "local 8-bit" to mean UTF-8.
//
// Characters are converted one at a time, each from the initial state. Bytes
// that the locale cannot decode (and NUL), and bytes whose character would be
// written back as other bytes (codes that stateful converters split or
// compose), become the private-use characters U+EF00 + byte, which convert
// back to the very same byte, so an unedited round trip never changes a file.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>

// The private-use characters that stand for single bytes, as above.
constexpr char16_t ByteEscapeBase = 0xEF00;
constexpr char16_t ByteEscape(char byte) { return char16_t(ByteEscapeBase + static_cast<unsigned char>(byte)); }
constexpr bool IsByteEscape(char32_t c) { return c >= ByteEscapeBase && c <= ByteEscapeBase + 0xFF; }

QString LocaleToText(QByteArrayView bytes);
// Characters the locale cannot represent become "?".
QByteArray TextToLocale(const QString &text);

// Wide characters as the C library sees them; undecodable bytes map as above.
std::wstring LocaleToWide(QByteArrayView bytes);

// Name of the locale's character set, e.g. "UTF-8" or "ISO-8859-1".
QByteArray LocaleCodeset();
