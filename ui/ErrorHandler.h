#pragma once
// The application's general error handler. Event handlers run their body
// through RunGuarded: an error ends the handler where it happened and is shown
// in an error box; nothing ever propagates into Qt's event machinery.

#include <QString>
#include <functional>

// The text as the error box shows it: a full stop appended when the last
// character sorts after ".".
QString ErrorBoxText(const QString &description);
void ShowGeneralError(const QString &description);

// Returns false when the body failed (the error has then been shown).
bool RunGuarded(const std::function<void()> &body);
