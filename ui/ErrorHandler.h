#pragma once
// The application's general error handler. Event handlers run their body
// through RunGuarded: an error ends the handler where it happened and is shown
// in an error box; nothing ever propagates into Qt's event machinery.

#include <QString>
#include <functional>
#include <stdexcept>

// An error whose text the error box shows as it stands.
class ErrorText : public std::runtime_error {
public:
    explicit ErrorText(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

void ShowGeneralError(const QString &description);

// Returns false when the body failed (the error has then been shown).
bool RunGuarded(const std::function<void()> &body);
