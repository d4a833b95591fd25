#pragma once
// Desktop services: handing a document or address to the desktop's opener.

#include <QString>

// The desktop's document opener and its sub-command, chosen when the program
// starts from the search path it was given.
extern QString DocumentOpenerCommand;

// "kfmclient exec" when an executable kfmclient lies on the search path,
// otherwise "xdg-open".
QString ChooseDocumentOpener(const QByteArray &searchPath);

// Starts the opener on the target in the background through the shell.
// Every character that is special inside double quotes is escaped, so no
// input can leave its quotes. Returns 0 when the shell cannot be run at all,
// 1 otherwise.
int LaunchDocument(const QString &operation, const QString &target,
                   const QString &parameters = QString(), const QString &directory = QString());
