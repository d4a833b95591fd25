// Saving a large configuration document while the process is killed, while the
// file size limit cuts a write short, while the write calls misbehave, and while
// another writer works on the file: the file on disk must always be one whole
// version, never a mixture, and keep its mode; no change is lost unreported.

#include "conf_core/ConfLines.h"
#include "fileio/Companion.h"
#include "fileio/FileError.h"
#include "fileio/FileStamp.h"
#include "LoadedDocument.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"
#include "fileio/Waiting.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <limits>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr mode_t FileMode = 0640;

// Rewrites the file's content without replacing its inode, so hard links stay.
bool overwriteInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A server configuration of about `lines` lines: comments, blank lines and
// entries with blanks around "=" and remarks. `variant` makes every line of
// one version differ from the other's, so a mixture of two never passes as either.
QByteArray generatedConf(int lines, char variant)
{
    QByteArray text;
    text.reserve(qsizetype(lines) * 48);
    for (int i = 0; i < lines; ++i) {
        switch (i % 5) {
        case 0:
            text += "# " + QByteArray(1, variant) + " section " + QByteArray::number(i) + " of the server settings\n";
            break;
        case 1:
            text += "\n";
            break;
        default:
            text += "Param" + QByteArray(1, variant) + QByteArray::number(i) + " = value_" + QByteArray::number(i * 7)
                    + "   # remark " + QByteArray(1, variant) + "\n";
        }
    }
    return text;
}

// A killed in-place rewrite leaves the new text's beginning over the rest of
// the old one; its size was reserved first, so the rest reads as zeros at most.
bool isNewOverOld(const QByteArray &file, const QByteArray &oldText, const QByteArray &newText)
{
    if (file == newText || file == oldText)
        return true;
    const qsizetype reserved = std::max(oldText.size(), newText.size());
    if (file.size() != reserved)
        return false;
    qsizetype prefix = 0;
    while (prefix < newText.size() && file[prefix] == newText[prefix])
        ++prefix;
    const QByteArray oldPadded = oldText + QByteArray(reserved - oldText.size(), '\0');
    return file.sliced(prefix) == oldPadded.sliced(prefix);
}

// The write seam for the misbehaving-call cases.
enum class WriteFault { None, ShortAndInterrupted, NoSpaceAfter, ZeroAfter, FallocateNoSpace, FallocateUnsupported };
WriteFault fault = WriteFault::None;
qint64 faultOffset = 0;
qint64 writtenSoFar = 0;
int writeCalls = 0;

ssize_t faultyWrite(int fd, const void *data, size_t size)
{
    ++writeCalls;
    switch (fault) {
    case WriteFault::ShortAndInterrupted:
        if (writeCalls % 3 == 0) {
            errno = EINTR;
            return -1;
        }
        size = std::min<size_t>(size, 4093);
        break;
    case WriteFault::NoSpaceAfter:
    case WriteFault::ZeroAfter:
        if (writtenSoFar >= faultOffset) {
            if (fault == WriteFault::ZeroAfter)
                return 0;
            errno = ENOSPC;
            return -1;
        }
        size = std::min<size_t>(size, size_t(faultOffset - writtenSoFar));
        break;
    default:
        break;
    }
    const ssize_t written = ::write(fd, data, size);
    if (written > 0)
        writtenSoFar += written;
    return written;
}

// The stop seam: the saving child writes this many bytes, says so on the
// notice pipe and waits there for its kill, which then lands inside a write,
// or, given a release pipe, for a byte on it to go on.
qint64 stopAfter = 0;
int stopNotice = -1;
int stopRelease = -1;

ssize_t stoppingWrite(int fd, const void *data, size_t size)
{
    const ssize_t written = ::write(fd, data, std::min<size_t>(size, size_t(stopAfter - writtenSoFar)));
    if (written > 0)
        writtenSoFar += written;
    if (writtenSoFar == stopAfter) {
        if (::write(stopNotice, "s", 1) != 1)
            ::_exit(4);
        char byte = 0;
        while (stopRelease < 0 || ::read(stopRelease, &byte, 1) != 1)
            ::pause();
        stopAfter = std::numeric_limits<qint64>::max();
    }
    return written;
}

// Saves in a child: exit status 0 saved, 1 refused as changed, 2 failed otherwise.
pid_t saveInChild(ConfDocument &document, const QString &path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            SaveConfFile(document, encoded(path));
        } catch (const FileError &error) {
            ::_exit(error.kind() == FileError::Kind::Changed ? 1 : 2);
        }
        ::_exit(0);
    }
    return child;
}

int faultyFallocate(int fd, off_t offset, off_t size)
{
    if (fault == WriteFault::FallocateNoSpace)
        return ENOSPC;
    if (fault == WriteFault::FallocateUnsupported)
        return EOPNOTSUPP;
    return RealSafeWriteCalls().fallocate(fd, offset, size);
}

}  // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT

    // Old and new version: about 24 and 30 MB. The new one has values set in
    // the middle, so it is saved in several pieces.
    QByteArray m_oldText;
    QByteArray m_newText;
    ConfDocument m_oldDocument;
    ConfDocument m_newDocument;
    QTemporaryDir m_state;

    // Lays out corvane.conf (mode 0640, old content) and optionally a second name for it.
    void prepare(const QTemporaryDir &dir, bool hardLinked)
    {
        const QString path = dir.filePath("corvane.conf");
        QVERIFY(overwriteInPlace(path, m_oldText));
        QCOMPARE(::chmod(encoded(path).constData(), FileMode), 0);
        if (hardLinked)
            QCOMPARE(::link(encoded(path).constData(), encoded(dir.filePath("second-name.conf")).constData()), 0);
    }

private slots:
    void initTestCase()
    {
        // Companions that cannot lie beside a file go here, not to the tester's home.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", encoded(m_state.path()));
        m_oldDocument = loadedDocument(generatedConf(650000, 'a'));
        m_newDocument = loadedDocument(generatedConf(800000, 'b'));
        for (int i = 1; i <= 5; ++i)
            SetConfValue(m_newDocument, "Paramb" + QByteArray::number(i * 130002), "changed " + QByteArray::number(i));
        m_oldText = m_oldDocument.savedText();
        m_newText = m_newDocument.savedText();
        QVERIFY(m_newDocument.savedChunks().size() > 5);
        QVERIFY(m_oldText.size() > 20'000'000);
    }
    void cleanupTestCase() { qunsetenv("XDG_STATE_HOME"); }
    void cleanup() { SafeWriteSystemCalls() = RealSafeWriteCalls(); }

    void killedWhileSaving_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::newRow("replaced by rename") << false;
        QTest::newRow("hard-linked, rewritten in place") << true;
    }
    void killedWhileSaving()
    {
        QFETCH(bool, hardLinked);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        prepare(dir, hardLinked);
        const QString path = dir.filePath("corvane.conf");
        const struct stat initial = statOf(path);

        // The kills are spread over about four saves of the alternating versions.
        QTemporaryDir calibrationDir;
        QElapsedTimer timer;
        timer.start();
        SaveConfFile(m_newDocument, encoded(calibrationDir.filePath("calibration.conf")), IfChanged::Overwrite);
        const qint64 saveMicroseconds = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);

        const QRegularExpression leftoverName("^\\.corvane\\.conf\\.[A-Za-z0-9]{12}$");
        const QRegularExpression companionName("^\\.corvane\\.conf\\.unsaved-[A-Za-z0-9]{6}$");
        QRandomGenerator random(20261208);
        const int rounds = 40;
        int sawOld = 0, sawNew = 0, sawMixture = 0, killedMidSave = 0;
        for (int round = 0; round < rounds; ++round) {
            // Every other round stops the child inside its first save's writes
            // (in place: the companion's, then the file's), on the old version,
            // so what that kill leaves is known exactly. The other rounds kill
            // at a random moment, fsync and rename included.
            const bool stopped = round % 2 == 0;
            const bool stopInRewrite = hardLinked && round % 4 == 2;
            if (stopped)
                QVERIFY(overwriteInPlace(path, m_oldText));
            const qint64 stopAt = 1000 + random.bounded(m_newText.size() - 2000) + (stopInRewrite ? m_newText.size() : 0);
            int ready[2];
            QCOMPARE(::pipe(ready), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                // Alternates the two versions until it is killed.
                ::close(ready[0]);
                if (stopped) {
                    writtenSoFar = 0;
                    stopAfter = stopAt;
                    stopNotice = ready[1];
                    SafeWriteSystemCalls().write = stoppingWrite;
                }
                try {
                    if (::write(ready[1], "r", 1) != 1)
                        ::_exit(2);
                    for (;;) {
                        SaveConfFile(m_newDocument, encoded(path), IfChanged::Overwrite);
                        SaveConfFile(m_oldDocument, encoded(path), IfChanged::Overwrite);
                    }
                } catch (...) {
                    ::_exit(3);
                }
            }
            ::close(ready[1]);
            char byte = 0;
            QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
            if (stopped)
                QVERIFY2(::read(ready[0], &byte, 1) == 1 && byte == 's', "the saving child ended before its stop");
            else
                ::usleep(useconds_t(random.bounded(qint64(saveMicroseconds * 44 / 10))));
            ::close(ready[0]);
            QCOMPARE(::kill(child, SIGKILL), 0);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the saving child failed on its own");

            const QByteArray onDisk = readFile(path);
            const struct stat now = statOf(path);
            QCOMPARE(now.st_mode & 07777, FileMode);
            QCOMPARE(now.st_uid, initial.st_uid);
            QCOMPARE(now.st_gid, initial.st_gid);
            // Torn in place: the companion beside it holds the whole text the file was becoming.
            const QList<QByteArray> companions = LeftCompanions(encoded(path));
            const QByteArray kept = companions.size() == 1 ? readFile(QFile::decodeName(companions[0])) : QByteArray();
            if (stopped)
                QVERIFY2(stopInRewrite ? onDisk != m_oldText && onDisk != m_newText : onDisk == m_oldText,
                         qPrintable(QString("round %1: stopped after %2 bytes, the file holds %3 bytes")
                                        .arg(round).arg(stopAt).arg(onDisk.size())));
            if (onDisk == m_oldText) {
                ++sawOld;
            } else if (onDisk == m_newText) {
                ++sawNew;
            } else {
                QVERIFY2(hardLinked, qPrintable(QString("round %1: a mixture of versions, %2 bytes")
                                                    .arg(round).arg(onDisk.size())));
                QVERIFY2((kept == m_newText && isNewOverOld(onDisk, m_oldText, m_newText))
                             || (kept == m_oldText && isNewOverOld(onDisk, m_newText, m_oldText)),
                         qPrintable(QString("round %1: torn, and no whole companion holds what it became").arg(round)));
                ++sawMixture;
                // The next round starts from a whole version again.
                QVERIFY(overwriteInPlace(path, m_oldText));
            }

            // A killed process cannot remove its temporary or companion file; at most that one is left.
            QStringList entries = entriesOf(dir.path());
            QStringList expected{"corvane.conf"};
            if (hardLinked) {
                expected.append("second-name.conf");
                QCOMPARE(now.st_ino, initial.st_ino);
                QCOMPARE(now.st_nlink, nlink_t(2));
            }
            QStringList leftovers;
            for (const QString &entry : entries)
                if (!expected.contains(entry))
                    leftovers.append(entry);
            QVERIFY2(leftovers.size() <= 1, qPrintable(leftovers.join(", ")));
            QVERIFY2(!stopped || leftovers.size() == 1, "a save stopped inside a write left no temporary or companion");
            if (!leftovers.isEmpty()) {
                // In place, a companion is whole once it has its name, partial before.
                QVERIFY2(leftoverName.match(leftovers.first()).hasMatch()
                             || (hardLinked && companionName.match(leftovers.first()).hasMatch()),
                         qPrintable(leftovers.first()));
                QVERIFY(QFile::remove(dir.filePath(leftovers.first())));
                ++killedMidSave;
            }
        }
        qInfo("%d kills, save takes %lld ms: old %d, new %d, torn in place %d, temporary or companion left %d", rounds,
              saveMicroseconds / 1000, sawOld, sawNew, sawMixture, killedMidSave);
        QVERIFY(entriesOf(m_state.path()).isEmpty());
    }

    void fileSizeLimit_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("fits");
        const qint64 size = m_newText.size();
        const qint64 firstPiece = m_newDocument.savedChunks().front().size();
        QTest::newRow("rename: 1 byte") << false << qint64(1) << false;
        QTest::newRow("rename: inside the first piece") << false << firstPiece / 2 << false;
        QTest::newRow("rename: at the end of the first piece") << false << firstPiece << false;
        QTest::newRow("rename: inside a set line") << false << firstPiece + 3 << false;
        QTest::newRow("rename: one byte short") << false << size - 1 << false;
        QTest::newRow("rename: exactly the size") << false << size << true;
        QTest::newRow("in place: between old and new size") << true << (m_oldText.size() + size) / 2 << false;
        QTest::newRow("in place: exactly the size") << true << size << true;
    }
    void fileSizeLimit()
    {
        QFETCH(bool, hardLinked);
        QFETCH(qint64, limit);
        QFETCH(bool, fits);
        QTemporaryDir dir;
        prepare(dir, hardLinked);
        const QString path = dir.filePath("corvane.conf");
        const struct stat before = statOf(path);

        // The limit applies to the child only; the report comes back through a pipe.
        int report[2];
        QCOMPARE(::pipe(report), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(report[0]);
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limited {};
            ::getrlimit(RLIMIT_FSIZE, &limited);
            limited.rlim_cur = rlim_t(limit);
            QByteArray outcome = "saved";
            if (::setrlimit(RLIMIT_FSIZE, &limited) != 0) {
                outcome = "setrlimit failed";
            } else {
                try {
                    SaveConfFile(m_newDocument, encoded(path), IfChanged::Overwrite);
                } catch (const FileError &error) {
                    outcome = "error " + QByteArray::number(int(error.kind())) + ": " + error.message().toUtf8();
                }
            }
            const bool sent = ::write(report[1], outcome.constData(), size_t(outcome.size())) == outcome.size();
            ::_exit(sent ? 0 : 1);
        }
        ::close(report[1]);
        QByteArray outcome;
        char buffer[256];
        for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
            outcome.append(buffer, got);
        ::close(report[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const struct stat after = statOf(path);
        if (fits) {
            QCOMPARE(outcome, QByteArray("saved"));
            QVERIFY(readFile(path) == m_newText);
        } else {
            QCOMPARE(outcome, "error " + QByteArray::number(int(FileError::Kind::Write)) + ": Stream-Schreibfehler");
            QVERIFY2(readFile(path) == m_oldText, "the old content did not survive");
        }
        QCOMPARE(after.st_mode & 07777, FileMode);
        QStringList expected{"corvane.conf"};
        if (hardLinked) {
            expected.append("second-name.conf");
            QCOMPARE(after.st_ino, before.st_ino);
        }
        QCOMPARE(entriesOf(dir.path()), expected);
    }

    void misbehavingWrites_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<int>("which");
        QTest::addColumn<double>("at");  // where in the text the fault strikes
        QTest::addColumn<bool>("fits");
        QTest::newRow("short writes and EINTR are resumed") << false << int(WriteFault::ShortAndInterrupted) << 0.0 << true;
        QTest::newRow("no space at the start") << false << int(WriteFault::NoSpaceAfter) << 0.0 << false;
        QTest::newRow("no space in a later piece") << false << int(WriteFault::NoSpaceAfter) << 0.6 << false;
        QTest::newRow("no space at the last byte") << false << int(WriteFault::NoSpaceAfter) << 0.9999999 << false;
        QTest::newRow("write returns 0 midway") << false << int(WriteFault::ZeroAfter) << 0.5 << false;
        QTest::newRow("in place: short writes and EINTR") << true << int(WriteFault::ShortAndInterrupted) << 0.0 << true;
        QTest::newRow("in place: reserving finds no space") << true << int(WriteFault::FallocateNoSpace) << 0.0 << false;
        QTest::newRow("in place: reserving unsupported") << true << int(WriteFault::FallocateUnsupported) << 0.0 << true;
    }
    void misbehavingWrites()
    {
        QFETCH(bool, hardLinked);
        QFETCH(int, which);
        QFETCH(double, at);
        QFETCH(bool, fits);
        QTemporaryDir dir;
        prepare(dir, hardLinked);
        const QString path = dir.filePath("corvane.conf");
        const struct stat before = statOf(path);

        fault = WriteFault(which);
        faultOffset = qint64(double(m_newText.size()) * at);
        writtenSoFar = 0;
        writeCalls = 0;
        SafeWriteSystemCalls().write = faultyWrite;
        SafeWriteSystemCalls().fallocate = faultyFallocate;
        QString message;
        try {
            SaveConfFile(m_newDocument, encoded(path), IfChanged::Overwrite);
        } catch (const FileError &error) {
            message = error.message();
        }
        SafeWriteSystemCalls() = RealSafeWriteCalls();

        if (fits) {
            QCOMPARE(message, QString());
            QVERIFY(readFile(path) == m_newText);
        } else {
            QCOMPARE(message, QString("Stream-Schreibfehler"));
            QVERIFY2(readFile(path) == m_oldText, "the old content did not survive");
        }
        const struct stat after = statOf(path);
        QCOMPARE(after.st_mode & 07777, FileMode);
        QStringList expected{"corvane.conf"};
        if (hardLinked) {
            expected.append("second-name.conf");
            QCOMPARE(after.st_ino, before.st_ino);
        }
        QCOMPARE(entriesOf(dir.path()), expected);
    }

    // A second writer while a save of ConnectionTimeout=111 is stopped inside
    // its write: cvconf waits and adds its value; a window's save of what it
    // read before waits and is refused; an append by a program that takes no
    // lock makes the stopped save refuse. Killed in its rewrite, the stopped
    // save leaves a torn file and its companion: cvconf writes nothing.
    void secondWriterDuringSave_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<bool>("inRewrite");  // stopped rewriting the file, else in its temporary or companion
        QTest::addColumn<QString>("second");
        QTest::addColumn<QByteArray>("added");  // after the stopped save's text, or the old one where it is refused
        QTest::addColumn<bool>("killed");       // the stopped save is killed instead of let go on
        QTest::newRow("cvconf during a rename") << false << false << "cvconf" << QByteArray("LockSignal=2\n") << false;
        QTest::newRow("cvconf during a rewrite in place") << true << true << "cvconf" << QByteArray("LockSignal=2\n") << false;
        QTest::newRow("a window during a rename") << false << false << "window" << QByteArray() << false;
        QTest::newRow("an append during a rename") << false << false << "append" << QByteArray("LockSignal=99\n") << false;
        QTest::newRow("an append during a companion's write") << true << false << "append" << QByteArray("LockSignal=99\n") << false;
        QTest::newRow("cvconf after a rewrite in place was killed") << true << true << "cvconf" << QByteArray() << true;
    }
    void secondWriterDuringSave()
    {
        QFETCH(bool, hardLinked);
        QFETCH(bool, inRewrite);
        QFETCH(QString, second);
        QFETCH(QByteArray, added);
        QFETCH(bool, killed);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        const QByteArray oldText = generatedConf(20000, 'a');
        QVERIFY(overwriteInPlace(path, oldText));
        if (hardLinked)
            QCOMPARE(::link(encoded(path).constData(), encoded(dir.filePath("second-name.conf")).constData()), 0);
        ConfDocument first, window;
        LoadConfFile(first, encoded(path));
        LoadConfFile(window, encoded(path));
        SetConfValue(first, "ConnectionTimeout", "111");
        SetConfValue(window, "LockSignal", "2");

        int notice[2], release[2];
        QVERIFY(::pipe(notice) == 0 && ::pipe(release) == 0);
        writtenSoFar = 0;
        stopAfter = first.savedText().size() * (inRewrite ? 3 : 1) / 2;
        stopNotice = notice[1];
        stopRelease = release[0];
        SafeWriteSystemCalls().write = stoppingWrite;
        const pid_t stopped = saveInChild(first, path);
        SafeWriteSystemCalls() = RealSafeWriteCalls();
        int stoppedEnd = -1, secondEnd = -1;
        const auto reap = qScopeGuard([&] {
            if (stoppedEnd < 0 && ::kill(stopped, SIGKILL) == 0)
                ::waitpid(stopped, nullptr, 0);
        });
        char byte = 0;
        QVERIFY2(::read(notice[0], &byte, 1) == 1, "the stopped save ended before its stop");
        QCOMPARE(LeftCompanions(encoded(path)), QList<QByteArray>());  // in progress, not left

        // The second writer says here that it waits: a window's save through
        // the notice of its wait, cvconf on its standard error.
        int told[2];
        QVERIFY(::pipe(told) == 0);
        ProcessWaiting().noticed = [&](const WaitReason &) { (void)!::write(told[1], "w", 1); };
        pid_t writer = second == "window" ? saveInChild(window, path) : second == "cvconf" ? ::fork() : -1;
        ProcessWaiting().noticed = nullptr;
        if (writer == 0) {
            ::dup2(told[1], STDERR_FILENO);
            ::execl(CV_CVCONF, CV_CVCONF, "--file", encoded(path).constData(), "set", "LockSignal=2", nullptr);
            ::_exit(127);
        }
        ::close(told[1]);
        QFile file(path);
        if (second == "append")
            QVERIFY(file.open(QIODevice::Append) && file.write(added) == added.size() && file.flush());
        pollfd waiting{told[0], POLLIN, 0};
        QVERIFY2(writer < 0 || ::poll(&waiting, 1, 60000) == 1, "the second writer never said it waits");
        QVERIFY(killed || ::write(release[1], "g", 1) == 1);
        QVERIFY(::kill(stopped, killed ? SIGKILL : 0) == 0 && ::waitpid(stopped, &stoppedEnd, 0) == stopped);
        if (writer > 0)
            ::waitpid(writer, &secondEnd, 0);
        QByteArray said(4096, '\0');
        said.truncate(std::max<ssize_t>(::read(told[0], said.data(), size_t(said.size())), 0));
        for (int fd : {notice[0], notice[1], release[0], release[1], told[0]})
            ::close(fd);
        if (killed) {
            const QList<QByteArray> left = LeftCompanions(encoded(path));
            QVERIFY2(WIFEXITED(secondEnd) && WEXITSTATUS(secondEnd) == 3, said.constData());
            QVERIFY2(left.size() == 1 && said.contains(left[0] + " (for " + encoded(path) + ")"), said.constData());
            QVERIFY(readFile(QFile::decodeName(left[0])) == first.savedText());
            QVERIFY(!readFile(path).contains("LockSignal=2"));
            return;
        }

        // Exit status 1: refused as changed.
        QVERIFY(WIFEXITED(stoppedEnd) && WEXITSTATUS(stoppedEnd) == (second == "append" ? 1 : 0));
        QVERIFY(second == "append" || (WIFEXITED(secondEnd) && WEXITSTATUS(secondEnd) == (second == "window" ? 1 : 0)));
        QVERIFY(readFile(path) == (second == "append" ? oldText : first.savedText()) + added);
        QCOMPARE(entriesOf(dir.path()).size(), hardLinked ? 2 : 1);
    }

    // A hard-linked file, so rewritten in place, on a tmpfs of 128 KiB.
    void fullFileSystem_data()
    {
        QTest::addColumn<int>("oldKiB");
        QTest::addColumn<int>("newKiB");
        QTest::addColumn<bool>("reservesNothing");  // fallocate succeeds without room, as over quota on copy-on-write
        QTest::addColumn<QString>("outcome");
        QTest::newRow("room for the companion and the growth: saved") << 40 << 60 << false << "saved";
        QTest::newRow("no room to grow: the old content stays") << 80 << 140 << false << "old";
        QTest::newRow("room promised, then the disk fills: the new content waits in the state directory")
            << 80 << 140 << true << "companion";
    }
    void fullFileSystem()
    {
        QFETCH(int, oldKiB);
        QFETCH(int, newKiB);
        QFETCH(bool, reservesNothing);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        const QString mount = dir.filePath("small"), path = mount + "/corvane.conf";
        QVERIFY(QDir(dir.path()).mkdir("small"));
        if (::mount("tmpfs", encoded(mount).constData(), "tmpfs", 0, "size=128k") != 0)
            QSKIP(qPrintable("cannot mount a small tmpfs here: " + QString::fromLocal8Bit(std::strerror(errno))));
        const auto unmount = qScopeGuard([&] { ::umount2(encoded(mount).constData(), MNT_DETACH); });
        const QByteArray oldText(oldKiB * 1024, 'o'), newText(newKiB * 1024, 'n');
        QVERIFY(overwriteInPlace(path, oldText));
        QCOMPARE(::link(encoded(path).constData(), encoded(mount + "/second-name.conf").constData()), 0);
        if (reservesNothing)
            SafeWriteSystemCalls().fallocate = [](int, off_t, off_t) { return 0; };
        QString message;
        FileStamp asRead;
        ReadWholeFile(encoded(path), &asRead);
        try {
            WriteFileSafely(encoded(path), newText, asRead, IfChanged::Refuse);
        } catch (const FileError &error) {
            message = error.message();
        }
        const QList<QByteArray> companions = LeftCompanions(encoded(path));
        if (outcome == "companion") {
            QCOMPARE(companions.size(), 1);
            const QString kept = QFile::decodeName(companions[0]);
            QVERIFY2(kept.startsWith(m_state.path() + "/cvconfmanager/"), qPrintable(kept));
            QVERIFY(readFile(kept) == newText);
            QVERIFY2(message.startsWith("Stream-Schreibfehler") && message.contains(kept), qPrintable(message));
            QVERIFY(QFile::remove(kept));
        } else {
            QCOMPARE(message, outcome == "saved" ? QString() : QString("Stream-Schreibfehler"));
            QVERIFY(readFile(path) == (outcome == "saved" ? newText : oldText));
            QCOMPARE(companions, QList<QByteArray>());
        }
        QCOMPARE(entriesOf(mount), (QStringList{"corvane.conf", "second-name.conf"}));
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
