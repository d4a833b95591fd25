// Clicks the link as the program does: starts with the search path it was
// given, launches its first argument and exits with LaunchDocument's result.

#include "desktop/QWindows.h"

#include <QString>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    return LaunchDocument(QStringLiteral("open"), QString::fromLocal8Bit(argv[1]));
}
