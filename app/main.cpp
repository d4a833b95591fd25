// Program entry.

#include "ui/ProgramEntry.h"

int main(int argc, char **argv)
{
    return RunProgram(argc, argv);
}
