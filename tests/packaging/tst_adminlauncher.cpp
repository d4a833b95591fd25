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

// A stand-in pkexec and xhost in a folder of their own, the runtime folder
// and a home. xhost keeps root's entry as a file; pkexec records whether root
// may use the display, the cookie it got and its arguments, and runs until a
// file "<its file argument>.done" exists when its status is "wait".
struct StandIns {
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString log() const { return path(QStringLiteral("calls")); }
    QString allowed() const { return path(QStringLiteral("root-allowed")); }

    void write(const QString &programStatus, bool xhostWorks)
    {
        QDir(dir.path()).mkpath(QStringLiteral("runtime"));
        QDir(dir.path()).mkpath(QStringLiteral("home"));
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        const QString args = QStringLiteral("for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo");
        writeScript(path(QStringLiteral("bin/xhost")),
                    QStringLiteral("#!/bin/sh\n{ printf xhost; %3; } >> '%1'\n%4\n"
                                   "case $1 in\n"
                                   "  '') echo 'access control enabled, only authorized clients can connect'\n"
                                   "      [ -e '%2' ] && echo SI:localuser:root ;;\n"
                                   "  +SI:localuser:root) : > '%2' ;;\n"
                                   "  -SI:localuser:root) rm -f '%2' ;;\n"
                                   "esac\nexit 0\n")
                        .arg(log(), allowed(), args,
                             xhostWorks ? QString() : QStringLiteral("echo 'xhost:  unable to open display' >&2; exit 1")));
        const QString wait = QStringLiteral(": > \"$2.started\"\nwhile [ ! -e \"$2.done\" ]; do sleep 0.05; done\n");
        writeScript(path(QStringLiteral("bin/pkexec")),
                    QStringLiteral("#!/bin/sh\n"
                                   "if [ -e '%2' ]; then state=allowed; else state=denied; fi\n"
                                   "{ printf 'pkexec as root-%s cookie=%s' $state \"${XAUTHORITY-}\"; %3; } >> '%1'\n"
                                   "%4")
                        .arg(log(), allowed(), args,
                             programStatus == QLatin1String("wait") ? wait : "exit " + programStatus + '\n'));
    }

    QProcessEnvironment environment(bool display = true) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), path(QStringLiteral("bin")) + ":/usr/bin:/bin");
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        environment.remove(QStringLiteral("XAUTHORITY"));
        environment.remove(QStringLiteral("PWD"));
        if (display)
            environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
        else
            environment.remove(QStringLiteral("DISPLAY"));
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
        return call;
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

    void launcher_data()
    {
        QTest::addColumn<QString>("cookie");  // none, XAUTHORITY, home
        QTest::addColumn<QString>("cwd");     // plain, line end, deleted
        QTest::addColumn<bool>("display");
        QTest::addColumn<bool>("runtimeDir");
        QTest::addColumn<bool>("rootAllowed");
        QTest::addColumn<bool>("xhostWorks");
        QTest::addColumn<int>("programStatus");
        QTest::addColumn<QStringList>("arguments");
        // The files pkexec gets, "./" standing for the working directory; none
        // when the launcher refuses with status 2.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("xhostCalls");  // around the run: before | after
        QTest::addColumn<QString>("message");

        const QStringList granted{Query, Grant, "|", Revoke};
        const QStringList none{"|"};
        const QString usage = QStringLiteral("Write a FILE whose name begins with a dash as ./-name or -- -name.");
        const QStringList conf{"/etc/corvane/corvane.conf"};
        auto row = [](const char *name) -> QTestData & {
            return QTest::newRow(name) << "none" << "plain" << true << true << false << true;
        };

        row("program succeeds") << 0 << conf << conf << granted << "";
        row("program fails") << 1 << conf << conf << granted << "";
        row("authentication dismissed") << 126 << conf << conf << granted << "";
        row("authorisation refused") << 127 << conf << conf << granted << "";
        row("no argument") << 0 << QStringList() << QStringList() << granted << "";
        row("-- alone: no file") << 0 << QStringList{"--"} << QStringList() << granted << "";
        row("relative path made absolute") << 0 << QStringList{"conf/my corvane.conf"}
                                           << QStringList{"./conf/my corvane.conf"} << granted << "";
        row("-- rel.conf") << 0 << QStringList{"--", "rel.conf"} << QStringList{"./rel.conf"} << granted << "";
        row("-- -rel.conf: a file") << 0 << QStringList{"--", "-rel.conf"} << QStringList{"./-rel.conf"} << granted << "";
        row("-rel.conf refused") << 2 << QStringList{"-rel.conf"} << QStringList() << QStringList() << usage;
        row("-style fusion rel.conf refused") << 2 << QStringList{"-style", "fusion", "rel.conf"} << QStringList()
                                              << QStringList() << usage;
        row("-platformpluginpath refused")
            << 2 << QStringList{"-platformpluginpath", "/tmp/plugins", "-platform", "evil"} << QStringList()
            << QStringList() << usage;
        row("two files refused") << 2 << QStringList{"/tmp/a.conf", "b.conf"} << QStringList() << QStringList()
                                 << "one file at most";
        row("-- and two files refused") << 2 << QStringList{"--", "a.conf", "b.conf"} << QStringList() << QStringList()
                                        << "one file at most";
        row("empty name refused") << 2 << QStringList{""} << QStringList() << QStringList() << "no file";
        QTest::newRow("working directory ending in a line end")
            << "none" << "line end" << true << true << false << true << 0 << QStringList{"rel.conf"}
            << QStringList{"./rel.conf"} << granted << "";
        QTest::newRow("deleted working directory refused")
            << "none" << "deleted" << true << true << false << true << 2 << QStringList{"rel.conf"} << QStringList()
            << QStringList() << "give FILE as an absolute path";
        QTest::newRow("deleted working directory, absolute path")
            << "none" << "deleted" << true << true << false << true << 0 << conf << conf << granted << "";
        QTest::newRow("root already allowed: left so")
            << "none" << "plain" << true << true << true << true << 0 << conf << conf << QStringList{Query, "|"} << "";
        QTest::newRow("no display") << "none" << "plain" << false << true << false << true << 0 << conf << conf << none
                                    << "";
        QTest::newRow("display unreachable")
            << "none" << "plain" << true << true << false << false << 0 << conf << conf << QStringList{Query, "|"} << "";
        QTest::newRow("cookie in XAUTHORITY: no xhost")
            << "XAUTHORITY" << "plain" << true << true << false << true << 0 << conf << conf << none << "";
        QTest::newRow("cookie in the home: passed on")
            << "home" << "plain" << true << true << false << true << 0 << conf << conf << none << "";
        QTest::newRow("no runtime folder: no grant")
            << "none" << "plain" << true << false << false << true << 0 << conf << conf << none << "XDG_RUNTIME_DIR";
    }
    void launcher()
    {
        QFETCH(QString, cookie);
        QFETCH(QString, cwd);
        QFETCH(bool, display);
        QFETCH(bool, runtimeDir);
        QFETCH(bool, rootAllowed);
        QFETCH(bool, xhostWorks);
        QFETCH(int, programStatus);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QFETCH(QStringList, xhostCalls);
        QFETCH(QString, message);

        StandIns standIns;
        standIns.write(QString::number(programStatus), xhostWorks);
        if (rootAllowed)
            writeFile(standIns.allowed(), {});
        QProcessEnvironment environment = standIns.environment(display);
        if (!runtimeDir)
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        QString passedCookie;
        if (cookie == QLatin1String("XAUTHORITY")) {
            passedCookie = standIns.path(QStringLiteral("cookie"));
            environment.insert(QStringLiteral("XAUTHORITY"), passedCookie);
        } else if (cookie == QLatin1String("home")) {
            passedCookie = standIns.path(QStringLiteral("home/.Xauthority"));
        }
        if (!passedCookie.isEmpty())
            writeFile(passedCookie, "MIT-MAGIC-COOKIE-1");

        const QString workingDir = standIns.path(cwd == QLatin1String("line end") ? QStringLiteral("work\n")
                                                                                   : QStringLiteral("work"));
        QVERIFY(QDir().mkdir(workingDir));
        QProcess launcher;
        launcher.setProcessEnvironment(environment);
        launcher.setWorkingDirectory(workingDir);
        if (cwd == QLatin1String("deleted")) {
            // The directory goes while the launcher's shell is on its way in.
            launcher.setChildProcessModifier([workingDir] { ::rmdir(QFile::encodeName(workingDir).constData()); });
        }
        launcher.start(launcherPath(), arguments);
        QVERIFY(launcher.waitForFinished(30000));
        QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher.exitCode(), programStatus);
        const QString err = QString::fromUtf8(launcher.readAllStandardError());
        QVERIFY2(err.contains(message), qPrintable(err));

        QStringList expected;
        if (programStatus != 2 || !files.isEmpty()) {
            const qsizetype split = xhostCalls.indexOf(QStringLiteral("|"));
            QStringList absolute;
            for (const QString &file : files)
                absolute << (file.startsWith(QLatin1String("./")) ? workingDir + file.mid(1) : file);
            const bool allowedNow = rootAllowed || xhostCalls.contains(Grant);
            expected << xhostCalls.mid(0, split) << pkexecCall(allowedNow ? "allowed" : "denied", passedCookie, absolute)
                     << xhostCalls.mid(split + 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(standIns.runsOver(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(standIns.calls(), expected.isEmpty() ? QString() : expected.join('\n') + '\n', 10000);
        QCOMPARE(QFile::exists(standIns.allowed()), rootAllowed);
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
        writeFile(standIns.path(QStringLiteral("a.conf.done")), {});
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
        QCOMPARE(standIns.calls(), QStringList({Query, Grant, pkexecCall("allowed", {}, {standIns.path("a.conf")}),
                                                pkexecCall("allowed", {}, {standIns.path("b.conf")}), Revoke})
                                          .join('\n')
                                      + '\n');
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
