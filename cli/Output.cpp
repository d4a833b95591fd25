#include "Output.h"

#include "fileio/LocaleText.h"

#include <cstdio>

void PrintOut(QByteArrayView bytes)
{
    std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
}

void PrintErrorBytes(QByteArrayView message)
{
    std::fputs("cvconf: ", stderr);
    std::fwrite(message.data(), 1, size_t(message.size()), stderr);
    std::fputc('\n', stderr);
}

void PrintError(const QString &message)
{
    PrintErrorBytes(TextToLocale(message));
}

bool FinishOutput()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}
