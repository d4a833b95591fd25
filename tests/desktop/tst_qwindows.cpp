// Launching the desktop's opener: the arguments it receives, inputs that must not
// reach the shell as code, and a GUI thread that never waits for the browser.

#include "desktop/QWindows.h"
#include "EnvironmentVariable.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <optional>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Address = QStringLiteral("https://www.corvane.example/cvconfmanager/");
// As root the opener runs as this user, the tests' SUDO_UID: what it must
// reach is open to everyone.
constexpr uid_t Nobody = 65534;

bool openToEveryone(const QString &path) { return ::chmod(QFile::encodeName(path).constData(), 0777) == 0; }

// An opener (kfmclient unless named otherwise) first on PATH that writes its
// working directory and its arguments, one per line in brackets, after its
// user, groups and home; a held one first waits until it is released, or
// 30 s at most.
class FakeOpener {
public:
    enum Start { Free, Held };
    explicit FakeOpener(Start start = Free, const QString &name = QStringLiteral("kfmclient"))
        : m_oldPath(qgetenv("PATH"))
    {
        const QString script = m_dir.filePath(name);
        QFile file(script);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QStringLiteral("#!/bin/sh\n"
                                      "i=%1; while [ $i -gt 0 ] && [ ! -e '%3' ]; do sleep 0.1; i=$((i-1)); done\n"
                                      "{ id -u; id -G; echo \"$HOME\"; } > '%4'\n"
                                      "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '%2.part'\n"
                                      "mv '%2.part' '%2'\n")
                           .arg(start == Held ? 300 : 0)
                           .arg(recordPath())
                           .arg(releasePath())
                           .arg(identityPath())
                           .toUtf8());
            file.close();
        }
        openToEveryone(script);
        openToEveryone(m_dir.path());
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
    }
    ~FakeOpener() { qputenv("PATH", m_oldPath); }

    QString recordPath() const { return m_dir.filePath(QStringLiteral("record")); }
    QString releasePath() const { return m_dir.filePath(QStringLiteral("release")); }
    QString identityPath() const { return m_dir.filePath(QStringLiteral("identity")); }
    bool release() const { return QFile(releasePath()).open(QIODevice::WriteOnly); }

    // The record, or a note that none came within the time.
    QByteArray waitForRecord(int timeoutMs = 10000) const
    {
        QFile record(recordPath());
        QElapsedTimer waited;
        waited.start();
        while (!record.exists() && waited.elapsed() < timeoutMs)
            QTest::qSleep(50);
        return record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray("<no record>");
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

QByteArray recordOf(const QString &directory, const QStringList &arguments)
{
    QByteArray record = QFile::encodeName(directory) + '\n';
    for (const QString &argument : arguments)
        record += '[' + argument.toUtf8() + "]\n";
    return record;
}

}  // namespace

class TestQWindows : public QObject {
    Q_OBJECT

    std::optional<EnvironmentVariable> m_pkexecUid, m_sudoUid;

private slots:
    void initTestCase()
    {
        setlocale(LC_ALL, "C.UTF-8");
        QCOMPARE(DocumentOpenerCommand, ChooseDocumentOpener(qgetenv("PATH")));
        // The tests below put their own kfmclient first on PATH.
        DocumentOpenerCommand = QStringLiteral("kfmclient exec");
        if (::geteuid() == 0) {
            m_pkexecUid.emplace("PKEXEC_UID", QByteArray());
            m_sudoUid.emplace("SUDO_UID", QByteArray::number(Nobody));
        }
    }

    // The opener is chosen from the search path the program starts with:
    // kfmclient where the shell would find it, xdg-open elsewhere.
    void openerChosenAtStart_data()
    {
        QTest::addColumn<QString>("kfmclient");
        QTest::addColumn<QString>("opener");
        QTest::addColumn<QStringList>("arguments");

        QTest::newRow("kfmclient on the search path") << "program" << "kfmclient" << QStringList{"exec", Address};
        QTest::newRow("no kfmclient") << "" << "xdg-open" << QStringList{Address};
        QTest::newRow("kfmclient not executable") << "not executable" << "xdg-open" << QStringList{Address};
        QTest::newRow("kfmclient a directory") << "directory" << "xdg-open" << QStringList{Address};
    }
    void openerChosenAtStart()
    {
        QFETCH(QString, kfmclient);
        QFETCH(QString, opener);
        QFETCH(QStringList, arguments);

        QTemporaryDir bin;
        QVERIFY(openToEveryone(bin.path()));
        const QString record = bin.filePath(QStringLiteral("record"));
        // Each stand-in records under its own name; mv by its full path, as
        // the search path holds nothing but the stand-ins.
        auto writeOpener = [&](const QString &name, QFile::Permissions permissions) {
            QFile file(bin.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QStringLiteral("#!/bin/sh\n"
                                      "{ echo %1; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '%2.part'\n"
                                      "/bin/mv '%2.part' '%2'\n")
                           .arg(name, record)
                           .toUtf8());
            file.close();
            QVERIFY(file.setPermissions(permissions));
        };
        const auto executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        writeOpener(QStringLiteral("xdg-open"), executable);
        if (kfmclient == QLatin1String("program"))
            writeOpener(QStringLiteral("kfmclient"), executable);
        else if (kfmclient == QLatin1String("not executable"))
            writeOpener(QStringLiteral("kfmclient"), QFile::ReadOwner | QFile::WriteOwner);
        else if (kfmclient == QLatin1String("directory"))
            QVERIFY(QDir(bin.path()).mkdir(QStringLiteral("kfmclient")));

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(CV_OPEN_LINK_TOOL), {Address});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 1);

        QFile written(record);
        QElapsedTimer waited;
        waited.start();
        while (!written.exists() && waited.elapsed() < 10000)
            QTest::qSleep(50);
        QVERIFY2(written.open(QIODevice::ReadOnly), "no opener ran");
        QByteArray expected = opener.toUtf8() + '\n';
        for (const QString &argument : arguments)
            expected += '[' + argument.toUtf8() + "]\n";
        QCOMPARE(written.readAll(), expected);
    }

    // Whatever the inputs hold, the opener receives them as plain text and
    // nothing else runs: a "touch MARK" anywhere would leave a file behind.
    void hostileInputsDoNotExecute_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("directoryName");
        QTest::addColumn<QStringList>("arguments");

        const QStringList targets = {
            "$(touch MARK)", "`touch MARK`", "\"; touch MARK; \"", "\\\"; touch MARK; #", "x\\",
            "a\nb\"; touch MARK\n", "${IFS}$(touch${IFS}MARK)", "Gr\u00fc\u00dfe \"&touch MARK&\"",
        };
        for (const QString &target : targets)
            QTest::newRow(qPrintable("target " + target)) << target << "" << "" << QStringList{"exec", target};

        struct Words {
            const char *parameters;
            QStringList arguments;
        };
        const QList<Words> parameterRows = {
            {"; touch MARK", {";", "touch", "MARK"}},
            {"a && touch MARK", {"a", "&&", "touch", "MARK"}},
            {"| touch MARK", {"|", "touch", "MARK"}},
            {"$(touch MARK) `touch MARK`", {"$(touch", "MARK)", "`touch", "MARK`"}},
            {"\ntouch MARK", {"\ntouch", "MARK"}},
            {"\\", {"\\"}},
            {"'a b' \"c d\"", {"'a", "b'", "\"c", "d\""}},
        };
        for (const Words &row : parameterRows)
            QTest::newRow(qPrintable(QStringLiteral("parameters ") + row.parameters))
                << "x" << row.parameters << "" << (QStringList{"exec", "x"} + row.arguments);

        for (const QString name : {"$(touch MARK)", "\"; touch MARK; \"", "`touch MARK`\\"})
            QTest::newRow(qPrintable("directory " + name)) << "x" << "" << name << QStringList{"exec", "x"};
    }
    void hostileInputsDoNotExecute()
    {
        QFETCH(QString, target);
        QFETCH(QString, parameters);
        QFETCH(QString, directoryName);
        QFETCH(QStringList, arguments);

        QTemporaryDir work;
        QVERIFY(openToEveryone(work.path()));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        QString directory;
        if (!directoryName.isEmpty()) {
            directory = work.filePath(directoryName);
            QVERIFY(QDir().mkdir(directory) && openToEveryone(directory));
        }

        FakeOpener opener;
        const int result = LaunchDocument(QStringLiteral("open"), target, parameters, directory);
        const QByteArray record = opener.waitForRecord();
        QDir::setCurrent(previous);

        QCOMPARE(result, 1);
        QCOMPARE(record, recordOf(directory.isEmpty() ? work.path() : directory, arguments));
        QDirIterator found(work.path(), {"MARK"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY2(!found.hasNext(), "an input ran as a command");
    }

    // As root the opener runs as the user who started the program through
    // pkexec or sudo, with that user's groups and home, or not at all.
    void asRootOpenerRunsAsInvokingUser_data()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: only root's opener runs as another user");
        QTest::addColumn<QByteArray>("pkexecUid");
        QTest::addColumn<QByteArray>("sudoUid");
        QTest::addColumn<QString>("boundingSet");  // of capabilities, through setpriv
        QTest::addColumn<int>("result");
        const QByteArray nobody = QByteArray::number(Nobody);
        QTest::newRow("SUDO_UID") << QByteArray() << nobody << "+all" << int(LaunchStarted);
        QTest::newRow("PKEXEC_UID before SUDO_UID") << nobody << QByteArray("0") << "+all" << int(LaunchStarted);
        QTest::newRow("neither") << QByteArray() << QByteArray() << "+all" << int(LaunchNotAsRoot);
        QTest::newRow("SUDO_UID of root") << QByteArray() << QByteArray("0") << "+all" << int(LaunchNotAsRoot);
        QTest::newRow("unknown user") << QByteArray() << QByteArray("4000000000") << "+all" << int(LaunchNotAsRoot);
        QTest::newRow("no right to change user") << QByteArray() << nobody << "-setuid,-setgid" << int(LaunchNotAsRoot);
    }
    void asRootOpenerRunsAsInvokingUser()
    {
        QFETCH(QByteArray, pkexecUid);
        QFETCH(QByteArray, sudoUid);
        QFETCH(QString, boundingSet);
        QFETCH(int, result);
        FakeOpener opener;
        const EnvironmentVariable pkexec("PKEXEC_UID", pkexecUid), sudo("SUDO_UID", sudoUid);
        QProcess program;
        program.start("setpriv", {"--bounding-set=" + boundingSet, "--", CV_OPEN_LINK_TOOL, Address});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), result);
        if (result != LaunchStarted) {
            QCOMPARE(opener.waitForRecord(500), QByteArray("<no record>"));
            return;
        }
        QCOMPARE(opener.waitForRecord(), recordOf(QDir::currentPath(), {"exec", Address}));
        const struct passwd *user = ::getpwuid(Nobody);
        QFile identity(opener.identityPath());
        QVERIFY(user && identity.open(QIODevice::ReadOnly));
        QCOMPARE(identity.readAll(), QStringLiteral("%1\n%2\n%3\n").arg(Nobody).arg(user->pw_gid).arg(user->pw_dir).toUtf8());
    }

    void slowOpenerDoesNotBlock()
    {
        FakeOpener opener(FakeOpener::Held);
        QCOMPARE(LaunchDocument(QStringLiteral("open"), Address), 1);
        QVERIFY2(!QFile::exists(opener.recordPath()), "LaunchDocument waited for the opener");
        QVERIFY(opener.release());
        QCOMPARE(opener.waitForRecord(), recordOf(QDir::currentPath(), {"exec", Address}));
    }

    void missingOpenerStillSucceeds()
    {
        QTemporaryDir empty;
        QVERIFY(openToEveryone(empty.path()));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        const int result = LaunchDocument(QStringLiteral("open"), Address, QString(), QString());
        qputenv("PATH", oldPath);
        QCOMPARE(result, 1);
    }

    // A child without the right to start processes cannot run the shell.
    void shellCannotStart()
    {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const struct rlimit none {0, 0};
            if (::setrlimit(RLIMIT_NPROC, &none) != 0 || (::geteuid() == 0 && ::setuid(65534) != 0))
                ::_exit(2);
            ::_exit(LaunchDocument(QStringLiteral("open"), Address));
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void unlaunchableInputsRunNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("target");
        QTest::newRow("unknown operation") << "edit" << Address;
        QTest::newRow("NUL in target") << "open" << (Address + QChar(0) + "; touch MARK");
    }
    void unlaunchableInputsRunNothing()
    {
        QFETCH(QString, operation);
        QFETCH(QString, target);
        FakeOpener opener;
        QCOMPARE(LaunchDocument(operation, target), 0);
        QCOMPARE(opener.waitForRecord(500), QByteArray("<no record>"));
    }
};

QTEST_APPLESS_MAIN(TestQWindows)
#include "tst_qwindows.moc"
