// Editing as administrator: the installed cvconfmanager-pkexec run with a
// stand-in pkexec and xhost first on PATH, which record every call, and the
// polkit action installed beside it.

#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <csignal>

namespace {

const QString Grant = QStringLiteral("xhost [+SI:localuser:root]");
const QString Revoke = QStringLiteral("xhost [-SI:localuser:root]");
const QString Query = QStringLiteral("xhost");

// The annotations of the action, keyed by their name.
QMap<QString, QString> annotationsOf(const QString &policy, QString *actionId)
{
    QFile file(policy);
    QMap<QString, QString> annotations;
    if (!file.open(QIODevice::ReadOnly))
        return annotations;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("action"))
            *actionId = xml.attributes().value(QLatin1String("id")).toString();
        else if (xml.name() == QLatin1String("annotate")) {
            const QString key = xml.attributes().value(QLatin1String("key")).toString();
            annotations.insert(key, xml.readElementText());
        }
    }
    return annotations;
}

// A stand-in pkexec and xhost, a runtime folder and a home. xhost keeps
// root's entry as a file; pkexec records whether root may use the display, the
// cookie it got and its arguments, then exits with its status or, for "wait",
// runs until "<its file>.done" exists.
struct StandIns {
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString log() const { return path(QStringLiteral("calls")); }
    QString allowed() const { return path(QStringLiteral("root-allowed")); }

    void write(const QString &status, bool xhostWorks)
    {
        for (const char *folder : {"runtime", "home", "bin"})
            QDir(dir.path()).mkpath(QLatin1String(folder));
        const QString record = QStringLiteral("for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } >> '%1'").arg(log());
        writeScript(path(QStringLiteral("bin/xhost")),
                    QStringLiteral("#!/bin/sh\n{ printf xhost; %2\n%3\ncase $1 in\n"
                                   "  '') [ -e '%1' ] && echo SI:localuser:root ;;\n"
                                   "  +SI:localuser:root) : > '%1' ;;\n  -SI:localuser:root) rm -f '%1' ;;\nesac\nexit 0\n")
                        .arg(allowed(), record, xhostWorks ? QString() : QStringLiteral("exit 1")));
        const QString wait = QStringLiteral(": > \"$2.started\"\nwhile [ ! -e \"$2.done\" ]; do sleep 0.05; done\n");
        writeScript(path(QStringLiteral("bin/pkexec")),
                    QStringLiteral("#!/bin/sh\nif [ -e '%1' ]; then state=allowed; else state=denied; fi\n"
                                   "{ printf 'pkexec as root-%s cookie=%s' $state \"${XAUTHORITY-}\"; %2\n%3")
                        .arg(allowed(), record, status == QLatin1String("wait") ? wait : "exit " + status + '\n'));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), path(QStringLiteral("bin")) + ":/usr/bin:/bin");
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
        environment.remove(QStringLiteral("XAUTHORITY"));
        environment.remove(QStringLiteral("PWD"));
        return environment;
    }

    // One call a line; a name may hold a line end of its own.
    QString calls() const { return QFile::exists(log()) ? QString::fromUtf8(readFile(log())) : QString(); }
    // The watchers are done: no run is listed any more.
    bool runsOver() const
    {
        return QDir(path(QStringLiteral("runtime"))).entryList({QStringLiteral("*.runs")}, QDir::Files).isEmpty();
    }
};

}  // namespace

class TestAdminLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_prefix;
    QString m_program;

    QString launcherPath() const { return m_prefix + QStringLiteral("/bin/cvconfmanager-pkexec"); }
    QString pkexecCall(const char *state, const QString &cookie, const QStringList &files) const
    {
        QString call = QStringLiteral("pkexec as root-%1 cookie=%2 [%3]").arg(QLatin1String(state), cookie, m_program);
        for (const QString &file : files)
            call += " [" + file + "]";
        return call + '\n';
    }
    void startLauncher(QProcess &launcher, const StandIns &standIns, const QString &file) const
    {
        launcher.setProcessEnvironment(standIns.environment());
        launcher.start(launcherPath(), {file});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file + ".started"), 10000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        // A blank and a quote in the prefix, which the launcher has to carry
        // through the shell unchanged.
        m_prefix = m_work.filePath(QStringLiteral("pre fix'x"));
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(CV_CMAKE), {"--install", QStringLiteral(CV_BUILD_DIR), "--prefix", m_prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        m_program = m_prefix + QStringLiteral("/lib/cvconfmanager/CVConfManager");
    }

    // Status 2 with no files: refused, nothing called.
    void launcher_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");  // as pkexec gets them, "./" for the working directory
        QTest::addColumn<QString>("message");

        const QString usage = QStringLiteral("Write a FILE whose name begins with a dash as ./-name or -- -name.");
        const QStringList conf{"/etc/corvane/corvane.conf"};
        const QStringList none;
        QTest::newRow("program succeeds") << "" << 0 << conf << conf << "";
        QTest::newRow("program fails") << "" << 1 << conf << conf << "";
        QTest::newRow("authentication dismissed") << "" << 126 << conf << conf << "";
        QTest::newRow("authorisation refused") << "" << 127 << conf << conf << "";
        QTest::newRow("no argument") << "" << 0 << none << none << "";
        QTest::newRow("-- alone: no file") << "" << 0 << QStringList{"--"} << none << "";
        QTest::newRow("relative path made absolute") << "" << 0 << QStringList{"conf/my corvane.conf"}
                                                     << QStringList{"./conf/my corvane.conf"} << "";
        QTest::newRow("-- rel.conf") << "" << 0 << QStringList{"--", "rel.conf"} << QStringList{"./rel.conf"} << "";
        QTest::newRow("-- -rel.conf: a file") << "" << 0 << QStringList{"--", "-rel.conf"} << QStringList{"./-rel.conf"}
                                              << "";
        QTest::newRow("-rel.conf refused") << "" << 2 << QStringList{"-rel.conf"} << none << usage;
        QTest::newRow("-style fusion rel.conf refused") << "" << 2 << QStringList{"-style", "fusion", "rel.conf"} << none
                                                        << usage;
        QTest::newRow("-platformpluginpath refused")
            << "" << 2 << QStringList{"-platformpluginpath", "/tmp/plugins", "-platform", "evil"} << none << usage;
        QTest::newRow("two files refused") << "" << 2 << QStringList{"/tmp/a.conf", "b.conf"} << none << "one file at most";
        QTest::newRow("-- and two files refused") << "" << 2 << QStringList{"--", "a.conf", "b"} << none << "one file at most";
        QTest::newRow("empty name refused") << "" << 2 << QStringList{""} << none << "no file";
        QTest::newRow("working directory ending in a line end") << "line end" << 0 << QStringList{"rel.conf"}
                                                                << QStringList{"./rel.conf"} << "";
        QTest::newRow("deleted working directory refused")
            << "deleted" << 2 << QStringList{"rel.conf"} << none << "give FILE as an absolute path";
        QTest::newRow("deleted working directory, absolute path") << "deleted" << 0 << conf << conf << "";
        QTest::newRow("root already allowed: left so") << "root allowed" << 0 << conf << conf << "";
        QTest::newRow("no display") << "no display" << 0 << conf << conf << "";
        QTest::newRow("display unreachable") << "unreachable" << 0 << conf << conf << "";
        QTest::newRow("cookie in XAUTHORITY: no xhost") << "cookie" << 0 << conf << conf << "";
        QTest::newRow("cookie in the home: passed on") << "home cookie" << 0 << conf << conf << "";
        QTest::newRow("grant of an ended run, not yet taken back") << "ended run" << 0 << conf << conf << "";
        QTest::newRow("no runtime folder: no grant") << "no runtime folder" << 0 << conf << conf << "XDG_RUNTIME_DIR";
    }
    void launcher()
    {
        QFETCH(QString, setting);
        QFETCH(int, status);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QFETCH(QString, message);

        StandIns standIns;
        standIns.write(QString::number(status), setting != QLatin1String("unreachable"));
        if (setting == QLatin1String("root allowed") || setting == QLatin1String("ended run"))
            writeFile(standIns.allowed(), {});
        if (setting == QLatin1String("ended run"))  // a process number above the kernel's highest
            writeFile(standIns.path(QStringLiteral("runtime/cvconfmanager-pkexec._7.runs")), "granted\n99999999\n");
        QProcessEnvironment environment = standIns.environment();
        if (setting == QLatin1String("no display"))
            environment.remove(QStringLiteral("DISPLAY"));
        if (setting == QLatin1String("no runtime folder"))
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QString cookie;
        if (setting.endsWith(QLatin1String("cookie"))) {
            cookie = standIns.path(setting == QLatin1String("cookie") ? QStringLiteral("cookie")
                                                                      : QStringLiteral("home/.Xauthority"));
            writeFile(cookie, "MIT-MAGIC-COOKIE-1");
            if (setting == QLatin1String("cookie"))
                environment.insert(QStringLiteral("XAUTHORITY"), cookie);
        }
        const QString workingDir = standIns.path(setting == QLatin1String("line end") ? QStringLiteral("work\n")
                                                                                       : QStringLiteral("work"));
        QVERIFY(QDir().mkdir(workingDir));

        QProcess launcher;
        launcher.setProcessEnvironment(environment);
        launcher.setWorkingDirectory(workingDir);
        if (setting == QLatin1String("deleted"))
            launcher.setChildProcessModifier([workingDir] { ::rmdir(QFile::encodeName(workingDir).constData()); });
        launcher.start(launcherPath(), arguments);
        QVERIFY(launcher.waitForFinished(30000));
        QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher.exitCode(), status);
        const QString err = QString::fromUtf8(launcher.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));

        // xhost is asked only without a cookie, and grants only where root
        // lacks access; the grant is taken back after the run.
        QString expected;
        if (status != 2 || !files.isEmpty()) {
            const bool ended = setting == QLatin1String("ended run");
            const bool asked = cookie.isEmpty() && !setting.startsWith(QLatin1String("no ")) && !ended;
            const bool grants =
                ended || (asked && setting != QLatin1String("root allowed") && setting != QLatin1String("unreachable"));
            QStringList absolute;
            for (const QString &file : files)
                absolute << (file.startsWith(QLatin1String("./")) ? workingDir + file.mid(1) : file);
            expected = (asked ? Query + '\n' : QString()) + (grants ? Grant + '\n' : QString())
                       + pkexecCall(grants || setting == QLatin1String("root allowed") ? "allowed" : "denied", cookie,
                                    absolute)
                       + (grants ? Revoke + '\n' : QString());
        }
        QTRY_VERIFY_WITH_TIMEOUT(standIns.runsOver(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(standIns.calls(), expected, 10000);
        QCOMPARE(QFile::exists(standIns.allowed()), setting == QLatin1String("root allowed"));
    }

    // However the launcher's process ends, root's access ends with it.
    void revokedWhenKilled_data()
    {
        QTest::addColumn<int>("signal");
        for (const int signal : {SIGKILL, SIGQUIT, SIGUSR1, SIGALRM, SIGPIPE, SIGTERM, SIGHUP, SIGINT})
            QTest::newRow(sigabbrev_np(signal)) << signal;
    }
    void revokedWhenKilled()
    {
        QFETCH(int, signal);
        StandIns standIns;
        standIns.write(QStringLiteral("wait"), true);
        QProcess launcher;
        startLauncher(launcher, standIns, standIns.path(QStringLiteral("a.conf")));
        QVERIFY(QFile::exists(standIns.allowed()));
        QCOMPARE(::kill(pid_t(launcher.processId()), signal), 0);
        QVERIFY(launcher.waitForFinished(10000));
        QCOMPARE(launcher.exitStatus(), QProcess::CrashExit);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(standIns.allowed()), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(standIns.runsOver(), 10000);
        QVERIFY(standIns.calls().endsWith(Revoke + '\n'));
    }

    // The first of two overlapping runs to end leaves the grant to the other.
    void overlappingRunsShareTheGrant()
    {
        StandIns standIns;
        standIns.write(QStringLiteral("wait"), true);
        QProcess first;
        QProcess second;
        startLauncher(first, standIns, standIns.path(QStringLiteral("a.conf")));
        startLauncher(second, standIns, standIns.path(QStringLiteral("b.conf")));
        writeFile(standIns.path(QStringLiteral("a.conf.done")), {});
        QVERIFY(first.waitForFinished(10000));
        // The first run's watcher has left the list: the mode and one run stay.
        QTRY_COMPARE_WITH_TIMEOUT(
            readFile(standIns.path(QStringLiteral("runtime/cvconfmanager-pkexec._7.runs"))).count('\n'), 2, 10000);
        QVERIFY(QFile::exists(standIns.allowed()));
        writeFile(standIns.path(QStringLiteral("b.conf.done")), {});
        QVERIFY(second.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(standIns.runsOver(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(standIns.allowed()), 10000);
        QCOMPARE(standIns.calls(), Query + '\n' + Grant + '\n' + pkexecCall("allowed", {}, {standIns.path("a.conf")})
                                       + pkexecCall("allowed", {}, {standIns.path("b.conf")}) + Revoke + '\n');
    }

    void policyValidates()
    {
        const QString dtd = QStringLiteral("/usr/share/polkit-1/policyconfig-1.dtd");
        if (!QFile::exists(dtd))
            QFAIL("polkit's DTD is missing: the Debian package polkitd ships it (scripts/setup-machine.sh tests)");
        QProcess xmllint;
        xmllint.setProcessChannelMode(QProcess::MergedChannels);
        xmllint.start(QStringLiteral("xmllint"), {"--noout", "--nonet", "--dtdvalid", dtd, policyPath()});
        QVERIFY2(xmllint.waitForFinished(30000), "xmllint (libxml2-utils) did not run");
        QVERIFY2(xmllint.exitStatus() == QProcess::NormalExit && xmllint.exitCode() == 0,
                 xmllint.readAll().constData());
    }

    // allow_gui keeps DISPLAY and XAUTHORITY for the program: the cookie reaches root.
    void policyNamesTheProgram()
    {
        QString actionId;
        const QMap<QString, QString> annotations = annotationsOf(policyPath(), &actionId);
        QCOMPARE(actionId, QStringLiteral("org.example.cvconfmanager.pkexec"));
        QCOMPARE(annotations.value(QStringLiteral("org.freedesktop.policykit.exec.path")), m_program);
        QCOMPARE(annotations.value(QStringLiteral("org.freedesktop.policykit.exec.allow_gui")), QStringLiteral("true"));
        QVERIFY(QFileInfo(m_program).isExecutable());
    }

private:
    QString policyPath() const
    {
        return m_prefix + QStringLiteral("/share/polkit-1/actions/org.example.cvconfmanager.policy");
    }
};

QTEST_GUILESS_MAIN(TestAdminLauncher)
#include "tst_adminlauncher.moc"
