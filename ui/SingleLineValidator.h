#pragma once
// Keeps a value editor's text on one line. The configuration file holds one
// entry per line, so a pasted line break would otherwise split the value into
// a second line, which the server would read as an entry of its own.

#include <QValidator>

class SingleLineValidator : public QValidator {
public:
    using QValidator::QValidator;

    // Removes every CR and LF; the text is then always acceptable.
    State validate(QString &input, int &position) const override;
};
