// Saving and reading as administrator for real: the aliases editor runs as the
// user nobody on a root-owned file, a stand-in pkexec on its search path runs
// the real helper, setuid root in the test's folder, or answers as a dismissed
// authentication does.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QByteArray Old = "employee = /opt/corvane/employee.cvdb";
const QByteArray Saved = Old + "\nadded = /srv/added.cvdb";
const QByteArray Theirs = "stock = /srv/stock.cvdb";

bool writeFile(const QString &path, const QByteArray &bytes, mode_t mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
           && file.flush() && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

}  // namespace

class TestAdminSave : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: setpriv runs the editor as nobody, and the helper is made setuid root");
        struct statvfs volume {};
        QVERIFY(::statvfs(QFile::encodeName(m_dir.path()).constData(), &volume) == 0);
        if (volume.f_flag & ST_NOSUID)
            QSKIP("the temporary folder is mounted nosuid: the helper cannot run as root from there");
        QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0777) == 0);
        QVERIFY(QFile::copy(CV_ADMIN_EDITOR, path("editor")) && QFile::copy(CV_HELPER, path("cvconfmanager-helper")));
        QVERIFY(::chmod(QFile::encodeName(path("editor")).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(path("cvconfmanager-helper")).constData(), 04755) == 0);
        // Logs each run as "helper verb path [overwrite]", the stamp left out.
        QVERIFY(writeFile(path("pkexec"), "#!/bin/sh\necho \"$1 $2 $3${5:+ $5}\" >>\"$0.calls\"\n"
                                          "[ -e \"$0.cancel\" ] && exit 126\nexec \"$@\"\n", 0755));
    }

    void saveAsAdministrator_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("answers");  // Y yes, N no, one a box
        QTest::addColumn<QByteArray>("pkexec");   // how the stand-in answers; "changed": another write first
        QTest::addColumn<QStringList>("runs");  // the helper's arguments, the stamp left out
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("Yes saves, owner and mode kept") << 0644 << QByteArray("Y") << QByteArray() << QStringList{"write %1"}
                                                        << Saved;
        QTest::newRow("cancelled authentication writes nothing") << 0644 << QByteArray("Y") << QByteArray("cancel")
                                                                 << QStringList{"write %1"} << Old;
        QTest::newRow("changed since read, No keeps theirs") << 0644 << QByteArray("YN") << QByteArray("changed")
                                                             << QStringList{"write %1"} << Theirs;
        QTest::newRow("changed since read, Yes overwrites") << 0644 << QByteArray("YY") << QByteArray("changed")
                                                            << QStringList{"write %1", "write %1 overwrite"} << Saved;
        QTest::newRow("unreadable file read, then saved") << 0600 << QByteArray("YY") << QByteArray()
                                                          << QStringList{"read %1", "write %1"} << Saved;
    }
    void saveAsAdministrator()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, answers);
        QFETCH(QByteArray, pkexec);
        QFETCH(QStringList, runs);
        QFETCH(QByteArray, content);
        const QString file = path("aliases.conf");
        QVERIFY(writeFile(file, Old, mode_t(mode)));
        QFile::remove(path("pkexec.calls"));
        QFile::remove(path("pkexec.cancel"));
        QVERIFY(pkexec != "cancel" || writeFile(path("pkexec.cancel"), {}, 0644));

        QProcess editor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", m_dir.path() + ":" + environment.value("PATH"));
        editor.setProcessEnvironment(environment);
        editor.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--", path("editor"), file,
                                 QString::fromLatin1(answers)});
        QVERIFY(editor.waitForReadyRead(30000));
        QCOMPARE(editor.readLine(), QByteArray("read\n"));
        QVERIFY(pkexec != "changed" || writeFile(file, Theirs, mode_t(mode)));
        editor.write("save\n");
        QVERIFY(editor.waitForFinished(30000));

        // Every answer went to a question, and no error box followed.
        const QList<QByteArray> output = editor.readAllStandardOutput().split('\n');
        QCOMPARE(output.count(), answers.size() + 2);
        QCOMPARE(output[answers.size()], QByteArray("unsaved: ") + (content == Saved ? "0" : "1"));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), content);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &status), 0);
        QCOMPARE(QList<uint>({status.st_uid, status.st_gid, status.st_mode & 07777}), QList<uint>({0, 0, uint(mode)}));
        QFile calls(path("pkexec.calls"));
        QVERIFY(calls.open(QIODevice::ReadOnly));
        for (QString &run : runs)
            run = path("cvconfmanager-helper") + " " + run.arg(file);
        QCOMPARE(QString::fromUtf8(calls.readAll()).split('\n', Qt::SkipEmptyParts), runs);
    }
};

QTEST_GUILESS_MAIN(TestAdminSave)
#include "tst_adminsave.moc"
