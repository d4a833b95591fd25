#pragma once
// Parameter names match keys ignoring letter case, the way the user's locale
// sees it: both sides as wide characters, upper-cased with towupper, equal
// when wcscoll says so.

#include <QByteArrayView>
#include <cstdint>

bool NamesMatch(QByteArrayView key, QByteArrayView name);

// True when plain ASCII text can be matched by folding a-z to A-Z and
// comparing bytes: the locale folds ASCII the usual way and its collation
// tells every printable ASCII character apart. Checked once per locale.
bool AsciiFoldingIsPlain();

// Plain ASCII here means printable characters 32..126.
bool IsPlainAscii(QByteArrayView text);
