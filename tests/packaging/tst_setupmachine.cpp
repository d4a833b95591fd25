// scripts/setup-machine.sh with stand-ins for dpkg-query, locale, apt-get,
// locale-gen, tee and sudo: each task installs what it needs and nothing more,
// says so first, and without root or a usable sudo prints the one command to
// run as root. The search path holds the stand-ins and links to the few real
// tools the script uses, nothing else: the machine's sudo, apt-get and
// locale-gen are out of reach. Rows for an ordinary user run as nobody.

#include "TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

const QStringList Build{"cmake", "g++", "libxxhash-dev", "make", "qt6-base-dev"};
const QStringList Run{"fonts-liberation"};
const QStringList Clang{"clang-14", "libclang-rt-14-dev", "llvm-14"};
// A few of the tools that only the tests need.
const QStringList TestTools{"xvfb", "appstream", "libxml2-utils", "polkitd", "locales"};
const QStringList AllLocales{"de_DE.iso88591", "de_DE.utf8", "tr_TR.utf8"};
const QString Everything = QStringLiteral("*");
// What the script runs besides the stand-ins.
const QStringList RealTools{"bash", "env", "grep", "sed", "awk", "tr", "id", "dirname", "basename", "cat"};

const QString Update = QStringLiteral("apt-get update -q");
const QString Install = QStringLiteral("apt-get install -y -q --no-install-recommends");

void writeLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(lines.join('\n').toUtf8() + '\n');
}

}  // namespace

class TestSetupMachine : public QObject {
    Q_OBJECT

    bool m_root = ::geteuid() == 0;

private slots:
    void setup_data()
    {
        QTest::addColumn<QString>("task");
        QTest::addColumn<bool>("asRoot");
        QTest::addColumn<QString>("sudo");  // none, refuses, needs a terminal, works
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("locales");
        QTest::addColumn<int>("exitCode");
        // The calls in order; an install is listed without its packages.
        QTest::addColumn<QStringList>("calls");
        // The packages installed exactly; or, where empty, those it must and
        // must not include.
        QTest::addColumn<QStringList>("packages");
        QTest::addColumn<QStringList>("includes");
        QTest::addColumn<QStringList>("excludes");
        QTest::addColumn<QStringList>("announced");
        QTest::addColumn<QString>("complaint");  // on the error output

        const QStringList none;
        const QStringList installing{Update, Install};
        const QStringList installingAndLocales{Update, Install, "locale-gen"};

        QTest::newRow("demo, nothing missing: silent") << "demo" << true << "none" << (Build + Run) << none << 0
                                                      << none << none << none << none << none << QString();
        QTest::newRow("demo: build and run only, no locales")
            << "demo" << true << "none" << none << none << 0 << installing << (Build + Run) << none << none
            << QStringList{"to build the program: cmake g++ libxxhash-dev make qt6-base-dev", "to run it on a desktop: fonts-liberation"}
            << QString();
        QTest::newRow("demo: only the missing ones")
            << "demo" << true << "none" << QStringList{"cmake", "g++"} << AllLocales << 0 << installing
            << QStringList{"libxxhash-dev", "make", "qt6-base-dev", "fonts-liberation"} << none << none
            << QStringList{"To install with apt-get, 4 Debian packages:"} << QString();
        QTest::newRow("fuzz: clang and the symbolizer, no locales")
            << "fuzz" << true << "none" << none << none << 0 << installing << (Build + Clang) << none << none
            << QStringList{"llvm-symbolizer: clang-14 libclang-rt-14-dev llvm-14"} << QString();
        QTest::newRow("tests: test tools and locales")
            << "tests" << true << "none" << none << none << 0 << installingAndLocales << none
            << (Build + Run + TestTools) << (Clang + QStringList{"libxcb1-dev", "pkg-config"})
            << QStringList{"to run the tests:", "To generate system-wide", "de_DE.ISO-8859-1", "de_DE.UTF-8", "tr_TR.UTF-8"}
            << QString();
        QTest::newRow("tests, only a locale missing")
            << "tests" << true << "none" << QStringList{Everything} << QStringList{"de_DE.utf8"} << 0
            << QStringList{"locale-gen"} << none << none << none << QStringList{"de_DE.ISO-8859-1", "tr_TR.UTF-8"}
            << QString();
        QTest::newRow("tests, nothing missing: silent") << "tests" << true << "none" << QStringList{Everything}
                                                        << AllLocales << 0 << none << none << none << none << none
                                                        << QString();
        QTest::newRow("sanitizers: everything")
            << "sanitizers" << true << "none" << none << none << 0 << installingAndLocales << none
            << (Build + Run + TestTools + Clang) << none << QStringList{"To generate system-wide"} << QString();
        QTest::newRow("user with sudo")
            << "demo" << false << "works" << none << AllLocales << 0
            << QStringList{"sudo -v", "sudo " + Update, Update, "sudo env DEBIAN_FRONTEND=noninteractive " + Install,
                           Install}
            << (Build + Run) << none << none << QStringList{"to build the program"} << QString();
        QTest::newRow("user with sudo, locales")
            << "tests" << false << "works" << QStringList{Everything} << none << 0
            << QStringList{"sudo -v", "sudo locale-gen", "locale-gen"} << none << none << none << none << QString();
        QTest::newRow("user without sudo") << "demo" << false << "none" << none << AllLocales << 1 << none << none
                                           << none << none << QStringList{"to build the program"}
                                           << "not root and has no sudo";
        QTest::newRow("user whose sudo refuses") << "tests" << false << "refuses" << none << none << 1
                                                 << QStringList{"sudo -v"} << none << none << none
                                                 << QStringList{"To generate system-wide"}
                                                 << "sudo refused:\n  Sorry, user nobody may not run sudo.\n";
        QTest::newRow("user whose sudo needs a terminal")
            << "demo" << false << "needs a terminal" << none << AllLocales << 1 << QStringList{"sudo -v"} << none << none
            << none << none << "  sudo: a terminal is required to read the password\n  sudo: a password is required\n";
        QTest::newRow("one package: singular")
            << "demo" << true << "none" << Build << AllLocales << 0 << installing
            << Run << none << none << QStringList{"To install with apt-get, 1 Debian package:\n"} << QString();
        QTest::newRow("user, nothing missing, needs no root")
            << "fuzz" << false << "none" << (Build + Clang) << none << 0 << none << none << none << none << none
            << QString();
        // The build dependencies are read from debian/control, as names apt-get knows.
        QTest::newRow("packaging: build dependencies and checkers")
            << "packaging" << true << "none" << QStringList{"cmake"} << none << 0 << installing << none
            << QStringList{"debhelper", "qt6-base-dev", "librsvg2-bin", "lintian", "autopkgtest", "xvfb"}
            << QStringList{"debhelper-compat", "cmake", "fonts-liberation", "locales"}
            << QStringList{"to build and check the Debian packages: build-essential"} << QString();
        QTest::newRow("unknown task") << "everything" << true << "none" << none << none << 2 << none << none << none
                                      << none << none << QString();
    }
    void setup()
    {
        QFETCH(QString, task);
        QFETCH(bool, asRoot);
        QFETCH(QString, sudo);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, locales);
        QFETCH(int, exitCode);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, packages);
        QFETCH(QStringList, includes);
        QFETCH(QStringList, excludes);
        QFETCH(QStringList, announced);
        QFETCH(QString, complaint);

        if (asRoot && !m_root)
            QSKIP("runs the script as root, and this test does not run as root");
        const bool asNobody = !asRoot && m_root;

        // Everything here must be reachable for nobody.
        QTemporaryDir work;
        QCOMPARE(::chmod(encoded(work.path()).constData(), 0755), 0);
        const QString bin = work.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkdir(bin));
        QCOMPARE(::chmod(encoded(bin).constData(), 0755), 0);
        const QString log = work.filePath(QStringLiteral("calls"));
        writeLines(log, {});
        QCOMPARE(::chmod(encoded(log).constData(), 0666), 0);
        writeLines(work.filePath(QStringLiteral("installed")), installed);
        writeLines(work.filePath(QStringLiteral("locales")), locales + QStringList{"C", "C.utf8", "POSIX"});
        // The script beside the debian/ folder it reads, as in the source tree.
        for (const char *folder : {"scripts", "debian"}) {
            QVERIFY(QDir(work.path()).mkdir(QLatin1String(folder)));
            QCOMPARE(::chmod(encoded(work.filePath(QLatin1String(folder))).constData(), 0755), 0);
        }
        QVERIFY(QFile::copy(QStringLiteral(CV_SOURCE_DIR "/debian/control"), work.filePath(QStringLiteral("debian/control"))));
        const QString script = work.filePath(QStringLiteral("scripts/setup-machine.sh"));
        QVERIFY(QFile::copy(QStringLiteral(CV_SOURCE_DIR "/scripts/setup-machine.sh"), script));
        QCOMPARE(::chmod(encoded(script).constData(), 0755), 0);

        const QString record = QStringLiteral("echo \"%1 $*\" >> '%2'\n").arg("%1", log);
        writeScript(bin + "/dpkg-query",
                    QStringLiteral("#!/bin/sh\n"
                                   "for a; do package=$a; done\n"
                                   "if grep -qxF -e \"$package\" -e '*' '%1'; then printf 'install ok installed'; fi\n")
                        .arg(work.filePath(QStringLiteral("installed"))));
        writeScript(bin + "/locale",
                    QStringLiteral("#!/bin/sh\ncat '%1'\n").arg(work.filePath(QStringLiteral("locales"))));
        writeScript(bin + "/apt-get", "#!/bin/sh\n" + record.arg("apt-get"));
        writeScript(bin + "/locale-gen", "#!/bin/sh\n" + record.arg("locale-gen"));
        // /etc/locale.gen stays untouched.
        writeScript(bin + "/tee", QStringLiteral("#!/bin/sh\ncat > /dev/null\n"));
        if (sudo == QLatin1String("works"))
            // Whether tee runs depends on the machine's /etc/locale.gen: not recorded.
            writeScript(bin + "/sudo", "#!/bin/sh\n[ \"$1\" = tee ] || " + record.arg("sudo")
                                           + "[ \"$1\" = -v ] && exit 0\nexec \"$@\"\n");
        else if (sudo == QLatin1String("refuses"))
            writeScript(bin + "/sudo", "#!/bin/sh\n" + record.arg("sudo")
                                           + "echo 'Sorry, user nobody may not run sudo.' >&2\nexit 1\n");
        else if (sudo == QLatin1String("needs a terminal"))
            writeScript(bin + "/sudo", "#!/bin/sh\n" + record.arg("sudo")
                                           + "echo 'sudo: a terminal is required to read the password' >&2\n"
                                             "echo 'sudo: a password is required' >&2\nexit 1\n");
        for (const QString &tool : RealTools)
            QVERIFY2(QFile::link(QStandardPaths::findExecutable(tool), bin + '/' + tool), qPrintable(tool));

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin);
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(work.path());
        if (asNobody)
            process.start(QStandardPaths::findExecutable(QStringLiteral("setpriv")),
                          {"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all", "--bounding-set=-all",
                           "--", script, task});
        else
            process.start(script, {task});
        QVERIFY(process.waitForFinished(30000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (asNobody && err.startsWith(QLatin1String("setpriv:")))
            QSKIP(qPrintable("cannot run as nobody here: " + err));
        QVERIFY2(process.exitCode() == exitCode, qPrintable(out + err));

        QStringList made = QString::fromUtf8(readFile(log)).split('\n', Qt::SkipEmptyParts);
        QStringList installedNow;
        for (QString &call : made) {
            call = call.trimmed();
            if (call.startsWith(Install)) {
                installedNow = call.mid(Install.size()).split(' ', Qt::SkipEmptyParts);
                call = Install;
            } else if (call.startsWith("sudo env DEBIAN_FRONTEND=noninteractive " + Install)) {
                call = "sudo env DEBIAN_FRONTEND=noninteractive " + Install;
            }
        }
        QCOMPARE(made, calls);
        if (!packages.isEmpty())
            QCOMPARE(installedNow, packages);
        for (const QString &package : includes)
            QVERIFY2(installedNow.contains(package), qPrintable(package + " not installed: " + installedNow.join(' ')));
        for (const QString &package : excludes)
            QVERIFY2(!installedNow.contains(package), qPrintable(package + " installed for " + task));

        for (const QString &text : announced)
            QVERIFY2(out.contains(text), qPrintable("\"" + text + "\" not announced in:\n" + out));
        QVERIFY2(err.contains(complaint), qPrintable(err));
        if (calls.isEmpty() && exitCode == 0)
            QCOMPARE(out + err, QString());

        // The one command for root: this script, for this task.
        const bool hint = exitCode == 1;
        QCOMPARE(err.contains(QStringLiteral("Run this one command as root")), hint);
        QCOMPARE(err.contains("\n  " + script + " " + task + "\n"), hint);
        // The announcement comes before anything is installed or refused.
        if (!calls.isEmpty() || hint)
            QVERIFY2(out.startsWith("Setting up this machine for: " + task + "\n"), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestSetupMachine)
#include "tst_setupmachine.moc"
