// cvconf started as a shell starts it, on real files: each verb and option,
// the exit statuses, the diff against diff(1), a file that may not be
// written, and values in other locales byte for byte.

#include "ParamCatalogue.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

const QByteArray Lang = "[GENERAL]\nCurrentLanguage=DEUTSCH\n[ENGLISH]\nLockMemSize=Lock table.\\nIn bytes.\n"
                        "[DEUTSCH]\nLockMemSize=Sperrtabelle\n";

}  // namespace

class TestCvconf : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;  // the program with its language file, and the files it works on
    QString m_program;
    QString m_file;       // %F in the tables

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

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(::chmod(encoded(m_dir.path()).constData(), 0755), 0);
        m_program = m_dir.filePath("cvconf");
        m_file = m_dir.filePath("work.conf");
        QVERIFY(QFile::copy(CV_CVCONF, m_program));
        QCOMPARE(::chmod(encoded(m_program).constData(), 0755), 0);
        writeFile(m_dir.filePath("CVConfManager.lang"), Lang);
    }
    void cleanup() { QFile::remove(m_file); }

    void commands_data()
    {
        QTest::addColumn<QByteArray>("before");  // null: no file
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");  // a line of standard error; empty: none
        QTest::addColumn<QByteArray>("after");

        const QByteArray timeout = "connectiontimeout = 180\n# kept\n";
        const QByteArray usage = "cvconf: see cvconf --help\n";
        QTest::newRow("get") << timeout << QList<QByteArray>{"--file", "%F", "get", "ConnectionTimeout"} << 0
                             << QByteArray("180\n") << QByteArray() << timeout;
        QTest::newRow("get an empty value") << QByteArray("RootDirectory=\n") << QList<QByteArray>{"--file=%F", "get", "rootdirectory"}
                                            << 0 << QByteArray("\n") << QByteArray() << QByteArray("RootDirectory=\n");
        QTest::newRow("get, only a comment") << QByteArray("#LockSignal = 16\n") << QList<QByteArray>{"--file", "%F", "get", "LockSignal"}
                                             << 1 << QByteArray() << QByteArray() << QByteArray("#LockSignal = 16\n");
        QTest::newRow("get --any-key") << QByteArray("Module1.cache = 5\n") << QList<QByteArray>{"--file", "%F", "get", "--any-key", "MODULE1.cache"}
                                       << 0 << QByteArray("5\n") << QByteArray() << QByteArray("Module1.cache = 5\n");
        QTest::newRow("misspelt name") << timeout << QList<QByteArray>{"--file", "%F", "get", "ConectionTimeout"} << 2 << QByteArray()
                                       << "cvconf: unknown parameter \"ConectionTimeout\"; did you mean ConnectionTimeout?\n" + usage << timeout;
        QTest::newRow("part of names") << timeout << QList<QByteArray>{"--file", "%F", "unset", "port"} << 2 << QByteArray()
                                       << "cvconf: unknown parameter \"port\"; did you mean RemoteAuxPort or RemoteServicePort?\n" + usage << timeout;
        QTest::newRow("set in the catalogue's spelling") << timeout << QList<QByteArray>{"--file", "%F", "set", "CONNECTIONTIMEOUT=240"}
                                                         << 0 << QByteArray() << QByteArray() << QByteArray("ConnectionTimeout=240\n# kept\n");
        QTest::newRow("set in order, one save") << QByteArray("") << QList<QByteArray>{"--file", "%F", "set", "LockSignal=1", "IpcName=x=y", "LockSignal=2"}
                                                << 0 << QByteArray() << QByteArray() << QByteArray("LockSignal=2\nIpcName=x=y\n");
        QTest::newRow("set an empty value") << timeout << QList<QByteArray>{"--file", "%F", "set", "ConnectionTimeout="}
                                            << 0 << QByteArray() << QByteArray() << QByteArray("# kept\n");
        QTest::newRow("unset") << timeout << QList<QByteArray>{"--file", "%F", "unset", "ConnectionTimeout", "LockSignal"}
                               << 0 << QByteArray() << QByteArray() << QByteArray("# kept\n");
        QTest::newRow("unchanged, not written") << QByteArray("TcpNoNagle=1\n") << QList<QByteArray>{"--file", "%F", "set", "--diff", "tcpnonagle=1"}
                                                << 0 << QByteArray() << QByteArray() << QByteArray("TcpNoNagle=1\n");
        QTest::newRow("--dry-run") << timeout << QList<QByteArray>{"--file", "%F", "set", "--dry-run", "ConnectionTimeout=9"} << 0
                                   << QByteArray("--- %F\n+++ %F\n@@ -1,2 +1,2 @@\n-connectiontimeout = 180\n+ConnectionTimeout=9\n # kept\n")
                                   << QByteArray() << timeout;
        QTest::newRow("--diff") << QByteArray("A=1\n") << QList<QByteArray>{"--file", "%F", "set", "--diff", "--any-key", "B=2"} << 0
                                << QByteArray("--- %F\n+++ %F\n@@ -1 +1,2 @@\n A=1\n+B=2\n")
                                << QByteArray() << QByteArray("A=1\nB=2\n");
        QTest::newRow("a line break in a value") << timeout << QList<QByteArray>{"--file", "%F", "set", "IpcName=a\rb"} << 2 << QByteArray()
                                                 << "cvconf: the value for IpcName holds a line break, which would add a line\n" + usage << timeout;
        QTest::newRow("no pair") << timeout << QList<QByteArray>{"--file", "%F", "set", "IpcName"} << 2 << QByteArray()
                                 << "cvconf: \"IpcName\" is no NAME=VALUE pair\n" + usage << timeout;
        QTest::newRow("--dry-run with --diff") << timeout << QList<QByteArray>{"set", "--dry-run", "--diff", "IpcName=a"} << 2 << QByteArray()
                                               << "cvconf: --dry-run and --diff exclude each other\n" + usage << timeout;
        QTest::newRow("unknown option") << timeout << QList<QByteArray>{"list", "--diff"} << 2 << QByteArray()
                                        << "cvconf: unknown option \"--diff\" for list\n" + usage << timeout;
        QTest::newRow("unknown verb") << timeout << QList<QByteArray>{"show"} << 2 << QByteArray()
                                      << "cvconf: unknown verb \"show\"\n" + usage << timeout;
        QTest::newRow("missing file") << QByteArray() << QList<QByteArray>{"--file", "%F", "set", "IpcName=a"} << 3 << QByteArray()
                                      << QByteArray("cvconf: Datei %F kann nicht geöffnet werden. No such file or directory.\n") << QByteArray();
        QTest::newRow("no corvane.conf beside it") << QByteArray() << QList<QByteArray>{"get", "IpcName"} << 3 << QByteArray()
                                                   << QByteArray("cvconf: Missing corvane.conf file. Please verify that your corvane server is properly installed.\n")
                                                   << QByteArray();
        QTest::newRow("describe") << QByteArray() << QList<QByteArray>{"describe", "lockmemsize"} << 0
                                  << QByteArray("Sperrtabelle\n") << QByteArray() << QByteArray();
        QTest::newRow("describe --language") << QByteArray() << QList<QByteArray>{"describe", "--language", "english", "LockMemSize"} << 0
                                             << QByteArray("Lock table.\nIn bytes.\n") << QByteArray() << QByteArray();
        QTest::newRow("describe, unknown language") << QByteArray() << QList<QByteArray>{"describe", "--language=x", "LockMemSize"} << 2
                                                    << QByteArray() << "cvconf: unknown language \"x\"; the language file has ENGLISH, DEUTSCH\n" + usage
                                                    << QByteArray();
        QTest::newRow("--version") << QByteArray() << QList<QByteArray>{"--version"} << 0 << QByteArray("cvconf 1.0.0\n")
                                   << QByteArray() << QByteArray();
    }
    void commands()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            writeOld(before);
        const struct stat old = statOf(m_file);

        const Run result = run(arguments);
        QCOMPARE(result.err, withFile(err));
        QCOMPARE(result.out, withFile(out));
        QCOMPARE(result.status, status);
        if (after.isNull())
            QVERIFY(!QFile::exists(m_file));
        else
            QCOMPARE(readFile(m_file), after);
        if (after == before && !before.isNull()) {
            QCOMPARE(statOf(m_file).st_mtim.tv_sec, old.st_mtim.tv_sec);
            QCOMPARE(statOf(m_file).st_ino, old.st_ino);
        }
    }

    void help()
    {
        const Run result = run({"set", "--help"});
        QCOMPARE(result.status, 0);
        for (const char *verb : {"Usage: cvconf ", " list ", " get ", " set ", " unset ", " describe "})
            QVERIFY2(result.out.contains(verb), verb);
    }

    // The plain list and the JSON one agree, in the catalogue's order.
    void listAsJson()
    {
        writeOld("ipcname = Corvane\tIPI\nLockSignal=\n");
        const Run plain = run({"--file", "%F", "list"});
        const Run json = run({"--file", "%F", "list", "--json"});
        QCOMPARE(plain.status, 0);
        QCOMPARE(json.status, 0);
        QJsonParseError error{};
        const QJsonArray entries = QJsonDocument::fromJson(json.out, &error).array();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(entries.size(), ParamCount);
        QByteArray lines;
        int setCount = 0;
        for (int i = 0; i < ParamCount; ++i) {
            const QJsonObject entry = entries[i].toObject();
            QCOMPARE(entry["name"].toString(), QString(ParamCatalogue[size_t(i)].Name));
            QCOMPARE(entry["default"].toString(), QString(ParamCatalogue[size_t(i)].Default));
            setCount += entry["set"].toBool();
            lines += (QStringList{entry["name"].toString(), entry["value"].toString(), entry["default"].toString()}.join('\t')
                      + '\n').toUtf8();
        }
        QCOMPARE(plain.out, lines);
        QCOMPARE(setCount, 2);
        QCOMPARE(entries[31].toObject()["value"].toString(), QString("Corvane\tIPI"));
    }

    // The printed diff is the one diff -u prints, and applied with patch it
    // gives the file that the same set writes.
    void diffAsDiffUtilityPrintsIt_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QList<QByteArray>>("arguments");
        QByteArray long1, long2;
        for (int i = 0; i < 300; ++i)
            long1 += "# line " + QByteArray::number(i % 7) + "\nKey" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\n";
        QTest::newRow("normalised everywhere") << long1 << QList<QByteArray>{"LockSignal=3"};
        QTest::newRow("two far apart") << long1.replace(" = ", "=") << QList<QByteArray>{"--any-key", "Key3=x", "key290=", "Key150=y"};
        QTest::newRow("changes close together") << long1 << QList<QByteArray>{"--any-key", "Key3=x", "Key7=", "Key1=z"};
        QTest::newRow("CR LF") << QByteArray("A=1\r\n\r\n#c\r\nIpcName=a\r\n") << QList<QByteArray>{"IpcName=b"};
        QTest::newRow("lone CR") << QByteArray("A=1\r\rIpcName=a\r") << QList<QByteArray>{"IpcName=b"};
        QTest::newRow("first line removed") << QByteArray("IpcName=a\n\n\n\n\nB=1\n") << QList<QByteArray>{"IpcName="};
        QTest::newRow("into an empty file") << QByteArray("") << QList<QByteArray>{"IpcName=a"};
        QTest::newRow("everything removed") << QByteArray("IpcName=a") << QList<QByteArray>{"IpcName="};
        QTest::newRow("duplicate lines") << QByteArray("x\nIpcName=a\nx\nIpcName=b\nx\nx\n") << QList<QByteArray>{"IpcName=b"};
    }
    void diffAsDiffUtilityPrintsIt()
    {
        QFETCH(QByteArray, before);
        QFETCH(QList<QByteArray>, arguments);
        writeOld(before);
        const Run dryRun = run(QList<QByteArray>{"--file", "%F", "set", "--dry-run"} + arguments);
        QCOMPARE(dryRun.status, 0);
        QCOMPARE(readFile(m_file), before);
        const Run saved = run(QList<QByteArray>{"--file", "%F", "set", "--diff"} + arguments);
        QCOMPARE(saved.out, dryRun.out);

        const QString old = m_dir.filePath("old.conf");
        writeFile(old, before);
        QProcess diff;
        diff.start("diff", {"-u", "--label", m_file, "--label", m_file, old, m_file});
        QVERIFY(diff.waitForFinished());
        QCOMPARE(dryRun.out, diff.readAllStandardOutput());
        QProcess patch;
        patch.start("patch", {"-s", old});
        patch.write(saved.out);
        patch.closeWriteChannel();
        QVERIFY(patch.waitForFinished());
        QCOMPARE(readFile(old), readFile(m_file));
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
        QCOMPARE(result.err, withFile("cvconf: Datei \"%F\" kann nicht erstellt werden. Permission denied.\n"));
        QCOMPARE(result.status, 3);
        QCOMPARE(readFile(m_file), QByteArray("IpcName=a\n"));
    }

    void bashCompletion_data()
    {
        QTest::addColumn<QString>("line");  // the last word is the one completed
        QTest::addColumn<QStringList>("offered");
        QStringList names{"--any-key"};
        for (const ParamEntry &entry : ParamCatalogue)
            names << entry.Name;
        QTest::newRow("verbs") << "cvconf " << QStringList{"list", "get", "set", "unset", "describe", "--file", "--help", "--version"};
        QTest::newRow("verb after --file") << "cvconf --file x.conf u" << QStringList{"unset"};
        QTest::newRow("names for get") << "cvconf get " << names;
        QTest::newRow("a name to set") << "cvconf set --diff Conn" << QStringList{"ConnectionTimeout="};
        QTest::newRow("options of set") << "cvconf set --d" << QStringList{"--dry-run", "--diff"};
        QTest::newRow("options of list") << "cvconf list " << QStringList{"--json"};
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
        const char *previous = setlocale(LC_ALL, nullptr);
        const bool generated = setlocale(LC_ALL, locale.toLatin1().constData());
        setlocale(LC_ALL, previous);
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
