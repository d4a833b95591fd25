// The aliases editor on the file argv[1] as a user runs it: its boxes answered
// by argv[2] (Y yes, N no, one a box), a line typed, then saved once standard
// input gives a line. Prints how many boxes came and whether text is unsaved.
// CV_AUTHENTICATION_BOUND, in seconds, shortens the wait for an authentication.

#include "conf_core/StartupChecks.h"
#include "fileio/Waiting.h"
#include "ui/Editaliases.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    AliasesFileName = argv[1];
    if (const int bound = qEnvironmentVariableIntValue("CV_AUTHENTICATION_BOUND"))
        ProcessWaiting().authenticationBound = std::chrono::seconds(bound);
    for (const char answer : QByteArray(argv[2]))
        MessageBox::setNextAnswer(answer == 'Y' ? MessageBox::Answer::Yes : MessageBox::Answer::No);
    // A box nobody expected is counted and told, not waited on.
    MessageBox::setNextAnswer(MessageBox::Answer::Ok);
    TEditaliasesFrm editor(nullptr);
    auto *memo = editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"));
    memo->moveCursor(QTextCursor::End);
    memo->insertPlainText(QStringLiteral("\nadded = /srv/added.cvdb"));
    std::puts("read");
    std::fflush(stdout);
    char line[8];
    if (std::fgets(line, sizeof line, stdin))
        editor.findChild<QPushButton *>(QStringLiteral("BWriteConfig"))->click();
    for (const MessageBox::Shown &box : MessageBox::shownBoxes())
        std::fprintf(stderr, "box: %s\n", qPrintable(box.text));
    std::printf("boxes %d unsaved %d\n", int(MessageBox::shownBoxes().size()), int(memo->document()->isModified()));
}
