#include "SingleLineValidator.h"

QValidator::State SingleLineValidator::validate(QString &input, int &position) const
{
    QString kept;
    kept.reserve(input.size());
    int keptPosition = position;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input[i];
        if (c == u'\r' || c == u'\n') {
            if (i < position)
                --keptPosition;
            continue;
        }
        kept.append(c);
    }
    input = kept;
    position = keptPosition;
    return Acceptable;
}
