#pragma once
// The runtime's file errors. Their texts are fixed German messages that the
// general error handler shows; the path and the system's reason are inserted.
// The errors of waiting and of a save left unfinished are this program's
// own, in English, with what they name kept beside the text.

#include "fileio/Waiting.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <stdexcept>

class FileError : public std::runtime_error {
public:
    enum class Kind { Open, Create, Write, Changed, Locked, Unfinished };

    // "Datei %s kann nicht geöffnet werden. %s"
    static FileError openFailed(const QByteArray &path, int errorNumber);
    static FileError openFailed(const QByteArray &path, const QString &reason);
    // "Datei "%s" kann nicht erstellt werden. %s"
    static FileError createFailed(const QByteArray &path, int errorNumber);
    static FileError createFailed(const QByteArray &path, const QString &reason);
    // "Stream-Schreibfehler"
    static FileError writeFailed();
    // "Stream-Schreibfehler", and where the whole new content is kept
    static FileError writeFailedKeptIn(const QByteArray &companion);
    // The file is no longer the one that was read: another program wrote it.
    static FileError changedSinceRead(const QByteArray &path);
    // Another process held the file's lock for longer than this one waits:
    // "The file %1 is locked by %2; nothing was written".
    static FileError lockedBy(const QByteArray &path, const std::optional<LockHolder> &holder);
    // Companions of the file that killed saves left: the file may be torn,
    // and only its companion holds what it was becoming.
    static FileError unfinishedSave(const QByteArray &path, const QList<QByteArray> &companions);
    // An error another process reported in its text.
    static FileError reported(Kind kind, const QString &message);

    Kind kind() const { return m_kind; }
    const QString &message() const { return m_message; }
    // What the error names, where it is one of this program's own.
    const QByteArray &path() const { return m_path; }
    const std::optional<LockHolder> &holder() const { return m_holder; }
    const QList<QByteArray> &companions() const { return m_companions; }
    // The system refused the file to this user (EACCES, EPERM), where another
    // user may be let in.
    bool deniedPermission() const;

private:
    FileError(Kind kind, const QString &message, int errorNumber = 0);
    Kind m_kind;
    QString m_message;
    int m_errorNumber;
    QByteArray m_path;
    std::optional<LockHolder> m_holder;
    QList<QByteArray> m_companions;
};

// An error's text as it is reported, in a box or on standard error: a full
// stop appended when the last character sorts after ".".
QString ErrorBoxText(const QString &description);

// The operating system's description of an error number, in the user's locale.
QString SystemErrorText(int errorNumber);

// Reasons the operating system has no error number for.
QString NotRegularFileText();  // a FIFO, socket, device or directory where a file belongs
QString NeverReadText();       // a document that no read has filled

// A path made absolute without resolving links, "." and empty components left out.
QByteArray AbsolutePath(const QByteArray &path);
// A path as shown in messages: absolute, without "." or empty components
// (links are not resolved, so ".." stays), converted from the locale's charset.
QString DisplayPath(const QByteArray &path);
