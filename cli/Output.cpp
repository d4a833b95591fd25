#include "Output.h"

#include "fileio/LocaleText.h"

#include <cstdio>

void PrintOut(QByteArrayView bytes)
{
    // An empty view may have no data at all, which fwrite must not be given.
    if (!bytes.isEmpty())
        std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
}

void PrintError(const QString &message)
{
    // One write, so that runs in parallel on one terminal do not mix their lines.
    const QByteArray bytes = "cvconf: " + TextToLocale(message) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

bool FinishOutput()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}
