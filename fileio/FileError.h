#pragma once
// The runtime's file errors. Their texts are fixed German messages that the
// general error handler shows; the path and the system's reason are inserted.

#include <QByteArray>
#include <QString>
#include <stdexcept>

class FileError : public std::runtime_error {
public:
    enum class Kind { Open, Create, Write, Changed };

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
    // An error another process reported in its text.
    static FileError reported(Kind kind, const QString &message);

    Kind kind() const { return m_kind; }
    const QString &message() const { return m_message; }
    // The system refused the file to this user (EACCES, EPERM), where another
    // user may be let in.
    bool deniedPermission() const;

private:
    FileError(Kind kind, const QString &message, int errorNumber = 0);
    Kind m_kind;
    QString m_message;
    int m_errorNumber;
};

// An error's text as it is reported, in a box or on standard error: a full
// stop appended when the last character sorts after ".".
QString ErrorBoxText(const QString &description);

// The operating system's description of an error number, in the user's locale.
QString SystemErrorText(int errorNumber);

// Reasons the operating system has no error number for.
QString NotRegularFileText();  // a FIFO, socket, device or directory where a file belongs
QString NeverReadText();       // a document that no read has filled
QString TooLargeText();        // more than LargestFileSize bytes (ReadFile.h)

// A path made absolute without resolving links, "." and empty components left out.
QByteArray AbsolutePath(const QByteArray &path);
// A path after every link, as far as this process may resolve it: a missing
// file's name in its folder's real path; only made absolute where not even
// the folder can be resolved.
QByteArray ResolvedPath(const QByteArray &path);
// A path as shown in messages: absolute, without "." or empty components
// (links are not resolved, so ".." stays), converted from the locale's charset.
QString DisplayPath(const QByteArray &path);
