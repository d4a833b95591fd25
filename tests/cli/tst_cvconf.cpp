// cvconf started as a shell starts it, on real files: each verb and option,
// the exit statuses, the diff beside diff(1), a file that may not be
// written, runs in parallel, values in other locales byte for byte, and its
// messages in the languages of the shipped language file.

#include "conf_core/ParamCatalogue.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

}  // namespace

class TestCvconf : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;  // the program with its language file, and the files it works on
    QString m_program;
    QString m_file;       // %F in the tables, and where the link corvane.conf beside the program leads
    QByteArray m_lang;    // the shipped language file, with short descriptions of LockMemSize

    // Runs cvconf with these argument bytes, exactly: bash reads them from a
    // file, so bytes that are no UTF-8 reach the program unchanged.
    Run run(const QList<QByteArray> &arguments, const QString &locale = "C.UTF-8", const QStringList &prefix = {})
    {
        QByteArray list;
        for (const QByteArray &argument : arguments)
            list += QByteArray(argument).replace("%F", encoded(m_file)) + '\0';
        const QString listFile = m_dir.filePath("arguments");
        writeFile(listFile, list);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LC_ALL", locale);
        process.setProcessEnvironment(environment);
        const QStringList command = prefix + QStringList{"bash", "-c", "mapfile -d '' a < \"$1\"; exec \"$0\" \"${a[@]}\"",
                                                         m_program, listFile};
        process.start(command.first(), command.mid(1));
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QByteArray withFile(QByteArray text) { return text.replace("%F", encoded(m_file)); }

    // A file whose modification time lies in the past, so that a rewrite shows.
    void writeOld(const QByteArray &bytes)
    {
        writeFile(m_file, bytes);
        const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, encoded(m_file).constData(), past, 0), 0);
    }

    void writeLanguageFile(const QByteArray &current)
    {
        const QByteArray chosen = "CurrentLanguage=" + current;
        writeFile(m_dir.filePath("CVConfManager.lang"), QByteArray(m_lang).replace("CurrentLanguage=ENGLISH", chosen));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Companions that cannot lie beside a file go here, not to the tester's home.
        qputenv("XDG_STATE_HOME", encoded(m_dir.filePath("state")));
        QCOMPARE(::chmod(encoded(m_dir.path()).constData(), 0755), 0);
        m_program = m_dir.filePath("cvconf");
        m_file = m_dir.filePath("work.conf");
        QVERIFY(QFile::copy(CV_CVCONF, m_program));
        QCOMPARE(::chmod(encoded(m_program).constData(), 0755), 0);
        m_lang = readFile(CV_DEMO_DIR "/CVConfManager.lang");
        qsizetype at = 0;
        for (const QByteArray text : {"Lock table.\\nIn bytes.", "Sperrtabelle"}) {  // ENGLISH, DEUTSCH
            at = m_lang.indexOf("\nLockMemSize=", at) + 13;
            m_lang.replace(at, m_lang.indexOf('\n', at) - at, text);
        }
        writeLanguageFile("ENGLISH");
        QVERIFY(QFile::link(m_file, m_dir.filePath("corvane.conf")));
    }
    void cleanupTestCase() { qunsetenv("XDG_STATE_HOME"); }
    void cleanup() { QFile::remove(m_file); }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("before");  // null: no file
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");    // the message on standard error, if any
        QTest::addColumn<QByteArray>("after");  // null: as before
        QTest::addColumn<QByteArray>("language");
        auto row = [](const char *name, const QByteArray &before, const char *arguments, int status, const QByteArray &out,
                      const QByteArray &err = {}, const QByteArray &after = {}, const QByteArray &language = "ENGLISH") {
            QList<QByteArray> list = QByteArray(arguments).split(' ');
            for (QByteArray &argument : list)
                argument.replace("%_", " ");  // a blank inside an argument
            QTest::newRow(name) << before << list << status << out << err << after << language;
        };
        const QByteArray timeout = "connectiontimeout = 180\n# kept\n";
        row("get", timeout, "--file %F get ConnectionTimeout", 0, "180\n");
        row("get an empty value", "RootDirectory=\n", "--file=%F get rootdirectory", 0, "\n");
        row("get, only a comment", "#LockSignal = 16\n", "--file %F get LockSignal", 1, "");
        row("misspelt name", timeout, "--file %F get ConectionTimeout", 2, "",
            "unknown parameter \"ConectionTimeout\"; did you mean ConnectionTimeout?");
        row("a usage error in German", timeout, "--file %F get ConectionTimeout", 2, "",
            "unbekannter Parameter \"ConectionTimeout\"; meinten Sie ConnectionTimeout?", {}, "DEUTSCH");
        row("part of names", timeout, "--file %F unset port", 2, "",
            "unknown parameter \"port\"; did you mean RemoteAuxPort or RemoteServicePort?");
        row("set in the catalogue's spelling", timeout, "--file %F set CONNECTIONTIMEOUT=240", 0, "", "",
            "ConnectionTimeout=240\n# kept\n");
        row("set in order, one save", "", "--file %F set LockSignal=1 IpcName=x=y LockSignal=2", 0, "", "",
            "LockSignal=2\nIpcName=x=y\n");
        row("set an empty value", timeout, "--file %F set ConnectionTimeout=", 0, "", "", "# kept\n");
        row("unset", timeout, "--file %F unset ConnectionTimeout LockSignal", 0, "", "", "# kept\n");
        row("unchanged, not written", "TcpNoNagle=1\n", "--file %F set --diff tcpnonagle=1", 0, "");
        row("unchanged in another spelling and layout", timeout, "--file %F set --diff ConnectionTimeout=180", 0, "");
        row("set normalises as a load", timeout, "--file %F set ConnectionTimeout=%_240%_ IpcName=a%_=%_b", 0, "", "",
            "ConnectionTimeout=240 \n# kept\nIpcName=a=b\n");
        row("set again what get returns", "ConnectionTimeout=240 \n", "--file %F set --diff ConnectionTimeout=%_240%_", 0, "");
        row("a blank value unsets", timeout, "--file %F set ConnectionTimeout=%_", 0, "", "", "# kept\n");
        row("unset removes every line", "IpcName=a\n# kept\nipcname = b\nA = 1\n", "--file %F unset --diff IpcName", 0,
            "--- %F\n+++ %F\n@@ -1,4 +1,2 @@\n-IpcName=a\n # kept\n-ipcname = b\n A = 1\n", "", "# kept\nA = 1\n");
        const QByteArray crLf = "FutureKnob=  a = b\r\nconnectiontimeout = 180\r\n# kept\r\nIpcName = x";
        row("one line changed, every other byte kept", crLf, "--file %F set --diff ConnectionTimeout=240", 0,
            "--- %F\n+++ %F\n@@ -1,4 +1,4 @@\n FutureKnob=  a = b\r\n-connectiontimeout = 180\r\n+ConnectionTimeout=240\r\n"
            " # kept\r\n IpcName = x\n\\ No newline at end of file\n", "",
            QByteArray(crLf).replace("connectiontimeout = 180", "ConnectionTimeout=240"));
        row("a line added after a last line without LF", "IpcName = x", "--file %F set LockSignal=1", 0, "", "",
            "IpcName = x\nLockSignal=1\n");
        row("an operand in the file's style", timeout, "--file %F set RemoteBindAddress%_=%_10.0.0.6", 0, "", "",
            timeout + "RemoteBindAddress=10.0.0.6\n");
        row("--dry-run", timeout, "--file %F set --dry-run ConnectionTimeout=9", 0,
            "--- %F\n+++ %F\n@@ -1,2 +1,2 @@\n-connectiontimeout = 180\n+ConnectionTimeout=9\n # kept\n");
        row("--diff", "A=1\n", "--file %F set --diff --any-key B=2", 0, "--- %F\n+++ %F\n@@ -1 +1,2 @@\n A=1\n+B=2\n", "",
            "A=1\nB=2\n");
        row("--dry-run --json, without the file's text", timeout, "--file %F set --dry-run --json ConnectionTimeout=240 LockSignal=", 0,
            R"({"changed":true,"parameters":[{"name":"ConnectionTimeout","previous":"180","value":"240"},)"
            R"({"name":"LockSignal","previous":null,"value":null}]})" "\n");
        row("--dry-run --diff --json", timeout, "--file %F unset --dry-run --diff --json ConnectionTimeout", 0,
            R"({"changed":true,"diff":"--- %F\n+++ %F\n@@ -1,2 +1 @@\n-connectiontimeout = 180\n # kept\n",)"
            R"("parameters":[{"name":"ConnectionTimeout","previous":"180","value":null}]})" "\n");
        row("a line break in a value", timeout, "--file %F set IpcName=a\rb", 2, "",
            "the value for IpcName holds a line break, which would add a line");
        row("--dry-run with --diff", "A=1\n", "--file %F set --dry-run --diff IpcName=a", 0,
            "--- %F\n+++ %F\n@@ -1 +1,2 @@\n A=1\n+IpcName=a\n");
        row("a comment as a key", timeout, "--file %F set --any-key #X=1", 2, "", "\"#X\" is no parameter name");
        row("list of some", timeout, "--file %F list IpcName connectiontimeout", 0,
            "IpcName\t\tCorvaneIPI\nConnectionTimeout\t180\t180\n");
        row("unknown option", timeout, "list --diff", 2, "", "unknown option \"--diff\" for list");
        row("missing file", {}, "--file %F set IpcName=a", 3, "", "File %F cannot be opened. No such file or directory.");
        row("a file error in German", {}, "--file %F set IpcName=a", 3, "",
            "Datei %F kann nicht geöffnet werden. No such file or directory.", {}, "DEUTSCH");
        row("the link beside it leads nowhere", {}, "get IpcName", 3, "",
            "Missing corvane.conf file (looked for %F). Please verify that your corvane server is properly installed.");
        row("the file the link beside it leads to", "IpcName=a\n", "set --dry-run IpcName=b", 0,
            "--- %F\n+++ %F\n@@ -1 +1 @@\n-IpcName=a\n+IpcName=b\n");
        row("describe", {}, "describe lockmemsize", 0, "Sperrtabelle\n", {}, {}, "DEUTSCH");
        row("describe --language", {}, "describe --language english LockMemSize", 0, "Lock table.\nIn bytes.\n", {}, {},
            "DEUTSCH");
        row("unknown language", {}, "describe --language=x LockMemSize", 2, "",
            "unknown language \"x\"; the language file has ENGLISH, DEUTSCH, FRANCAIS, ESPANOL, ITALIANO");
        row("--version", {}, "--version", 0, "cvconf 1.1.0\n");
    }
    void commands()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, language);
        writeLanguageFile(language);
        if (!before.isNull())
            writeOld(before);
        const struct stat old = statOf(m_file);

        const Run result = run(arguments);
        const QByteArray usage = status != 2 ? "" : language == "DEUTSCH" ? "cvconf: siehe cvconf --help\n"
                                                                          : "cvconf: see cvconf --help\n";
        QCOMPARE(result.err, err.isEmpty() ? QByteArray() : withFile("cvconf: " + err + "\n" + usage));
        QCOMPARE(result.out, withFile(out));
        QCOMPARE(result.status, status);
        if (before.isNull()) {
            QVERIFY(!QFile::exists(m_file));
        } else if (after.isNull()) {  // not written: the same bytes, time and inode
            QCOMPARE(readFile(m_file), before);
            QCOMPARE(statOf(m_file).st_mtim.tv_sec, old.st_mtim.tv_sec);
            QCOMPARE(statOf(m_file).st_ino, old.st_ino);
        } else {
            QCOMPARE(readFile(m_file), after);
        }
    }

    void help()
    {
        const Run result = run({"set", "--help"});
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.startsWith("Usage: cvconf [--file PATH] list [--json [--language LANGUAGE]] [NAME...]\n"));
    }

    // The plain list and the JSON one agree, in the catalogue's order.
    // A save killed midway left its companion: every command on that file says where.
    void leftCompanionIsReported()
    {
        writeOld("IpcName=a\n");
        const QString companion = m_dir.filePath(".work.conf.unsaved-Ab3dE9");
        writeFile(companion, "IpcName=b\n");
        const Run result = run({"--file", "%F", "get", "IpcName"});
        QFile::remove(companion);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QByteArray("a\n"));
        QVERIFY2(result.err.contains(encoded(companion + " (for " + m_file + ")")), result.err.constData());
    }
    void listAsJson()
    {
        writeOld("ipcname = Corvane\tIPI\nLockSignal=\n");
        const QJsonArray entries = QJsonDocument::fromJson(run({"--file", "%F", "list", "--json"}).out).array();
        QCOMPARE(entries.size(), ParamCount);
        QByteArray lines;
        for (int i = 0; i < ParamCount; ++i) {
            const ParamEntry &parameter = ParamCatalogue[size_t(i)];
            const QJsonObject entry = entries[i].toObject();
            QCOMPARE(entry["name"].toString(), QString(parameter.Name));
            QCOMPARE(entry["default"].toString(), QString(parameter.Default));
            QCOMPARE(entry["set"].toBool(), entry["name"] == "IpcName" || entry["name"] == "LockSignal");
            lines += parameter.Name + ('\t' + entry["value"].toString() + '\t').toUtf8() + parameter.Default + '\n';
        }
        QCOMPARE(run({"--file", "%F", "list"}).out, lines);
        QCOMPARE(entries[31].toObject()["value"].toString(), QString("Corvane\tIPI"));
    }

    // The printed diff is the one diff -u prints between the file before and
    // after the same set.
    void diffAsDiffUtilityPrintsIt_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("arguments");
        QByteArray blocks;
        for (int i = 0; i < 300; ++i)
            blocks += "# line " + QByteArray::number(i % 7) + "\nKey" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\n";
        QTest::newRow("a line added to blank-spaced entries") << blocks << QByteArray("LockSignal=3");
        QTest::newRow("changes close together") << blocks << QByteArray("--any-key Key3=x Key7= Key1=z");
        QTest::newRow("far apart") << blocks.replace(" = ", "=") << QByteArray("--any-key Key3=x key290= Key150=y");
        QTest::newRow("CR LF") << QByteArray("A=1\r\n\r\n#c\r\nIpcName=a\r\n") << QByteArray("IpcName=b");
        QTest::newRow("lone CR") << QByteArray("A=1\r\rIpcName=a\r") << QByteArray("IpcName=b");
        QTest::newRow("first line removed") << QByteArray("IpcName=a\n\n\n\n\nB=1\n") << QByteArray("IpcName=");
        QTest::newRow("everything removed") << QByteArray("IpcName=a") << QByteArray("IpcName=");
        QTest::newRow("duplicate lines") << QByteArray("x\nIpcName=a\nx\nIpcName=b\nx\nx\n") << QByteArray("IpcName=b");
    }
    void diffAsDiffUtilityPrintsIt()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, arguments);
        writeOld(before);
        const Run dryRun = run(("--file %F set --dry-run " + arguments).split(' '));
        QCOMPARE(readFile(m_file), before);
        const Run saved = run(("--file %F set --diff " + arguments).split(' '));
        QCOMPARE(saved.out, dryRun.out);

        const QString old = m_dir.filePath("old.conf");
        writeFile(old, before);
        QProcess diff;
        diff.start("diff", {"-u", "--label", m_file, "--label", m_file, old, m_file});
        QVERIFY(diff.waitForFinished());
        QCOMPARE(dryRun.out, diff.readAllStandardOutput());
    }

    // The file may be read but not written: the windows' message, status 3.
    void readOnlyFile()
    {
        writeOld("IpcName=a\n");
        QCOMPARE(::chmod(encoded(m_file).constData(), 0444), 0);
        const QStringList asNobody{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all",
                                   "--bounding-set=-all", "--"};
        const Run result = run({"--file", "%F", "set", "IpcName=b"}, "C", ::geteuid() == 0 ? asNobody : QStringList());
        if (result.err.startsWith("setpriv:"))
            QSKIP(qPrintable("cannot drop root's rights here: " + result.err));
        QCOMPARE(result.err, withFile("cvconf: File \"%F\" cannot be created. Permission denied.\n"));
        QCOMPARE(result.status, 3);
        QCOMPARE(readFile(m_file), QByteArray("IpcName=a\n"));
    }

    // Another user holds the file's lock: a save waits --wait seconds, says for
    // whom after about one, and writes nothing; what writes nothing never waits.
    void lockHeldByAnotherUser_data()
    {
        QTest::addColumn<QByteArray>("arguments");
        QTest::addColumn<int>("bound");  // seconds until the run gives up; -1: it does not wait
        QTest::newRow("set, --wait 2") << QByteArray("--wait 2 set ConnectionTimeout=5") << 2;
        QTest::newRow("unset, --wait 0") << QByteArray("--wait=0 unset ConnectionTimeout") << 0;
        QTest::newRow("set to the value it has") << QByteArray("set ConnectionTimeout=180") << -1;
        QTest::newRow("--dry-run") << QByteArray("set --dry-run ConnectionTimeout=5") << -1;
    }
    void lockHeldByAnotherUser()
    {
        QFETCH(QByteArray, arguments);
        QFETCH(int, bound);
        writeOld("ConnectionTimeout=180\n");
        QProcess holder;  // holds the lock until its input ends
        QStringList command{"flock", "-o", "-x", m_file, "-c", "echo held; exec cat"};
        if (::geteuid() == 0)
            command = QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"} + command;
        holder.start(command[0], command.mid(1));
        QVERIFY2(holder.waitForReadyRead(10000), holder.readAllStandardError().constData());
        const QByteArray by = "process " + QByteArray::number(holder.processId()) + " (flock)";
        QElapsedTimer timer;
        timer.start();
        const Run result = run(("--file %F " + arguments).split(' '));
        const qint64 waited = timer.elapsed();
        holder.closeWriteChannel();
        holder.waitForFinished();
        const QByteArray notice = bound > 0 ? "cvconf: Waiting for the lock on %F, held by " + by + "\n" : "";
        QCOMPARE(result.err, bound < 0 ? QByteArray()
                                       : withFile(notice + "cvconf: The file %F is locked by " + by + "; nothing was written.\n"));
        QCOMPARE(result.status, bound < 0 ? 0 : 3);
        QCOMPARE(readFile(m_file), QByteArray("ConnectionTimeout=180\n"));
        // The one timed check: the bound, with room for a busy machine (the default is 10 s).
        QVERIFY2(bound < 0 || (waited >= bound * 1000 && waited < bound * 1000 + 5000),
                 qPrintable(QString::number(waited)));
    }

    // Parallel runs take turns on the file: every one succeeds, every value
    // lands, and the file is one whole version. The last may queue for longer
    // than the default 10 s on a busy machine.
    void parallelSets_data()
    {
        QTest::addColumn<bool>("hardLinked");
        QTest::newRow("replaced by rename") << false;
        QTest::newRow("hard-linked, rewritten in place") << true;
    }
    void parallelSets()
    {
        QFETCH(bool, hardLinked);
        const QByteArray head = QByteArray("# a comment that makes each save take a while\n").repeated(20000);
        writeOld(head);
        const QString second = m_dir.filePath("second-name.conf");
        if (hardLinked)
            QCOMPARE(::link(encoded(m_file).constData(), encoded(second).constData()), 0);
        const auto unlink = qScopeGuard([&] { QFile::remove(second); });
        QStringList pairs;
        for (const ParamEntry &entry : ParamCatalogue)
            pairs.append(entry.Name + ('=' + QString::number(pairs.size())));
        QProcess shell;
        shell.setProcessChannelMode(QProcess::MergedChannels);
        shell.start("bash", QStringList{"-c", "for p in \"${@:3}\"; do { \"$1\" --file \"$2\" --wait 120 set \"$p\" || echo $?; } 2>&1 & done; wait",
                                        "bash", m_program, m_file} + pairs);
        QVERIFY(shell.waitForFinished(60000));
        // No failure, and no message but the notice of a wait of over a second.
        QByteArrayList said = shell.readAll().split('\n');
        said.removeIf([](const QByteArray &line) { return line.isEmpty() || line.startsWith("cvconf: Waiting for the"); });
        QVERIFY2(said.isEmpty(), said.join("\n").constData());
        const QByteArray text = readFile(m_file);
        QVERIFY(text.startsWith(head) && text.endsWith('\n'));
        QStringList lines = QString::fromLatin1(text.sliced(head.size()).chopped(1)).split('\n');
        lines.sort();
        pairs.sort();
        QCOMPARE(lines, pairs);
    }

    void bashCompletion_data()
    {
        QTest::addColumn<QString>("line");  // the last word is the one completed
        QTest::addColumn<QStringList>("offered");
        QStringList names{"--any-key"};
        for (const ParamEntry &entry : ParamCatalogue)
            names << entry.Name;
        QTest::newRow("verbs") << "cvconf " << QStringList{"list", "get", "set", "unset", "describe", "--file", "--wait", "--help", "--version"};
        QTest::newRow("names for get") << "cvconf get " << names;
        QTest::newRow("a name to set") << "cvconf set --diff Conn" << QStringList{"ConnectionTimeout="};
        QTest::newRow("options of set") << "cvconf set --d" << QStringList{"--dry-run", "--diff"};
    }
    void bashCompletion()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        QProcess bash;
        bash.start("bash", {"-c", "source \"$1\"; read -ra COMP_WORDS <<< \"$2\"; [[ $2 == *' ' ]] && COMP_WORDS+=(''); "
                                  "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _cvconf; printf '%s\\n' \"${COMPREPLY[@]}\"",
                            "bash", CV_COMPLETION, line});
        QVERIFY(bash.waitForFinished());
        QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), offered);
    }

    // Values pass through as bytes; JSON shows what the locale decodes, and
    // the private-use character U+EF00 + byte for what it cannot.
    void localeRoundTrip_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("Latin-1 in a Latin-1 locale") << "de_DE.ISO-8859-1" << QByteArray("/srv/d\xe4ten") << QString("/srv/däten");
        QTest::newRow("Latin-1 in a UTF-8 locale") << "C.UTF-8" << QByteArray("/srv/d\xe4ten") << (QString("/srv/d") + QChar(0xEFE4) + "ten");
        QTest::newRow("UTF-8 in a UTF-8 locale") << "C.UTF-8" << QByteArray("/srv/d\xc3\xa4ten") << QString("/srv/däten");
        QTest::newRow("invalid UTF-8") << "C.UTF-8" << QByteArray("\xff\xc3(\xee\xbc\x80") << QString(QChar(0xEFFF)) + QChar(0xEFC3) + "("
                                                                                          + QChar(0xEFEE) + QChar(0xEFBC) + QChar(0xEF80);
    }
    void localeRoundTrip()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, value);
        QFETCH(QString, decoded);
        const QByteArray previous = setlocale(LC_ALL, nullptr);
        const bool generated = setlocale(LC_ALL, locale.toLatin1().constData());
        setlocale(LC_ALL, previous.constData());
        if (!generated)
            QSKIP("the locale is not generated on this machine");

        writeOld("");
        QCOMPARE(run({"--file", "%F", "set", "RootDirectory=" + value}, locale).status, 0);
        QCOMPARE(readFile(m_file), "RootDirectory=" + value + "\n");
        QCOMPARE(run({"--file", "%F", "get", "rootdirectory"}, locale).out, value + "\n");
        const QByteArray json = run({"--file", "%F", "list", "--json"}, locale).out;
        QCOMPARE(QString::fromUtf8(json).toUtf8(), json);
        QCOMPARE(QJsonDocument::fromJson(json).array()[0].toObject()["value"].toString(), decoded);
    }
};

QTEST_GUILESS_MAIN(TestCvconf)
#include "tst_cvconf.moc"
