#include "Output.h"

#include "fileio/LocaleText.h"

#include <cstdio>

void PrintOut(QByteArrayView bytes)
{
    std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
}

void PrintErrorBytes(QByteArrayView message)
{
    // One write, so that runs in parallel on one terminal do not mix their lines.
    const QByteArray line = "cvconf: " + message.toByteArray() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

void PrintError(const QString &message)
{
    PrintErrorBytes(TextToLocale(message));
}

bool FinishOutput()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}
