// Loading and saving without the rights to do so, for real: root lays out
// root-owned files and directories, and a helper process running as the
// unprivileged user "nobody" (all capabilities dropped) tries the operation.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray OldContent = "RootDirectory=/old\n# keep this remark\n";
const QByteArray TypedText = "RootDirectory = /new\n";
const QByteArray SavedContent = "RootDirectory=/new\n";
constexpr int Missing = -1;
constexpr uid_t Nobody = 65534;

QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

struct stat statOf(const QString &path)
{
    struct stat status {};
    ::stat(encoded(path).constData(), &status);
    return status;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs the helper as nobody, without groups or capabilities, in the C locale so
// the system's reason reads "Permission denied". Returns its output lines.
QStringList runAsNobody(const QString &helper, const QStringList &arguments, QString *problem = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C");
    process.setProcessEnvironment(environment);
    process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all",
                                         "--bounding-set=-all", "--", helper}
                                 + arguments);
    const bool finished = process.waitForFinished(30000);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (problem && (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0))
        *problem = QString("setpriv: %1 %2").arg(process.errorString(), QString::fromUtf8(process.readAllStandardError()));
    return output.split('\n', Qt::SkipEmptyParts);
}

// Runs the helper as root without the capabilities that pass over permission
// bits, so the kernel checks them as for any user. Returns its output lines.
QStringList runWithoutOverride(const QString &helper, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C");
    process.setProcessEnvironment(environment);
    process.start("setpriv", QStringList{"--bounding-set=-dac_override,-dac_read_search", "--", helper} + arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool writeFile(const QString &path, const QByteArray &bytes, mode_t mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return ::chmod(encoded(path).constData(), mode) == 0;
}

// A kernel setting under /proc/sys, set for the life of the object.
class KernelSetting {
public:
    KernelSetting(const QString &path, const QByteArray &value) : m_path(path)
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        m_previous = file.readAll().trimmed();
        file.close();
        m_set = write(value);
    }
    ~KernelSetting()
    {
        if (m_set)
            write(m_previous);
    }
    bool isSet() const { return m_set; }

private:
    bool write(const QByteArray &value)
    {
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly) && file.write(value + "\n") > 0 && file.flush();
    }
    QString m_path;
    QByteArray m_previous;
    bool m_set = false;
};

}  // namespace

class TestPermissions : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_helper;
    int m_cases = 0;

    // A directory of the given mode holding corvane.conf of the given mode (or none), all root's.
    QString prepare(int dirMode, int fileMode)
    {
        const QString dir = m_root.filePath(QString("case%1").arg(++m_cases));
        if (!QDir().mkpath(dir))
            return {};
        const QString path = dir + "/corvane.conf";
        if (fileMode != Missing) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(OldContent) != OldContent.size())
                return {};
            file.close();
            ::chmod(encoded(path).constData(), mode_t(fileMode));
        }
        ::chmod(encoded(dir).constData(), mode_t(dirMode));
        return path;
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: the files belong to root, and the helper writes them as the user nobody");
        QVERIFY(m_root.isValid());
        // The helper, running as nobody, must reach the files, and itself: the
        // build tree may lie where nobody cannot go, so it runs from a copy here.
        QCOMPARE(::chmod(encoded(m_root.path()).constData(), 0755), 0);
        m_helper = m_root.filePath("file_helper");
        QVERIFY(QFile::copy(CV_FILE_HELPER, m_helper));
        QCOMPARE(::chmod(encoded(m_helper).constData(), 0755), 0);
        // Companions of saves in place that cannot lie beside the file, for every helper's user.
        const QString state = m_root.filePath("state");
        QVERIFY(QDir().mkpath(state));
        QCOMPARE(::chmod(encoded(state).constData(), 01777), 0);
        qputenv("XDG_STATE_HOME", encoded(state));

        // Probe: the helper really runs as nobody and cannot read a file that is root's alone.
        const QString secret = m_root.filePath("secret");
        QFile file(secret);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(::chmod(encoded(secret).constData(), 0600), 0);
        QString problem;
        const QStringList probe = runAsNobody(m_helper, {"probe", secret}, &problem);
        const QString expected = QString("uid %1 open %2").arg(Nobody).arg(EACCES);
        if (probe != QStringList{expected})
            QSKIP(qPrintable(QString("cannot drop root's rights with setpriv here (probe said \"%1\"%2)")
                                 .arg(probe.join(" / "), problem.isEmpty() ? QString() : ", " + problem)));
    }

    void cleanupTestCase() { qunsetenv("XDG_STATE_HOME"); }

    void save_data()
    {
        QTest::addColumn<int>("dirMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<bool>("saved");
        QTest::newRow("read-only file, closed directory") << 0755 << 0644 << false;
        QTest::newRow("missing file, closed directory") << 0755 << Missing << false;
        QTest::newRow("read-only file, sticky world-writable directory") << 01777 << 0644 << false;
        QTest::newRow("read-only file, world-writable directory") << 0777 << 0644 << false;
        QTest::newRow("writable file, closed directory: in place") << 0755 << 0666 << true;
        QTest::newRow("writable file, world-writable directory: in place, owner kept") << 0777 << 0666 << true;
    }
    void save()
    {
        QFETCH(int, dirMode);
        QFETCH(int, fileMode);
        QFETCH(bool, saved);
        const QString path = prepare(dirMode, fileMode);
        QVERIFY(!path.isEmpty());
        const QString dir = QFileInfo(path).path();
        const struct stat before = statOf(path);

        const QStringList output = runAsNobody(m_helper, {"save", path, QString::fromLatin1(TypedText)});

        const QStringList expectedEntries = fileMode == Missing ? QStringList() : QStringList{"corvane.conf"};
        QCOMPARE(entriesOf(dir), expectedEntries);
        if (saved) {
            QCOMPARE(output, QStringList{"saved"});
            QCOMPARE(readFile(path), SavedContent);
        } else {
            QCOMPARE(output, QStringList{QString("error 1: Datei \"%1\" kann nicht erstellt werden. Permission denied").arg(path)});
            if (fileMode == Missing)
                return;
            QCOMPARE(readFile(path), OldContent);
            QCOMPARE(statOf(path).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
            QCOMPARE(statOf(path).st_mtim.tv_sec, before.st_mtim.tv_sec);
        }
        // Saved or not, it is the same file with the same owner and mode.
        const struct stat after = statOf(path);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_uid, uid_t(0));
        QCOMPARE(after.st_gid, gid_t(0));
        QCOMPARE(int(after.st_mode & 07777), fileMode);
    }

    void load_data()
    {
        QTest::addColumn<int>("dirMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<QStringList>("output");
        QTest::newRow("readable file") << 0755 << 0644 << QStringList{"loaded 2", "first RootDirectory=/old"};
        QTest::newRow("unreadable file") << 0755 << 0600
                                         << QStringList{"error 0: Datei %1 kann nicht geöffnet werden. Permission denied",
                                                        "first Before=1"};
        QTest::newRow("file in a closed directory") << 0700 << 0644
                                                    << QStringList{"error 0: Datei %1 kann nicht geöffnet werden. Permission denied",
                                                                   "first Before=1"};
    }
    void load()
    {
        QFETCH(int, dirMode);
        QFETCH(int, fileMode);
        QFETCH(QStringList, output);
        const QString path = prepare(dirMode, fileMode);
        QVERIFY(!path.isEmpty());
        for (QString &line : output)
            if (line.contains("%1"))
                line = line.arg(path);
        QCOMPARE(runAsNobody(m_helper, {"load", path}), output);
        QCOMPARE(readFile(path), OldContent);
    }

    // A load that fails leaves a document that no read has filled; saving it
    // would empty the file the user could not read.
    void neverReadDocumentIsNotSaved_data()
    {
        QTest::addColumn<int>("fileMode");
        QTest::newRow("file others may write but not read (0622)") << 0622;
        QTest::newRow("write-only file (0222)") << 0222;
    }
    void neverReadDocumentIsNotSaved()
    {
        QFETCH(int, fileMode);
        const QString path = prepare(0755, fileMode);
        QVERIFY(!path.isEmpty());
        const QStringList expected{
            QString("error 0: Datei %1 kann nicht geöffnet werden. Permission denied").arg(path),
            QString("error 1: Datei \"%1\" kann nicht erstellt werden. Die Datei wurde nicht gelesen").arg(path)};
        QCOMPARE(runAsNobody(m_helper, {"load-save", path}), expected);
        QCOMPARE(readFile(path), OldContent);
    }

    // Root without CAP_DAC_OVERRIDE: a save succeeds exactly where the kernel
    // lets the process open the file for writing.
    void saveWhereTheKernelAllows_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("dirMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<bool>("saved");
        QTest::newRow("configuration, read-only file (0444)") << "save" << 0755 << 0444 << false;
        QTest::newRow("configuration, read-only file, world-writable directory") << "save" << 0777 << 0444 << false;
        QTest::newRow("configuration, writable file (0644)") << "save" << 0755 << 0644 << true;
        QTest::newRow("language file, read-only (0444)") << "choose" << 0755 << 0444 << false;
        QTest::newRow("language file, writable (0644)") << "choose" << 0755 << 0644 << true;
    }
    void saveWhereTheKernelAllows()
    {
        QFETCH(QString, command);
        QFETCH(int, dirMode);
        QFETCH(int, fileMode);
        QFETCH(bool, saved);
        const QString probeFile = m_root.filePath("closed");
        QVERIFY(writeFile(probeFile, "x", 0));
        if (runWithoutOverride(m_helper, {"probe", probeFile}) != QStringList{QString("uid 0 open %1").arg(EACCES)})
            QSKIP("setpriv cannot drop CAP_DAC_OVERRIDE here");

        const QString dir = m_root.filePath(QString("kernel%1").arg(++m_cases));
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + "/" + (command == "save" ? "corvane.conf" : "CVConfManager.lang");
        const QByteArray content = command == "save" ? OldContent : QByteArray("[GENERAL]\nCurrentLanguage=ENGLISH\n\n");
        QVERIFY(writeFile(path, content, mode_t(fileMode)));
        QCOMPARE(::chmod(encoded(dir).constData(), mode_t(dirMode)), 0);
        const struct stat before = statOf(path);

        const QStringList arguments = command == "save" ? QStringList{"save", path, QString::fromLatin1(TypedText)}
                                                        : QStringList{"choose", path, "DEUTSCH"};
        const QStringList output = runWithoutOverride(m_helper, arguments);

        if (saved) {
            QCOMPARE(output, QStringList{"saved"});
            QVERIFY(readFile(path) != content);
        } else {
            QCOMPARE(output, QStringList{QString("error 1: Datei \"%1\" kann nicht erstellt werden. Permission denied").arg(path)});
            QCOMPARE(readFile(path), content);
            QCOMPARE(statOf(path).st_ino, before.st_ino);
        }
        QCOMPARE(int(statOf(path).st_mode & 07777), fileMode);
        QCOMPARE(entriesOf(dir).size(), 1);
    }

    // In a sticky world-writable folder another user can put a link where the
    // file was. With fs.protected_symlinks=1 the kernel refuses to follow it
    // for root, and so must a save.
    void protectedSymlinks_data()
    {
        QTest::addColumn<uint>("linkOwner");
        QTest::addColumn<bool>("followed");
        QTest::newRow("link of another user: refused") << uint(Nobody) << false;
        QTest::newRow("link of the folder's owner: followed") << 0u << true;
    }
    void protectedSymlinks()
    {
        QFETCH(uint, linkOwner);
        QFETCH(bool, followed);
        const KernelSetting protection("/proc/sys/fs/protected_symlinks", "1");
        if (!protection.isSet())
            QSKIP("cannot set fs.protected_symlinks here (no write access to /proc/sys)");
        const QString shared = m_root.filePath(QString("shared%1").arg(++m_cases));
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(encoded(shared).constData(), 01777), 0);
        const QString victim = m_root.filePath(QString("victim%1").arg(m_cases));
        QVERIFY(writeFile(victim, OldContent, 0600));
        const QString link = shared + "/corvane.conf";
        QCOMPARE(::symlink(encoded(victim).constData(), encoded(link).constData()), 0);
        QCOMPARE(::lchown(encoded(link).constData(), linkOwner, linkOwner), 0);

        const QStringList output = runWithoutOverride(m_helper, {"save", link, QString::fromLatin1(TypedText)});
        // As root with all rights too: the link protection holds for every root.
        QProcess plain;
        plain.setProcessEnvironment([] {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("LC_ALL", "C");
            return environment;
        }());
        plain.start(m_helper, {"save", link, QString::fromLatin1(TypedText)});
        QVERIFY(plain.waitForFinished(30000));
        const QStringList rootOutput = QString::fromUtf8(plain.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

        if (followed) {
            QCOMPARE(output, QStringList{"saved"});
            QCOMPARE(rootOutput, QStringList{"saved"});
            QCOMPARE(readFile(victim), SavedContent);
        } else {
            const QStringList refused{QString("error 1: Datei \"%1\" kann nicht erstellt werden. Permission denied").arg(link)};
            QCOMPARE(output, refused);
            QCOMPARE(rootOutput, refused);
            QCOMPARE(readFile(victim), OldContent);
        }
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(entriesOf(shared), QStringList{"corvane.conf"});
    }

    // A single file bind-mounted into place, as containers hand configuration
    // to a server: the name cannot be renamed over, so the file is rewritten
    // where it is.
    void bindMountedFile()
    {
        const QString dir = m_root.filePath(QString("mount%1").arg(++m_cases));
        QVERIFY(QDir().mkpath(dir + "/host"));
        QVERIFY(QDir().mkpath(dir + "/container"));
        const QString source = dir + "/host/corvane.conf", target = dir + "/container/corvane.conf";
        QVERIFY(writeFile(source, OldContent, 0640));
        QVERIFY(writeFile(target, "placeholder\n", 0644));
        QProcess mount;
        mount.start("mount", {"--bind", source, target});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            QSKIP(qPrintable("mount --bind is refused here: " + QString::fromLocal8Bit(mount.readAllStandardError()).trimmed()
                             + mount.errorString()));
        QProcess helper;
        helper.start(m_helper, {"save", target, QString::fromLatin1(TypedText)});
        const bool finished = helper.waitForFinished(30000);
        const QStringList output = QString::fromUtf8(helper.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        const QByteArray seen = readFile(target);
        const QStringList entries = entriesOf(dir + "/container");
        QProcess::execute("umount", {target});
        QVERIFY(finished);
        QCOMPARE(output, QStringList{"saved"});
        QCOMPARE(seen, SavedContent);
        QCOMPARE(readFile(source), SavedContent);
        QCOMPARE(int(statOf(source).st_mode & 07777), 0640);
        QCOMPARE(entries, QStringList{"corvane.conf"});
        QCOMPARE(readFile(target), QByteArray("placeholder\n"));
    }
};

QTEST_GUILESS_MAIN(TestPermissions)
#include "tst_permissions.moc"
