// Saving and reading as administrator: the aliases editor runs as nobody on a
// root-owned file; a stand-in pkexec runs the helper, setuid root here, or
// answers as a dismissed authentication. The last row runs the real pkexec and
// polkitd with the shipped action, on a private bus in a mount namespace.

#include "fileio/ReadFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QByteArray Old = "employee = /opt/corvane/employee.cvdb";
const QByteArray Saved = Old + "\nadded = /srv/added.cvdb";
const QByteArray Theirs = "stock = /srv/stock.cvdb";
const QByteArray Lines = QByteArray("Key=value of a line\n").repeated(45000);
// For the helper run for nobody as pkexec runs it: a link to a root-only file standing for /etc/shadow in
// a folder of nobody's, a folder nobody may write by its ACL, a device node, a sparse file beyond the bound.
const QString Kept = "cat conf home/file acl/file secret";
const QString Planted = R"(rm -rf "$1" && mkdir -p "$1home" "$1acl" && cd "$1" && echo root:x >secret &&
  chmod 600 secret && ln -s ../secret home/link && chown nobody home && setfacl -m u:nobody:rwx acl &&
  for f in conf home/file acl/file; do echo x=1 >$f; done && mknod device c 1 3 && truncate -s "$2" huge && )"
                        + Kept + " >before";
const QByteArray StandIn = "#!/bin/sh\n[ -e \"$0.cancel\" ] && exit 126\n[ -e \"$0.stall\" ] && exec sleep 600\nexec \"$@\"\n";
// Runs a command with a system bus and polkitd of its own, which it ends after.
// $1: the folder with actions/, rules/ and bus.conf. 77: polkit cannot start here.
const QByteArray Polkit = R"(d=$1; shift
command -v pkexec >/dev/null && mount -t tmpfs tmpfs /run/dbus &&
  mount --bind "$d/actions" /usr/share/polkit-1/actions && mount --bind "$d/rules" /etc/polkit-1/rules.d &&
  bus=$(dbus-daemon --config-file="$d/bus.conf" --fork --print-pid) || exit 77
/usr/lib/polkit-1/polkitd --no-debug >/dev/null 2>&1 & polkitd=$! i=0
until pkaction --action-id org.example.cvconfmanager.save >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -lt 100 ] || { kill $polkitd $bus; exit 77; }; sleep 0.1; done
"$@"; status=$?; kill $polkitd $bus; wait $polkitd; exit $status)";
const QByteArray Bus = "<busconfig><type>system</type><listen>unix:path=/run/dbus/system_bus_socket</listen>"
                       "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                       "<allow receive_sender=\"*\"/></policy></busconfig>";
const QByteArray Rule = "polkit.addRule(function(action) { return action.id == \"org.example.cvconfmanager.save\" ? "
                        "polkit.Result.YES : polkit.Result.NOT_HANDLED; });";

bool writeFile(const QString &path, const QByteArray &bytes, mode_t mode = 0644)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush()
           && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
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
        if (::statvfs(QFile::encodeName(m_dir.path()).constData(), &volume) != 0 || (volume.f_flag & ST_NOSUID))
            QSKIP("the temporary folder is mounted nosuid: the helper cannot run as root from there");
        QFile policy(CV_POLICY_IN);
        QVERIFY(policy.open(QIODevice::ReadOnly) && QDir().mkpath(path("actions")) && QDir().mkpath(path("rules")));
        const QByteArray helper = QFile::encodeName(path("cvconfmanager-helper"));
        QVERIFY(writeFile(path("actions/a.policy"), policy.readAll().replace("@CV_HELPER_PATH@", helper))
                && writeFile(path("rules/a.rules"), Rule) && writeFile(path("bus.conf"), Bus));
        QVERIFY(QFile::copy(CV_ADMIN_EDITOR, path("editor")) && QFile::copy(CV_HELPER, path("cvconfmanager-helper")));
        QVERIFY(writeFile(path("pkexec"), StandIn, 0755) && QDir().mkpath(path("runtime")));
        for (const auto &[name, mode, owner] : {std::tuple(".", 0755, 0), {"editor", 0755, 0},
                                                {"cvconfmanager-helper", 04755, 0}, {"runtime", 0700, 65534}})
            QVERIFY(::chown(QFile::encodeName(path(name)).constData(), owner, owner) == 0
                    && ::chmod(QFile::encodeName(path(name)).constData(), mode) == 0);
    }

    void saveAsAdministrator_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("answers");  // Y yes, N no, one a box
        QTest::addColumn<QByteArray>("pkexec");   // cancel; stall: never authenticates; changed: another write after the read; real
        QTest::addColumn<QByteArray>("content");
        using B = QByteArray;
        QTest::newRow("Yes saves, owner and mode kept") << 0644 << B("Y") << B() << Saved;
        QTest::newRow("cancelled authentication writes nothing") << 0644 << B("Y") << B("cancel") << Old;
        QTest::newRow("authentication not given in time: told, nothing written") << 0644 << B("Y.") << B("stall") << Old;
        QTest::newRow("changed since read, No keeps theirs") << 0644 << B("YN") << B("changed") << Theirs;
        QTest::newRow("changed since read, Yes overwrites") << 0644 << B("YY") << B("changed") << Saved;
        QTest::newRow("unreadable file read, then saved") << 0600 << B("YY") << B() << Saved;
        QTest::newRow("real pkexec and polkitd") << 0644 << B("Y") << B("real") << Saved;
    }
    void saveAsAdministrator()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, answers);
        QFETCH(QByteArray, pkexec);
        QFETCH(QByteArray, content);
        const QString file = path("aliases.conf");
        QVERIFY(writeFile(file, Old, mode_t(mode)));
        for (const char *mode : {"cancel", "stall"}) {
            QFile::remove(path("pkexec.") + mode);
            QVERIFY(pkexec != mode || writeFile(path("pkexec.") + mode, {}));
        }

        QProcess editor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", path("runtime"));
        if (pkexec != "real")
            environment.insert("PATH", m_dir.path() + ":" + environment.value("PATH"));
        if (pkexec == "stall")
            environment.insert("CV_AUTHENTICATION_BOUND", "2");
        editor.setProcessEnvironment(environment);
        // Named as typed in the folder, as the program may be started: the helper needs it absolute.
        editor.setWorkingDirectory(m_dir.path());
        const QStringList asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                   path("editor"), "aliases.conf", answers};
        if (pkexec == "real")
            editor.start("unshare", QStringList{"--mount", "--propagation", "private", "sh", "-c", Polkit, "sh",
                                                m_dir.path()} + asNobody);
        else
            editor.start(asNobody.first(), asNobody.mid(1));
        if (!editor.waitForReadyRead(30000) && editor.state() == QProcess::NotRunning
            && (editor.exitCode() == 77 || editor.readAllStandardError().startsWith("unshare:")))
            QSKIP("polkitd cannot start on a private system bus in a mount namespace here");
        QCOMPARE(editor.readLine(), QByteArray("read\n"));
        QVERIFY(pkexec != "changed" || writeFile(file, Theirs, mode_t(mode)));
        editor.write("save\n");
        QVERIFY(editor.waitForFinished(30000));

        // Every answer went to a box, "." to an error box that says why.
        const QByteArray said = editor.readAllStandardError();
        QVERIFY2(editor.readAllStandardOutput()
                     == QString("boxes %1 unsaved %2\n").arg(answers.size()).arg(content != Saved).toUtf8(),
                 said.constData());
        QVERIFY2(pkexec != "stall" || said.contains("box: No administrator's authentication within 2 seconds"),
                 said.constData());
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), content);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &status), 0);
        QCOMPARE(QList<uint>({status.st_uid, status.st_gid, status.st_mode & 07777}),
                 QList<uint>({0, 0, uint(mode)}));
    }

    void helperRefuses_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<qint64>("length");  // claimed on the command line; 0: a read
        QTest::addColumn<QByteArray>("message");
        const QByteArray none, link = "symbolische Verknüpfung", tooLarge = "256 MiB";
        QTest::newRow("feeder killed") << "conf" << Lines.left(100000) << 900000LL << QByteArray("100000 von 900000");
        QTest::newRow("more than its length") << "conf" << Lines + 'x' << 900000LL << QByteArray("länger als 900000");
        QTest::newRow("another digest") << "conf" << Lines.left(899999) + 'x' << 900000LL << QByteArray("Prüfsumme");
        QTest::newRow("length beyond the bound") << "conf" << none << LargestFileSize + 1 << tooLarge;
        QTest::newRow("file beyond the bound") << "huge" << none << 0LL << tooLarge;
        QTest::newRow("planted link, read") << "home/link" << none << 0LL << link;
        QTest::newRow("planted link, overwrite") << "home/link" << Lines << 900000LL << link;
        QTest::newRow("folder nobody owns") << "home/file" << Lines << 900000LL << QByteArray("home gehört");
        QTest::newRow("folder nobody may write (ACL)") << "acl/file" << Lines << 900000LL << QByteArray("acl gehört");
        QTest::newRow("device node") << "device" << none << 0LL << QByteArray("Keine reguläre Datei");
    }
    void helperRefuses()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, input);
        QFETCH(qint64, length);
        QFETCH(QByteArray, message);
        const QString dir = path("refuse/");
        QCOMPARE(QProcess::execute("sh", {"-c", Planted, "sh", dir, QString::number(LargestFileSize + 1)}), 0);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        for (const char *watched : {"device", "secret"})
            QVERIFY(::inotify_add_watch(watch, QFile::encodeName(dir + watched).constData(), IN_OPEN) >= 0);

        ContentDigest digest;
        digest.add(Lines);
        const QStringList write{"-", QString::number(length), QString::number(quint64(digest.value())), "overwrite"};
        QProcess helper;
        helper.setEnvironment({"PKEXEC_UID=65534"});
        helper.start(CV_HELPER, QStringList{length ? "write" : "read", dir + file} + (length ? write : QStringList()));
        helper.write(input);
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(30000));
        const QByteArray refusal = helper.readAllStandardError();
        QVERIFY2(helper.exitCode() == 2 && refusal.contains(message) && helper.readAllStandardOutput().isEmpty(),
                 refusal.constData());
        char event[256];
        QVERIFY2(::read(watch, event, sizeof event) < 0, "the secret or the device was opened");
        ::close(watch);
        QCOMPARE(QProcess::execute("sh", {"-c", "cd \"$1\" && " + Kept + " | cmp - before", "sh", dir}), 0);
    }
};

QTEST_GUILESS_MAIN(TestAdminSave)
#include "tst_adminsave.moc"
