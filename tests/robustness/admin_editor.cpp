// The aliases editor on the file in argv[1], as an unprivileged user would run
// it: its boxes answered by argv[2] (Y yes, N no, one letter a box), a line
// typed, then a save once standard input gives a line (the test may change
// the file before). Prints each box's text and whether the text is unsaved.

#include "conf_core/StartupChecks.h"
#include "ui/Editaliases.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 3)
        return 2;
    AliasesFileName = argv[1];
    for (const char answer : QByteArray(argv[2]))
        MessageBox::setNextAnswer(answer == 'Y' ? MessageBox::Answer::Yes : MessageBox::Answer::No);
    TEditaliasesFrm editor(nullptr);
    auto *memo = editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"));
    memo->moveCursor(QTextCursor::End);
    memo->insertPlainText(QStringLiteral("\nadded = /srv/added.cvdb"));
    std::puts("read");
    std::fflush(stdout);
    char line[8];
    if (!std::fgets(line, sizeof line, stdin))
        return 2;
    editor.findChild<QPushButton *>(QStringLiteral("BWriteConfig"))->click();
    for (const MessageBox::Shown &box : MessageBox::shownBoxes())
        std::printf("box: %s\n", box.text.toUtf8().constData());
    std::printf("unsaved: %d\n", int(memo->document()->isModified()));
    return 0;
}
