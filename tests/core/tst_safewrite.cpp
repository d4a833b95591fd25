// Replacing a file safely: what survives a success (path, links, owner, mode)
// and what survives every kind of failure (the previous content, whole).

#include "fileio/FileError.h"
#include "fileio/FileStamp.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const QByteArray OldContent = "old content\nof the file\n";
const QByteArray NewContent = QByteArray("new content, rather longer than before\n").repeated(50);

// What a load of the path would record; nothing there when no file is.
FileStamp stampAsRead(const QString &path)
{
    FileStamp stamp;
    if (QFile::exists(path))
        ReadWholeFile(encoded(path), &stamp);
    return stamp;
}

// Which call of the seam fails, and how.
enum class Failing {
    None, Write, Fsync, Fchmod, Close, Rename, Fchown, OpenTemporaryDenied, OpenTemporaryNoSpace,
    RenameBusy, RenameCrossDevice, RenameNotPermitted, SetAttribute, OwnerLostThenDiskFull
};
Failing failing = Failing::None;
bool ownerLost = false;

int failingOpenat(int directory, const char *name, int flags, mode_t mode)
{
    // The file's own directory refuses; the state directory, named by path, does not.
    if (failing == Failing::OpenTemporaryDenied && name[0] == '.') {
        errno = EACCES;
        return -1;
    }
    if (failing == Failing::OpenTemporaryNoSpace) {
        errno = ENOSPC;
        return -1;
    }
    return RealSafeWriteCalls().openat(directory, name, flags, mode);
}
ssize_t failingWrite(int fd, const void *data, size_t size)
{
    if (failing == Failing::Write || (failing == Failing::OwnerLostThenDiskFull && ownerLost)) {
        // Half of it, then the disk is full.
        static bool half = true;
        half = !half;
        if (!half && size > 1)
            return ::write(fd, data, size / 2);
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, data, size);
}
int failingFsync(int fd)
{
    if (failing == Failing::Fsync) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}
int failingFchmod(int fd, mode_t mode)
{
    if (failing == Failing::Fchmod) {
        errno = EPERM;
        return -1;
    }
    return ::fchmod(fd, mode);
}
int failingClose(int fd)
{
    const int result = ::close(fd);
    if (failing == Failing::Close) {
        errno = EIO;
        return -1;
    }
    return result;
}
int failingRenameat(int fromDirectory, const char *from, int toDirectory, const char *to)
{
    switch (failing) {
    case Failing::Rename: errno = EIO; return -1;
    case Failing::RenameBusy: errno = EBUSY; return -1;
    case Failing::RenameCrossDevice: errno = EXDEV; return -1;
    case Failing::RenameNotPermitted: errno = EPERM; return -1;
    default: break;
    }
    return ::renameat(fromDirectory, from, toDirectory, to);
}
int failingFchown(int fd, uid_t owner, gid_t group)
{
    if (failing == Failing::Fchown || failing == Failing::OwnerLostThenDiskFull) {
        ownerLost = true;
        errno = EPERM;
        return -1;
    }
    return ::fchown(fd, owner, group);
}

int failingFsetxattr(int fd, const char *name, const void *value, size_t size, int flags)
{
    if (failing == Failing::SetAttribute) {
        errno = EPERM;
        return -1;
    }
    return ::fsetxattr(fd, name, value, size, flags);
}

// Every extended attribute of the file (the ACL is one), by name.
QMap<QByteArray, QByteArray> attributesOf(const QString &path)
{
    QMap<QByteArray, QByteArray> attributes;
    const QByteArray name = encoded(path);
    QByteArray list(65536, '\0');
    const ssize_t size = ::llistxattr(name.constData(), list.data(), size_t(list.size()));
    if (size < 0)
        return attributes;
    list.truncate(size);
    for (const QByteArray &key : list.split('\0')) {
        if (key.isEmpty())
            continue;
        QByteArray value(65536, '\0');
        const ssize_t got = ::lgetxattr(name.constData(), key.constData(), value.data(), size_t(value.size()));
        value.truncate(got < 0 ? 0 : got);
        attributes.insert(key, value);
    }
    return attributes;
}

// Runs a shell command that sets up a case; its error output when it fails.
QString setUp(const QString &command)
{
    QProcess shell;
    shell.start("sh", {"-c", command});
    if (!shell.waitForFinished(30000))
        return "did not finish: " + command;
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        return command + ": " + QString::fromLocal8Bit(shell.readAllStandardError()).trimmed();
    return {};
}

}  // namespace

class TestSafeWrite : public QObject {
    Q_OBJECT

    QTemporaryDir m_state;

private slots:
    void initTestCase()
    {
        // Companions that cannot lie beside a file go here, not to the tester's home.
        QVERIFY(m_state.isValid());
        qputenv("XDG_STATE_HOME", encoded(m_state.path()));
    }
    void cleanupTestCase() { qunsetenv("XDG_STATE_HOME"); }
    void init()
    {
        failing = Failing::None;
        ownerLost = false;
        SafeWriteCalls &calls = SafeWriteSystemCalls();
        calls.openat = failingOpenat;
        calls.write = failingWrite;
        calls.fsync = failingFsync;
        calls.fchmod = failingFchmod;
        calls.close = failingClose;
        calls.renameat = failingRenameat;
        calls.fchown = failingFchown;
        calls.fsetxattr = failingFsetxattr;
    }
    void cleanup() { SafeWriteSystemCalls() = RealSafeWriteCalls(); }

    void newFileGetsModeLessUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("umask 022") << 022 << 0644;
        QTest::newRow("umask 077") << 077 << 0600;
        QTest::newRow("umask 002") << 002 << 0664;
    }
    void newFileGetsModeLessUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath("new.conf");
        const mode_t previous = ::umask(mode_t(mask));
        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        ::umask(previous);
        QCOMPARE(readFile(path), NewContent);
        QCOMPARE(int(statOf(path).st_mode & 07777), mode);
        QCOMPARE(entriesOf(dir.path()), QStringList{"new.conf"});
    }

    void existingFileKeepsOwnerAndMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherOwner");
        QTest::newRow("0600") << 0600 << false;
        QTest::newRow("0640") << 0640 << false;
        QTest::newRow("0640 other owner") << 0640 << true;
        QTest::newRow("setgid 02755 other owner") << 02755 << true;
    }
    void existingFileKeepsOwnerAndMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherOwner);
        if (otherOwner && ::geteuid() != 0)
            QSKIP("giving a file to another owner needs root");
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        if (otherOwner)
            QCOMPARE(::chown(encoded(path).constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(encoded(path).constData(), mode_t(mode)), 0);
        const struct stat before = statOf(path);

        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);

        const struct stat after = statOf(path);
        QCOMPARE(readFile(path), NewContent);
        QCOMPARE(int(after.st_mode & 07777), mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QVERIFY2(after.st_ino != before.st_ino, "a single-link file is replaced by rename");
        QCOMPARE(entriesOf(dir.path()), QStringList{"corvane.conf"});
    }

    void symbolicLinksAreFollowed_data()
    {
        QTest::addColumn<QStringList>("chain");  // link names, each pointing at the next, the last at real.conf
        QTest::newRow("one absolute link") << QStringList{"link.conf"};
        QTest::newRow("chain of two") << QStringList{"first.conf", "second.conf"};
    }
    void symbolicLinksAreFollowed()
    {
        QFETCH(QStringList, chain);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("etc"));
        const QString real = dir.filePath("etc/real.conf");
        writeFile(real, OldContent);
        QString next = real;
        for (int i = chain.size() - 1; i >= 0; --i) {
            const QString link = dir.filePath(chain[i]);
            // The last link is relative, to check it resolves from its own directory.
            const QString target = next == real ? QStringLiteral("etc/real.conf") : next;
            QCOMPARE(::symlink(encoded(target).constData(), encoded(link).constData()), 0);
            next = link;
        }
        const QString first = dir.filePath(chain.first());
        // Resolved from elsewhere than the links' folder; the next tests need ours back.
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&previous] { QDir::setCurrent(previous); });
        QDir::setCurrent(QDir::rootPath());
        WriteFileSafely(encoded(first), NewContent, {}, IfChanged::Overwrite);
        QCOMPARE(readFile(real), NewContent);
        for (const QString &name : chain)
            QVERIFY(S_ISLNK(statOf(dir.filePath(name)).st_mode));
        QCOMPARE(entriesOf(dir.filePath("etc")), QStringList{"real.conf"});
    }

    void linkLoopFails()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a"), b = dir.filePath("b");
        QCOMPARE(::symlink(encoded(b).constData(), encoded(a).constData()), 0);
        QCOMPARE(::symlink(encoded(a).constData(), encoded(b).constData()), 0);
        try {
            WriteFileSafely(encoded(a), NewContent, {}, IfChanged::Overwrite);
            QFAIL("a link loop was written through");
        } catch (const FileError &error) {
            QCOMPARE(error.kind(), FileError::Kind::Create);
            QVERIFY(error.message().startsWith("Datei \"" + a + "\" kann nicht erstellt werden. "));
        }
    }

    void hardLinkedFileIsRewrittenInPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf"), other = dir.filePath("other-name.conf");
        writeFile(path, OldContent);
        QCOMPARE(::link(encoded(path).constData(), encoded(other).constData()), 0);
        const ino_t inode = statOf(path).st_ino;
        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        QCOMPARE(statOf(path).st_ino, inode);
        QCOMPARE(readFile(other), NewContent);
        // Shorter content must not leave the old tail behind.
        WriteFileSafely(encoded(path), QByteArray("short\n"), {}, IfChanged::Overwrite);
        QCOMPARE(readFile(other), QByteArray("short\n"));
    }

    void directoryInPlaceOfFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        QVERIFY(QDir(dir.path()).mkdir("corvane.conf"));
        try {
            WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
            QFAIL("writing over a directory succeeded");
        } catch (const FileError &error) {
            QCOMPARE(error.kind(), FileError::Kind::Create);
            QVERIFY(error.message().startsWith("Datei \"" + path + "\" kann nicht erstellt werden. "));
        }
        QVERIFY(QFileInfo(path).isDir());
    }

    void failingCallsLeaveOldFileWhole_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<int>("kind");
        const int write = int(FileError::Kind::Write), create = int(FileError::Kind::Create);
        QTest::newRow("short write") << int(Failing::Write) << false << write;
        QTest::newRow("fsync") << int(Failing::Fsync) << false << write;
        QTest::newRow("fchmod") << int(Failing::Fchmod) << false << write;
        QTest::newRow("close") << int(Failing::Close) << false << write;
        QTest::newRow("rename") << int(Failing::Rename) << false << write;
        QTest::newRow("temporary: no space") << int(Failing::OpenTemporaryNoSpace) << false << create;
        QTest::newRow("in place: fsync") << int(Failing::Fsync) << true << write;
    }
    void failingCallsLeaveOldFileWhole()
    {
        QFETCH(int, which);
        QFETCH(bool, hardLinked);
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        QCOMPARE(::chmod(encoded(path).constData(), 0640), 0);
        if (hardLinked)
            QCOMPARE(::link(encoded(path).constData(), encoded(dir.filePath("link")).constData()), 0);
        failing = Failing(which);
        try {
            WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
            QFAIL("the failure was not reported");
        } catch (const FileError &error) {
            QCOMPARE(int(error.kind()), kind);
        }
        failing = Failing::None;
        if (!hardLinked)
            QCOMPARE(readFile(path), OldContent);
        QCOMPARE(int(statOf(path).st_mode & 07777), 0640);
        QStringList expected{"corvane.conf"};
        if (hardLinked)
            expected.append("link");
        QCOMPARE(entriesOf(dir.path()), expected);
    }

    void failedSaveOfNewFileLeavesNoFile_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("short write") << int(Failing::Write);
        QTest::newRow("temporary: no space") << int(Failing::OpenTemporaryNoSpace);
        QTest::newRow("rename") << int(Failing::Rename);
        QTest::newRow("in place: owner cannot be set, then the disk is full") << int(Failing::OwnerLostThenDiskFull);
    }
    void failedSaveOfNewFileLeavesNoFile()
    {
        QFETCH(int, which);
        QTemporaryDir dir;
        failing = Failing(which);
        QVERIFY_THROWS_EXCEPTION(FileError, WriteFileSafely(encoded(dir.filePath("new.conf")), NewContent, {}, IfChanged::Overwrite));
        QCOMPARE(entriesOf(dir.path()), QStringList());
    }

    void unusableTemporaryFallsBackToInPlace_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("directory not writable") << int(Failing::OpenTemporaryDenied);
        QTest::newRow("owner cannot be restored") << int(Failing::Fchown);
        QTest::newRow("rename refused: busy (bind-mounted file)") << int(Failing::RenameBusy);
        QTest::newRow("rename refused: other file system") << int(Failing::RenameCrossDevice);
        QTest::newRow("rename refused: another user's file in a sticky folder") << int(Failing::RenameNotPermitted);
    }
    void unusableTemporaryFallsBackToInPlace()
    {
        QFETCH(int, which);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        const ino_t inode = statOf(path).st_ino;
        failing = Failing(which);
        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        QCOMPARE(readFile(path), NewContent);
        QCOMPARE(statOf(path).st_ino, inode);
        QCOMPARE(entriesOf(dir.path()), QStringList{"corvane.conf"});
    }

    // Owner, group, mode, ACL and every extended attribute are the file's own
    // and stay after a save. Lives on the build tree's file system, which
    // takes user attributes where /tmp may not.
    void attributesStayWithTheFile_data()
    {
        QTest::addColumn<QString>("command");  // %1 the file, %2 its folder
        QTest::addColumn<bool>("rootOnly");
        QTest::newRow("ACL for a named user on 0640") << "chmod 0640 %1 && setfacl -m u:nobody:rw %1" << false;
        QTest::newRow("ACL with a narrower mask") << "setfacl -m u:nobody:rwx,g::r,m::r %1" << false;
        QTest::newRow("user attribute") << "setfattr -n user.origin -v shipped %1" << false;
        QTest::newRow("empty user attribute") << "setfattr -n user.empty %1" << false;
        QTest::newRow("security label") << "setfattr -n security.cvconf -v label %1" << true;
        QTest::newRow("trusted attribute") << "setfattr -n trusted.cvconf -v kept %1" << true;
        QTest::newRow("ACL and attributes together")
            << "setfacl -m u:nobody:r,g:nogroup:rw %1 && setfattr -n user.a -v 1 %1 && setfattr -n user.b -v 2 %1" << false;
        QTest::newRow("no ACL, though the folder has a default one") << "setfacl -d -m u:nobody:rwx %2" << false;
    }
    void attributesStayWithTheFile()
    {
        QFETCH(QString, command);
        QFETCH(bool, rootOnly);
        if (rootOnly && ::geteuid() != 0)
            QSKIP("only root may set security and trusted attributes");
        QTemporaryDir dir(QDir::currentPath() + "/attributes-XXXXXX");
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        QCOMPARE(::chmod(encoded(path).constData(), 0640), 0);
        const QString problem = setUp(QString(command).replace("%1", path).replace("%2", dir.path()));
        if (!problem.isEmpty())
            QSKIP(qPrintable("the file system or tools refuse the attribute: " + problem));
        const struct stat before = statOf(path);
        const QMap<QByteArray, QByteArray> attributes = attributesOf(path);

        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);

        const struct stat after = statOf(path);
        QCOMPARE(readFile(path), NewContent);
        QVERIFY2(after.st_ino != before.st_ino, "replaced by rename, with the attributes copied");
        QCOMPARE(int(after.st_mode & 07777), int(before.st_mode & 07777));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(attributesOf(path), attributes);
        QCOMPARE(entriesOf(dir.path()), QStringList{"corvane.conf"});
    }

    void attributesStayWhenRewrittenInPlace()
    {
        QTemporaryDir dir(QDir::currentPath() + "/attributes-XXXXXX");
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        const QString problem = setUp(QString("setfacl -m u:nobody:rw %1 && setfattr -n user.origin -v shipped %1").arg(path));
        if (!problem.isEmpty())
            QSKIP(qPrintable("the file system or tools refuse the attribute: " + problem));
        const QMap<QByteArray, QByteArray> attributes = attributesOf(path);
        const ino_t inode = statOf(path).st_ino;
        failing = Failing::SetAttribute;
        WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        QCOMPARE(readFile(path), NewContent);
        QCOMPARE(statOf(path).st_ino, inode);
        QCOMPARE(attributesOf(path), attributes);
        QCOMPARE(entriesOf(dir.path()), QStringList{"corvane.conf"});
    }

    // A name swapped while the save runs never redirects it, and the file
    // that lost the name is not written either: the save refuses, even when
    // told to overwrite, and what was put in its place is left alone.
    void swappedNameIsLeftAlone_data()
    {
        QTest::addColumn<bool>("swapFolder");
        QTest::newRow("file swapped for a link") << false;
        QTest::newRow("folder swapped for a link") << true;
    }
    void swappedNameIsLeftAlone()
    {
        QFETCH(bool, swapFolder);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("etc"));
        QVERIFY(QDir(dir.path()).mkdir("victim"));
        const QString path = dir.filePath("etc/corvane.conf");
        const QString victim = dir.filePath("victim/corvane.conf");
        writeFile(path, OldContent);
        writeFile(victim, "victim\n");
        const int opened = ::open(encoded(path).constData(), O_RDONLY);
        QVERIFY(opened >= 0);

        static QString swapFrom, swapTo, swapLink;
        swapFrom = swapFolder ? dir.filePath("etc") : path;
        swapTo = swapFolder ? dir.filePath("etc.moved") : dir.filePath("etc/corvane.conf.moved");
        swapLink = swapFolder ? dir.filePath("victim") : victim;
        SafeWriteSystemCalls().write = [](int fd, const void *data, size_t size) -> ssize_t {
            if (!swapFrom.isEmpty()) {
                ::rename(encoded(swapFrom).constData(), encoded(swapTo).constData());
                ::symlink(encoded(swapLink).constData(), encoded(swapFrom).constData());
                swapFrom.clear();
            }
            return ::write(fd, data, size);
        };
        FileError::Kind kind = FileError::Kind::Open;
        try {
            WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        } catch (const FileError &error) {
            kind = error.kind();
        }
        QCOMPARE(kind, FileError::Kind::Changed);

        QCOMPARE(readFile(victim), QByteArray("victim\n"));
        QCOMPARE(entriesOf(dir.filePath("victim")), QStringList{"corvane.conf"});
        QVERIFY(QFileInfo(swapFolder ? dir.filePath("etc") : path).isSymLink());
        QByteArray content(NewContent.size() + 1, '\0');
        const ssize_t got = ::pread(opened, content.data(), size_t(content.size()), 0);
        ::close(opened);
        content.truncate(got < 0 ? 0 : got);
        QCOMPARE(content, OldContent);
        const QStringList left = swapFolder ? QStringList{"corvane.conf"} : QStringList{"corvane.conf", "corvane.conf.moved"};
        QCOMPARE(entriesOf(dir.filePath(swapFolder ? "etc.moved" : "etc")), left);
    }

    // What another program does between the read and the save; %1 is the file.
    void changeSinceReadIsRefused_data()
    {
        QTest::addColumn<bool>("existed");
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("refused");
        const QString timePutBack = "cat %1 > %1.t && touch -r %1 %1.t && cat %1.t > %1 && touch -r %1.t %1 && rm %1.t";
        QTest::newRow("nobody") << true << false << "" << false;
        QTest::newRow("the same bytes again, time put back") << true << false << timePutBack << false;
        QTest::newRow("other bytes of the same size, time put back")
            << true << false << QString(timePutBack).replace("cat %1 >", "tr o 0 < %1 >") << true;
        QTest::newRow("hard-linked: other bytes, time put back")
            << true << true << QString(timePutBack).replace("cat %1 >", "tr o 0 < %1 >") << true;
        QTest::newRow("two lines appended") << true << false << "printf 'A=1\\nB=2\\n' >> %1" << true;
        QTest::newRow("replaced by the same bytes") << true << false << "cp %1 %1.t && mv %1.t %1" << true;
        QTest::newRow("removed") << true << false << "rm %1" << true;
        QTest::newRow("created where none was read") << false << false << "echo theirs > %1" << true;
        QTest::newRow("still none") << false << false << "" << false;
    }
    void changeSinceReadIsRefused()
    {
        QFETCH(bool, existed);
        QFETCH(bool, hardLinked);
        QFETCH(QString, other);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        if (existed)
            writeFile(path, OldContent);
        if (hardLinked)
            QCOMPARE(::link(encoded(path).constData(), encoded(dir.filePath("link")).constData()), 0);
        const FileStamp read = stampAsRead(path);
        if (!other.isEmpty())
            QCOMPARE(setUp(QString(other).replace("%1", path)), QString());
        const QByteArray theirs = readFile(path);
        try {
            const FileStamp written = WriteFileSafely(encoded(path), NewContent, read, IfChanged::Refuse);
            QVERIFY2(!refused, "another program's change was overwritten");
            // What the save wrote is what the next one expects.
            QVERIFY(SameFileAndContent(written, stampAsRead(path)));
        } catch (const FileError &error) {
            QVERIFY2(refused, qPrintable(error.message()));
            QCOMPARE(error.kind(), FileError::Kind::Changed);
            QCOMPARE(readFile(path), theirs);
            WriteFileSafely(encoded(path), NewContent, read, IfChanged::Overwrite);
        }
        QCOMPARE(readFile(path), NewContent);
    }

    // The stamp of the same bytes is the same in every process: another
    // process's stamp is what a save is told to compare with.
    void stampsAgreeAcrossProcesses_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("just under 1 MiB") << (1 << 20) - 1;
        QTest::newRow("1 MiB") << (1 << 20);
        QTest::newRow("2,000,000 bytes") << 2'000'000;
    }
    void stampsAgreeAcrossProcesses()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, NewContent.repeated(size / NewContent.size() + 1).left(size));
        const QByteArray here = StampText(stampAsRead(path));
        for (int run = 0; run < 2; ++run) {
            QProcess other;
            other.start(CV_FILE_HELPER, {"stamp", path});
            QVERIFY(other.waitForFinished());
            QCOMPARE(other.readAllStandardOutput(), here + '\n');
        }
    }

    void realShortWriteFromFileSizeLimit_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::newRow("by rename") << false;
        QTest::newRow("in place, space reserved first") << true;
    }
    void realShortWriteFromFileSizeLimit()
    {
        QFETCH(bool, hardLinked);
        SafeWriteSystemCalls() = RealSafeWriteCalls();
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, OldContent);
        if (hardLinked)
            QCOMPARE(::link(encoded(path).constData(), encoded(dir.filePath("link")).constData()), 0);

        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = saved;
        limited.rlim_cur = 1000;  // NewContent is about 2 KB
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        bool failed = false;
        try {
            WriteFileSafely(encoded(path), NewContent, {}, IfChanged::Overwrite);
        } catch (const FileError &error) {
            failed = error.kind() == FileError::Kind::Write;
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(failed);
        QCOMPARE(readFile(path), OldContent);
        QCOMPARE(entriesOf(dir.path()).size(), hardLinked ? 2 : 1);
    }
};

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
