// Runs the program as its entry does, with the first message box answered OK
// and recorded instead of shown; then prints each recorded box on a line
// ("<title>: <text>") and ends with the program's exit status.

#include "ui/MessageBox.h"
#include "ui/ProgramEntry.h"

#include <cstdio>

int main(int argc, char **argv)
{
    MessageBox::setNextAnswer(MessageBox::Answer::Ok);
    const int status = RunProgram(argc, argv);
    for (const MessageBox::Shown &box : MessageBox::shownBoxes())
        std::printf("%s: %s\n", box.title.toUtf8().constData(), box.text.toUtf8().constData());
    return status;
}
