#pragma once
// Desktop services: handing a document or address to the desktop's opener.

#include <QString>

// The desktop's document opener and its sub-command, chosen when the program
// starts from the search path it was given.
extern QString DocumentOpenerCommand;

// "kfmclient exec" when an executable kfmclient lies on the search path,
// otherwise "xdg-open".
QString ChooseDocumentOpener(const QByteArray &searchPath);

// What LaunchDocument did.
enum LaunchResult {
    LaunchFailed = 0,   // the shell could not be run
    LaunchStarted = 1,  // the shell started the opener in the background
    // Running as root, with no user to start the opener as (PKEXEC_UID, else
    // SUDO_UID, naming a user other than root) or none that could be become:
    // nothing was started, so the caller shows the target instead.
    LaunchNotAsRoot = 2,
};

// Starts the opener on the target in the background through the shell.
// Every character that is special inside double quotes is escaped, so no
// input can leave its quotes. A browser never runs as root: as root, the
// shell runs as the user who started the program through pkexec or sudo,
// with that user's groups, home and session folder.
LaunchResult LaunchDocument(const QString &operation, const QString &target,
                            const QString &parameters = QString(), const QString &directory = QString());
