#pragma once
// What cvconf prints. Bytes go out as they are: file text and typed text are
// already in the locale's character set. Texts of the program's own (messages,
// descriptions) are converted through the C library's locale.

#include <QByteArrayView>
#include <QString>

void PrintOut(QByteArrayView bytes);
// "cvconf: " + the message + a line end, on standard error.
void PrintError(const QString &message);
// Flushes standard output; false when it could not be written whole.
bool FinishOutput();
