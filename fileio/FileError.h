#pragma once
// The file errors. Each keeps its message and what goes into it, so that it
// can be told in two forms: the fixed text that the windows and the helper
// show (the runtime's German messages, and this program's own in English),
// and cvconf's text in the user's language.

#include "fileio/Waiting.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <stdexcept>

// A message about a file: its key in the language file's language sections,
// the text the windows show in every language (UTF-8), and the built-in
// English that cvconf shows where the current language has no text under the
// key. "%1" and "%2" stand for its arguments. A new message is one line here,
// its name in All, and its key in the shipped language file.
struct FileMessage {
    const char *key;
    const char *fixed;
    const char *english;
};

namespace FileMessages {
inline constexpr FileMessage OpenFailed{"CVConf_OpenFailed", "Datei %1 kann nicht geöffnet werden. %2",
                                        "File %1 cannot be opened. %2"};
inline constexpr FileMessage CreateFailed{"CVConf_CreateFailed", "Datei \"%1\" kann nicht erstellt werden. %2",
                                          "File \"%1\" cannot be created. %2"};
inline constexpr FileMessage WriteFailed{"CVConf_WriteFailed", "Stream-Schreibfehler", "Stream write error"};
inline constexpr FileMessage WriteFailedKeptIn{
    "CVConf_WriteFailedKeptIn",
    "Stream-Schreibfehler. Die Datei ist womöglich unvollständig; der neue Inhalt steht vollständig in \"%1\"",
    "Stream write error. The file may be incomplete; the whole new content is in \"%1\""};
inline constexpr FileMessage ChangedSinceRead{"CVConf_ChangedSinceRead",
                                              "Datei \"%1\" wurde seit dem Lesen von einem anderen Programm geändert",
                                              "File \"%1\" was changed by another program since it was read"};
// Reasons the operating system has no error number for.
inline constexpr FileMessage NotRegularFile{"CVConf_NotRegularFile", "Keine reguläre Datei", "Not a regular file"};
inline constexpr FileMessage NeverRead{"CVConf_NeverRead", "Die Datei wurde nicht gelesen", "The file was not read"};
// More than LargestFileSize (ReadFile.h) bytes.
inline constexpr FileMessage TooLarge{"CVConf_TooLarge", "Größer als 256 MiB, die größte Datei, die dieses Programm öffnet",
                                      "Larger than 256 MiB, the largest file this program opens"};
// The report of companions that killed saves left (see Companion.h).
inline constexpr FileMessage CompanionsLeft{
    "CVConf_CompanionsLeft", "A save did not finish. The whole content it was writing is kept in:",
    "A save did not finish. The whole content it was writing is kept in:"};
inline constexpr FileMessage CompanionOf{"CVConf_CompanionOf", "%1 (for %2)", "%1 (for %2)"};
inline constexpr FileMessage CompanionAdvice{
    "CVConf_CompanionAdvice",
    "Compare it with the file it belongs to, and remove it when you no longer need it.",
    "Compare it with the file it belongs to, and remove it when you no longer need it."};
// Waiting for another process's lock (Waiting.h), and giving up on it; "%2"
// is the holder's process number, with its command where the system tells.
inline constexpr FileMessage WaitingForLock{"CVConf_WaitingForLock", "Waiting for the lock on %1, held by process %2",
                                            "Waiting for the lock on %1, held by process %2"};
inline constexpr FileMessage WaitingForUnknownLock{
    "CVConf_WaitingForUnknownLock", "Waiting for the lock on %1; the system does not tell who holds it",
    "Waiting for the lock on %1; the system does not tell who holds it"};
inline constexpr FileMessage LockedBy{"CVConf_LockedBy", "The file %1 is locked by process %2; nothing was written",
                                      "The file %1 is locked by process %2; nothing was written"};
inline constexpr FileMessage LockedByUnknown{"CVConf_LockedByUnknown",
                                             "The file %1 is locked by another program; nothing was written",
                                             "The file %1 is locked by another program; nothing was written"};

inline constexpr std::array All{&OpenFailed,     &CreateFailed, &WriteFailed,    &WriteFailedKeptIn,
                                &ChangedSinceRead, &NotRegularFile, &NeverRead, &TooLarge, &CompanionsLeft,
                                &CompanionOf,    &CompanionAdvice, &WaitingForLock, &WaitingForUnknownLock,
                                &LockedBy,       &LockedByUnknown};
}  // namespace FileMessages

// How a message is told: FixedText, or cvconf's text in the current language.
using MessageForm = QString (*)(const FileMessage &);
QString FixedText(const FileMessage &message);

// What a wait (Waiting.h) is for, as a line of text in the form given.
QString WaitText(const WaitReason &reason, MessageForm form = FixedText);

// The text with "%1" to "%9" replaced by the arguments in one pass, so that
// a "%1" inside an argument stays as it is.
QString WithArguments(const QString &text, const QStringList &arguments);

class FileError : public std::runtime_error {
public:
    enum class Kind { Open, Create, Write, Changed, Locked, Unfinished };

    // OpenFailed, with the system's reason or one of its own
    static FileError openFailed(const QByteArray &path, int errorNumber);
    static FileError openFailed(const QByteArray &path, const FileMessage &reason);
    // With a reason of the helper's own, which only the windows show.
    static FileError openFailed(const QByteArray &path, const QString &reason);
    // CreateFailed
    static FileError createFailed(const QByteArray &path, int errorNumber);
    static FileError createFailed(const QByteArray &path, const FileMessage &reason);
    static FileError createFailed(const QByteArray &path, const QString &reason);
    static FileError writeFailed();
    // WriteFailedKeptIn: where the whole new content is kept
    static FileError writeFailedKeptIn(const QByteArray &companion);
    // The file is no longer the one that was read: another program wrote it.
    static FileError changedSinceRead(const QByteArray &path);
    // Another process held the file's lock for longer than this one waits.
    static FileError lockedBy(const QByteArray &path, const std::optional<LockHolder> &holder);
    // Companions of the file that killed saves left: the file may be torn,
    // and only its companion holds what it was becoming.
    static FileError unfinishedSave(const QByteArray &path, const QList<QByteArray> &companions);
    // An error another process reported in its text, told as it is.
    static FileError reported(Kind kind, const QString &message);

    Kind kind() const { return m_kind; }
    // As the windows' error box and the helper tell it.
    QString message() const { return text(FixedText); }
    QString text(MessageForm form) const;
    // The system refused the file to this user (EACCES, EPERM), where another
    // user may be let in.
    bool deniedPermission() const;

private:
    // A path or the system's reason as shown, or a message told in the error's form.
    struct Argument {
        QString shown;
        const FileMessage *message = nullptr;
    };
    FileError(Kind kind, const FileMessage *message, const QList<Argument> &arguments, int errorNumber = 0);
    static QString text(MessageForm form, const FileMessage *message, const QList<Argument> &arguments);

    Kind m_kind;
    const FileMessage *m_message;  // null: the one argument is the whole text
    QList<Argument> m_arguments;
    int m_errorNumber;
    // An unfinished save's report is told with the companions in the error's form.
    QByteArray m_path;
    QList<QByteArray> m_companions;
};

// An error's text as it is reported, in a box or on standard error: a full
// stop appended when the last character sorts after ".".
QString ErrorBoxText(const QString &description);

// The operating system's description of an error number, in the user's locale.
QString SystemErrorText(int errorNumber);

// A path made absolute without resolving links, "." and empty components left out.
QByteArray AbsolutePath(const QByteArray &path);
// A path after every link, as far as this process may resolve it: a missing
// file's name in its folder's real path; only made absolute where not even
// the folder can be resolved.
QByteArray ResolvedPath(const QByteArray &path);
// A path as shown in messages: absolute, without "." or empty components
// (links are not resolved, so ".." stays), converted from the locale's charset.
QString DisplayPath(const QByteArray &path);
