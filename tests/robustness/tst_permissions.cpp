// Loading and saving without the rights to do so, for real: root lays out
// root-owned files and directories, and a helper process running as the
// unprivileged user "nobody" (all capabilities dropped) tries the operation.

#include <QDir>
#include <QFile>
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
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
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
            QSKIP("runs as root: root owns the files, and the helper writes them as the user nobody");
        QVERIFY(m_root.isValid());
        // The helper, running as nobody, must reach the files, and itself: the
        // build tree may lie where nobody cannot go, so it runs from a copy here.
        QCOMPARE(::chmod(encoded(m_root.path()).constData(), 0755), 0);
        m_helper = m_root.filePath("file_helper");
        QVERIFY(QFile::copy(CV_FILE_HELPER, m_helper));
        QCOMPARE(::chmod(encoded(m_helper).constData(), 0755), 0);

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
};

QTEST_GUILESS_MAIN(TestPermissions)
#include "tst_permissions.moc"
