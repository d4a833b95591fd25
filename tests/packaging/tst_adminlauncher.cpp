// Editing as administrator: the installed cvconfmanager-pkexec run with a
// stand-in pkexec and xhost first on PATH, which record every call, and the
// polkit action installed beside it.

#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

const QString GrantRoot = QStringLiteral("+SI:localuser:root");
const QString RevokeRoot = QStringLiteral("-SI:localuser:root");

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

}  // namespace

class TestAdminLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_prefix;
    QString m_program;

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
        QTest::addColumn<bool>("display");
        QTest::addColumn<bool>("rootAllowed");
        QTest::addColumn<bool>("xhostWorks");
        QTest::addColumn<int>("programStatus");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("passedOn");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("rootAllowedAfter");

        // "@" stands for the program's path, "." for the working directory.
        const QString query = QStringLiteral("xhost");
        const QString grant = "xhost [" + GrantRoot + "]";
        const QString revoke = "xhost [" + RevokeRoot + "]";
        const QString run = QStringLiteral("pkexec as root-allowed [@] [/etc/corvane/corvane.conf]");
        const QStringList conf{"/etc/corvane/corvane.conf"};

        QTest::newRow("program succeeds") << true << false << true << 0 << conf << conf
                                          << QStringList{query, grant, run, revoke} << false;
        QTest::newRow("program fails") << true << false << true << 1 << conf << conf
                                       << QStringList{query, grant, run, revoke} << false;
        QTest::newRow("authentication dismissed") << true << false << true << 126 << conf << conf
                                                  << QStringList{query, grant, run, revoke} << false;
        QTest::newRow("authorisation refused") << true << false << true << 127 << conf << conf
                                               << QStringList{query, grant, run, revoke} << false;
        QTest::newRow("root already allowed: left so") << true << true << true << 0 << conf << conf
                                                        << QStringList{query, run} << true;
        QTest::newRow("no display") << false << false << true << 0 << conf << conf
                                    << QStringList{"pkexec as root-denied [@] [/etc/corvane/corvane.conf]"} << false;
        QTest::newRow("display unreachable") << true << false << false << 0 << conf << conf
                                             << QStringList{query, grant,
                                                            "pkexec as root-denied [@] [/etc/corvane/corvane.conf]"}
                                             << false;
        QTest::newRow("no argument") << true << false << true << 0 << QStringList() << QStringList()
                                     << QStringList{query, grant, "pkexec as root-allowed [@]", revoke} << false;
        QTest::newRow("relative path made absolute")
            << true << false << true << 0 << QStringList{"conf/my corvane.conf"} << QStringList{"./conf/my corvane.conf"}
            << QStringList{query, grant, "pkexec as root-allowed [@] [./conf/my corvane.conf]", revoke} << false;
        QTest::newRow("toolkit option unchanged")
            << true << false << true << 0 << QStringList{"-reverse"} << QStringList{"-reverse"}
            << QStringList{query, grant, "pkexec as root-allowed [@] [-reverse]", revoke} << false;
        QTest::newRow("further arguments passed on")
            << true << false << true << 0 << QStringList{"/tmp/a.conf", "b c"} << QStringList{"/tmp/a.conf", "b c"}
            << QStringList{query, grant, "pkexec as root-allowed [@] [/tmp/a.conf] [b c]", revoke} << false;
    }
    void launcher()
    {
        QFETCH(bool, display);
        QFETCH(bool, rootAllowed);
        QFETCH(bool, xhostWorks);
        QFETCH(int, programStatus);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, calls);
        QFETCH(bool, rootAllowedAfter);

        QTemporaryDir bin;
        QTemporaryDir cwd;
        const QString log = bin.filePath(QStringLiteral("calls"));
        const QString allowed = bin.filePath(QStringLiteral("root-allowed"));
        if (rootAllowed)
            QVERIFY(QFile(allowed).open(QIODevice::WriteOnly));

        // xhost keeps its access list in a file: root's entry is there or not.
        writeScript(bin.filePath(QStringLiteral("xhost")),
                    QStringLiteral("#!/bin/sh\n"
                                   "{ printf xhost; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } >> '%1'\n"
                                   "%3\n"
                                   "case $1 in\n"
                                   "  '') echo 'access control enabled, only authorized clients can connect'\n"
                                   "      [ -e '%2' ] && echo SI:localuser:root ;;\n"
                                   "  +SI:localuser:root) : > '%2'; echo 'localuser:root being added to access control list' ;;\n"
                                   "  -SI:localuser:root) rm -f '%2'; echo 'localuser:root being removed from access control list' ;;\n"
                                   "esac\n"
                                   "exit 0\n")
                        .arg(log, allowed, xhostWorks ? QString() : QStringLiteral("echo 'xhost:  unable to open display' >&2; exit 1")));
        writeScript(bin.filePath(QStringLiteral("pkexec")),
                    QStringLiteral("#!/bin/sh\n"
                                   "if [ -e '%2' ]; then state=allowed; else state=denied; fi\n"
                                   "{ printf 'pkexec as root-%s' $state; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } >> '%1'\n"
                                   "exit %3\n")
                        .arg(log, allowed)
                        .arg(programStatus));

        QProcess launcher;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin.path() + ":/usr/bin:/bin");
        if (display)
            environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
        else
            environment.remove(QStringLiteral("DISPLAY"));
        launcher.setProcessEnvironment(environment);
        launcher.setWorkingDirectory(cwd.path());
        launcher.start(m_prefix + QStringLiteral("/bin/cvconfmanager-pkexec"), arguments);
        QVERIFY(launcher.waitForFinished(30000));
        QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(launcher.exitCode(), programStatus);

        QStringList expected;
        for (QString call : calls)
            expected << call.replace(QLatin1String("[@]"), "[" + m_program + "]")
                            .replace(QLatin1String("[./"), "[" + cwd.path() + "/");
        QCOMPARE(QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts), expected);
        QCOMPARE(QFile::exists(allowed), rootAllowedAfter);
    }

    // Killed while the program runs, the launcher still takes the access back.
    void revokedWhenInterrupted()
    {
        QTemporaryDir bin;
        const QString log = bin.filePath(QStringLiteral("calls"));
        const QString started = bin.filePath(QStringLiteral("started"));
        writeScript(bin.filePath(QStringLiteral("xhost")),
                    QStringLiteral("#!/bin/sh\n"
                                   "{ printf xhost; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } >> '%1'\n")
                        .arg(log));
        writeScript(bin.filePath(QStringLiteral("pkexec")),
                    QStringLiteral("#!/bin/sh\n"
                                   "echo pkexec >> '%1'\n"
                                   ": > '%2'\n"
                                   "sleep 1\n")
                        .arg(log, started));
        QProcess launcher;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin.path() + ":/usr/bin:/bin");
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
        launcher.setProcessEnvironment(environment);
        launcher.start(m_prefix + QStringLiteral("/bin/cvconfmanager-pkexec"), {});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
        launcher.terminate();
        QVERIFY(launcher.waitForFinished(10000));
        QCOMPARE(launcher.exitCode(), 143);
        QCOMPARE(QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts),
                 (QStringList{"xhost", "xhost [" + GrantRoot + "]", "pkexec", "xhost [" + RevokeRoot + "]"}));
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
