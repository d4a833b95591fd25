// The configuration document: line splitting, normalisation, name matching,
// setting values and saving, all on real files.

#include "conf_core/ConfLines.h"
#include "CpuTime.h"
#include "fileio/FileError.h"
#include "LoadedDocument.h"
#include "ReferenceConfFile.h"
#include "fileio/SafeWrite.h"
#include "TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <clocale>

namespace {

QList<QByteArray> linesOf(const ConfDocument &document)
{
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < document.lineCount(); ++i)
        lines.append(document.line(i).toByteArray());
    return lines;
}

// Random file text: line ends of every kind, blanks, tabs and "=" signs,
// comments, NUL, bytes above 127 and broken UTF-8, now and then a long run.
QByteArray randomFile(QRandomGenerator &random, int pieces, int longRun)
{
    static const QByteArray parts[] = {"\n", "\r\n", "\r", " ", "  ", "\t", "=", "#", "IpcName", "ipcNAME", "k", "v",
                                       QByteArray(1, '\0'), "\x80", "\xff", "\xc3\xbc", "\xc3", "\xe2\x82"};
    QByteArray file;
    for (int count = random.bounded(pieces + 1); count > 0; --count) {
        if (longRun > 0 && random.bounded(40) == 0)
            file += QByteArray(random.bounded(longRun), " k=\xfc"[random.bounded(4)]);
        else
            file += parts[random.bounded(int(std::size(parts)))];
    }
    return file;
}

// Where two texts first differ, or nothing when they are equal.
QString firstDifference(const QByteArray &saved, const QByteArray &expected)
{
    if (saved == expected)
        return {};
    qsizetype at = 0;
    while (at < saved.size() && at < expected.size() && saved[at] == expected[at])
        ++at;
    return QStringLiteral("first difference at byte %1: saved %2 of %3 bytes, expected %4 of %5")
        .arg(at)
        .arg(at < saved.size() ? QString::number(uchar(saved[at])) : QStringLiteral("end"))
        .arg(saved.size())
        .arg(at < expected.size() ? QString::number(uchar(expected[at])) : QStringLiteral("end"))
        .arg(expected.size());
}

}  // namespace

class TestConfDocument : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }

    void normalise_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("blanks around") << QByteArray("DefaultDbCachePages = 2048") << QByteArray("DefaultDbCachePages=2048");
        QTest::newRow("runs of blanks") << QByteArray("Key    =    value") << QByteArray("Key=value");
        QTest::newRow("equals inside value") << QByteArray("Key = a = b") << QByteArray("Key=a=b");
        QTest::newRow("blank equals blank equals") << QByteArray("a = = b") << QByteArray("a==b");
        QTest::newRow("tabs stay") << QByteArray("Key\t=\tvalue") << QByteArray("Key\t=\tvalue");
        QTest::newRow("tab then blank") << QByteArray("Key\t = \tvalue") << QByteArray("Key\t=\tvalue");
        QTest::newRow("comment untouched") << QByteArray("# DeadlockTimeout = 10") << QByteArray("# DeadlockTimeout = 10");
        QTest::newRow("blank before hash") << QByteArray(" # Key = 1") << QByteArray(" # Key=1");
        QTest::newRow("leading blanks stay") << QByteArray("  DefaultDbCachePages = 100") << QByteArray("  DefaultDbCachePages=100");
        QTest::newRow("remark after value") << QByteArray("SortMemBlockSize = 2097152   # 2 MB") << QByteArray("SortMemBlockSize=2097152   # 2 MB");
        QTest::newRow("trailing blanks stay") << QByteArray("Key = v  ") << QByteArray("Key=v  ");
        QTest::newRow("no equals") << QByteArray("just some text  here") << QByteArray("just some text  here");
        QTest::newRow("only blanks") << QByteArray("     ") << QByteArray("     ");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("equals alone") << QByteArray("  =  ") << QByteArray("=");
        QTest::newRow("empty value") << QByteArray("Key = ") << QByteArray("Key=");
        QTest::newRow("NUL bytes kept") << QByteArray("K\0ey = v\0", 9) << QByteArray("K\0ey=v\0", 7);
    }
    void normalise()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, expected);
        QCOMPARE(referenceNormalised(line), expected);
        QCOMPARE(linesOf(loadedDocument(line + "\n")), QList<QByteArray>{expected});
    }

    void split_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("LF") << QByteArray("a\nb\n") << QList<QByteArray>{"a", "b"};
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray>{"a", "b"};
        QTest::newRow("lone CR") << QByteArray("a\rb") << QList<QByteArray>{"a", "b"};
        QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << QList<QByteArray>{"a", "", "b"};
        QTest::newRow("no final terminator") << QByteArray("a\nb") << QList<QByteArray>{"a", "b"};
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>{};
        QTest::newRow("only line ends") << QByteArray("\n\n") << QList<QByteArray>{"", ""};
        QTest::newRow("final CR") << QByteArray("a\r") << QList<QByteArray>{"a"};
    }
    void split()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QByteArray>, lines);
        QCOMPARE(referenceLines(bytes), lines);
        QCOMPARE(linesOf(loadedDocument(bytes)), lines);
    }

    void getValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("plain") << QByteArray("DeadlockTimeout = 10\n") << QByteArray("DeadlockTimeout") << QByteArray("10");
        QTest::newRow("lower-case key") << QByteArray("defaultdbcachepages = 4096\n") << QByteArray("DefaultDbCachePages") << QByteArray("4096");
        QTest::newRow("leading blanks never match") << QByteArray("  DefaultDbCachePages = 100\n") << QByteArray("DefaultDbCachePages") << QByteArray();
        QTest::newRow("tabs never match") << QByteArray("LockSignal\t=\t16\n") << QByteArray("LockSignal") << QByteArray();
        QTest::newRow("comment never matches") << QByteArray("#LockMemSize = 262144\n") << QByteArray("LockMemSize") << QByteArray();
        QTest::newRow("comment key with its hash and blank")
            << QByteArray("#Other = 1\n#LockMemSize = 262144\n") << QByteArray("#lockmemsize ") << QByteArray(" 262144");
        QTest::newRow("first of duplicates") << QByteArray("IpcName = one\nIpcName = two\n") << QByteArray("IpcName") << QByteArray("one");
        QTest::newRow("remark is part of value") << QByteArray("TcpNoNagle = 1 # on\n") << QByteArray("TcpNoNagle") << QByteArray("1 # on");
        QTest::newRow("value with equals") << QByteArray("RootDirectory = /a=b\n") << QByteArray("RootDirectory") << QByteArray("/a=b");
        QTest::newRow("empty value") << QByteArray("RemoteBindAddress =\n") << QByteArray("RemoteBindAddress") << QByteArray();
        QTest::newRow("missing") << QByteArray("Other = 1\n") << QByteArray("LockSignal") << QByteArray();
        QTest::newRow("prefix is no match") << QByteArray("LockSignalX = 1\nLockSignal = 2\n") << QByteArray("LockSignal") << QByteArray("2");
        QTest::newRow("line without equals skipped") << QByteArray("LockSignal\nLockSignal = 3\n") << QByteArray("LockSignal") << QByteArray("3");
        QTest::newRow("non-ASCII key, folded") << QByteArray("größe = 5\n") << QByteArray("GRÖßE") << QByteArray("5");
        QTest::newRow("invalid bytes are only equal to themselves") << QByteArray("k\xff = 1\nK\xfe = 2\nK\xff = 3\n") << QByteArray("K\xff") << QByteArray("1");
        QTest::newRow("NUL inside key") << QByteArray("a\0b = 1\n", 8) << QByteArray("A\0B", 3) << QByteArray("1");
    }
    void getValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        const ConfDocument document = loadedDocument(file);
        QCOMPARE(GetConfValue(document, name), value);
    }

    // Names are ASCII; a-z fold as ASCII in every locale, everything else
    // folds and collates the way the locale says.
    void getValueInLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        for (const char *locale : {"C.UTF-8", "de_DE.ISO-8859-1", "tr_TR.UTF-8"}) {
            const QByteArray at = QByteArray(" in ") + locale;
            QTest::newRow("upper-case key" + at) << QByteArray(locale) << QByteArray("CONNECTIONTIMEOUT = 5\n")
                                                 << QByteArray("ConnectionTimeout") << QByteArray("5");
            QTest::newRow("lower-case key" + at) << QByteArray(locale) << QByteArray("ipcname = x\n")
                                                 << QByteArray("IpcName") << QByteArray("x");
            QTest::newRow("tab in key never matches" + at)
                << QByteArray(locale) << QByteArray("IpcName\t= x\nipcname = y\n") << QByteArray("IpcName") << QByteArray("y");
            QTest::newRow("tab in key and name" + at)
                << QByteArray(locale) << QByteArray("Ipc\tName = x\n") << QByteArray("IPC\tNAME") << QByteArray("x");
        }
        QTest::newRow("Latin-1 letters fold in de_DE.ISO-8859-1")
            << QByteArray("de_DE.ISO-8859-1") << QByteArray("gr\xf6\xdf" "e = 5\nGr\xf6\xdf" "e = 6\n")
            << QByteArray("GR\xd6\xdf" "E") << QByteArray("5");
        QTest::newRow("umlaut is not its base letter")
            << QByteArray("de_DE.ISO-8859-1") << QByteArray("gr\xf6sse = 5\ngrosse = 6\n") << QByteArray("GROSSE")
            << QByteArray("6");
        QTest::newRow("Turkish dotless i folds to I")
            << QByteArray("tr_TR.UTF-8") << QByteArray("\xc4\xb1pcname = x\n") << QByteArray("IPCNAME") << QByteArray("x");
        QTest::newRow("Turkish dotted capital is not I")
            << QByteArray("tr_TR.UTF-8") << QByteArray("\xc4\xb0PCNAME = x\nIPCNAME = y\n") << QByteArray("IpcName")
            << QByteArray("y");
    }
    void getValueInLocale()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not generated on this machine");
        ConfDocument document = loadedDocument(file);
        QCOMPARE(GetConfValue(document, name), value);
        // Asked twice: the second lookup uses what the first one kept.
        QCOMPARE(GetConfValue(document, name), value);
        // Setting replaces the line that was found instead of adding a second one.
        SetConfValue(document, name, "new");
        QCOMPARE(document.lineCount(), referenceLines(file).size());
        QCOMPARE(GetConfValue(document, name), QByteArray("new"));
        setlocale(LC_ALL, "C.UTF-8");
    }

    // A key that needs the locale may come into a document of ASCII keys by a set.
    void setKeyIsFoundThroughTheLocale()
    {
        if (!setlocale(LC_ALL, "tr_TR.UTF-8"))
            QSKIP("locale tr_TR.UTF-8 is not generated on this machine");
        ConfDocument document = loadedDocument("x=1\n");
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray());
        SetConfValue(document, "\xc4\xb1pcname", "5");
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("5"));
        SetConfValue(document, "IPCNAME", "6");
        QCOMPARE(document.savedText(), QByteArray("x=1\nIPCNAME=6\n"));
        setlocale(LC_ALL, "C.UTF-8");
    }

    // A key of hundreds of kilobytes (a long comment with an "=" far in) costs
    // its conversion once. With bytes the locale cannot decode it only equals
    // a name of about its own length, so lookups of short names pass it by.
    void longKeyWithUndecodableBytesIsPassedBy()
    {
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QByteArray text;
        for (int i = 0; i < 40000; ++i)
            text += "Gr\xf6\xdf" "e ";
        const QByteArray longKey = "# " + text;
        QByteArray file;
        for (int i = 0; i < 20; ++i)
            file += longKey + QByteArray::number(i) + " = y\n";
        file += "IpcName=found\n";
        const double loadStart = threadCpuSeconds();
        ConfDocument document = loadedDocument(file);
        const double loadTime = threadCpuSeconds() - loadStart;
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("found"));
        double lookupTime = loadTime * 100;
        for (int round = 0; round < 3; ++round) {
            const double lookupStart = threadCpuSeconds();
            QCOMPARE(GetConfValue(document, "LockSignal"), QByteArray());
            lookupTime = std::min(lookupTime, threadCpuSeconds() - lookupStart);
        }
        QVERIFY2(lookupTime <= loadTime, qPrintable(QStringLiteral("lookup %1 ms, load %2 ms of processor time")
                                                         .arg(lookupTime * 1e3)
                                                         .arg(loadTime * 1e3)));
        // A name as long as the key still finds it.
        QCOMPARE(GetConfValue(document, (longKey + "7 ").toUpper()), QByteArray(" y"));
    }

    void lookupFollowsALocaleChangeAfterLoading()
    {
        if (!setlocale(LC_ALL, "C.UTF-8"))
            QSKIP("locale C.UTF-8 is not generated on this machine");
        // In UTF-8 the Latin-1 bytes cannot be decoded and only equal themselves.
        ConfDocument document = loadedDocument("gr\xf6\xdf" "e = 5\n");
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray());
        if (!setlocale(LC_ALL, "de_DE.ISO-8859-1"))
            QSKIP("locale de_DE.ISO-8859-1 is not generated on this machine");
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray("5"));
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray());
    }

    void setValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("replace in place, catalogue case")
            << QByteArray("# head\ndeadlocktimeout = 5 # remark\ntail\n") << QByteArray("DeadlockTimeout") << QByteArray("20")
            << QByteArray("# head\nDeadlockTimeout=20\ntail\n");
        QTest::newRow("append when missing") << QByteArray("a=1") << QByteArray("LockSignal") << QByteArray("16")
                                             << QByteArray("a=1\nLockSignal=16\n");
        QTest::newRow("append after comment") << QByteArray("#LockMemSize = 262144\n") << QByteArray("LockMemSize")
                                              << QByteArray("524288") << QByteArray("#LockMemSize = 262144\nLockMemSize=524288\n");
        QTest::newRow("empty value removes first") << QByteArray("IpcName=a\nx\nIpcName=b\n") << QByteArray("IpcName")
                                                   << QByteArray() << QByteArray("x\nIpcName=b\n");
        QTest::newRow("empty value without entry") << QByteArray("#IpcName=a\n") << QByteArray("IpcName") << QByteArray()
                                                   << QByteArray("#IpcName=a\n");
        QTest::newRow("only first duplicate") << QByteArray("IpcName=a\nIpcName=b\n") << QByteArray("IpcName")
                                              << QByteArray("c") << QByteArray("IpcName=c\nIpcName=b\n");
        QTest::newRow("value stored as passed") << QByteArray("") << QByteArray("RootDirectory") << QByteArray(" /opt ")
                                                << QByteArray("RootDirectory= /opt \n");
        QTest::newRow("into empty document") << QByteArray() << QByteArray("IpcName") << QByteArray("x") << QByteArray("IpcName=x\n");
    }
    void setValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, saved);
        ConfDocument document = loadedDocument(file);
        SetConfValue(document, name, value);
        QCOMPARE(document.savedText(), saved);
        if (!value.isEmpty() && !value.startsWith(' '))
            QCOMPARE(GetConfValue(document, name), value);
    }

    void setThenSetAgainFindsTheSetLine()
    {
        ConfDocument document = loadedDocument("x=1\n");
        SetConfValue(document, "LockSignal", "16");
        SetConfValue(document, "locksignal", "17");
        QCOMPARE(document.savedText(), QByteArray("x=1\nlocksignal=17\n"));
        SetConfValue(document, "LOCKSIGNAL", "");
        QCOMPARE(document.savedText(), QByteArray("x=1\n"));
    }

    void unchangedDocumentIsSavedInOnePiece()
    {
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += "Key" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\r\n# comment\n";
        ConfDocument document = loadedDocument(bytes);
        QCOMPARE(document.savedChunks().size(), size_t(1));
        SetConfValue(document, "Key500", "x");
        QCOMPARE(document.savedChunks().size(), size_t(3));
        QVERIFY(document.savedText().contains("\nKey500=x\n# comment\nKey501=501\n"));
    }

    // Files loaded from disk, saved and compared byte for byte with the
    // reference; then random values set, saved and compared again.
    void savedAsTheReferenceSays_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("longRun");
        QTest::addColumn<QByteArray>("prefix");  // before every file
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("short files") << 2000 << 40 << 0 << QByteArray() << QByteArray("C");
        QTest::newRow("long lines") << 300 << 200 << 20000 << QByteArray() << QByteArray("C");
        QTest::newRow("10 MB line") << 1 << 10 << 0 << QByteArray(10 << 20, 'x') << QByteArray("C");
        // More lines than the line table has room for at first.
        QTest::newRow("only line ends") << 3 << 0 << 0 << QByteArray("\r\n\n\r").repeated(20000) << QByteArray("C");
        // Keys on both sides of the length that is hashed through the locale.
        for (int size : {64 * 1024 - 1, 64 * 1024, 64 * 1024 + 1}) {
            const QByteArray at = " of " + QByteArray::number(size) + " bytes";
            QTest::newRow("undecodable key" + at) << 30 << 20 << 0 << QByteArray(size, '\xfc') + "=1\n" << QByteArray("C");
            QTest::newRow("UTF-8 key" + at)
                << 30 << 20 << 0 << QByteArray("\xc3\xbc").repeated(size / 2) + QByteArray(size % 2, 'k') + "=1\n"
                << QByteArray("C.UTF-8");
        }
    }
    void savedAsTheReferenceSays()
    {
        QFETCH(int, files);
        QFETCH(int, pieces);
        QFETCH(int, longRun);
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, locale);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not generated on this machine");
        // Durability is not under test; thousands of syncs would take minutes.
        SafeWriteSystemCalls().fsync = [](int) { return 0; };
        const auto restore = qScopeGuard([] {
            SafeWriteSystemCalls() = RealSafeWriteCalls();
            setlocale(LC_ALL, "C.UTF-8");
        });
        const QByteArrayList names = {"IpcName", "LockSignal", "K", "#k", "\xff"};
        const QByteArrayList values = {"", "9", " v ", "a = b", "\xc3"};
        // On tmpfs where there is one: ext4 writes a file renamed over another
        // out at once, which would make thousands of saves take a minute.
        QTemporaryDir dir(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/tst_confdocument-XXXXXX"
                                                               : QDir::tempPath() + "/tst_confdocument-XXXXXX");
        const QString path = dir.filePath("corvane.conf");
        for (quint32 seed = 1; seed <= quint32(files); ++seed) {
            QRandomGenerator random(seed);
            const QByteArray file = prefix + randomFile(random, pieces, longRun);
            writeFile(path, file);
            ConfDocument document;
            LoadConfFile(document, encoded(path));
            ReferenceLines expected = referenceLines(file);
            for (int step = 0;; ++step) {
                SaveConfFile(document, encoded(path));
                const QString difference = firstDifference(readFile(path), referenceSaved(expected));
                QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("seed %1, %2 values set: ").arg(seed).arg(step)
                                                          + difference));
                if (step == 4)
                    break;
                // Names of the file's own keys too, in other letter case.
                QByteArray name = names[random.bounded(int(names.size()))];
                if (!expected.isEmpty() && random.bounded(2)) {
                    const QByteArray &line = expected[random.bounded(int(expected.size()))];
                    if (line.contains('='))
                        name = random.bounded(2) ? line.left(line.indexOf('=')) : line.left(line.indexOf('=')).toLower();
                }
                const QByteArray value = values[random.bounded(int(values.size()))];
                SetConfValue(document, name, value);
                referenceSet(expected, name, value);
            }
        }
    }

    void goldenRoundTrip_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QList<QByteArrayList>>("edits");
        QTest::newRow("unedited") << "roundtrip.input.conf" << "roundtrip.expected.conf" << QList<QByteArrayList>{};
        QTest::newRow("edited") << "roundtrip.input.conf" << "edited.expected.conf"
                                << QList<QByteArrayList>{{"DefaultDbCachePages", "8192"},
                                                         {"TcpNoNagle", ""},
                                                         {"LockMemSize", "1048576"},
                                                         {"RemoteServicePort", "3051"}};
    }
    void goldenRoundTrip()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QFETCH(QList<QByteArrayList>, edits);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        QVERIFY(QFile::copy(QStringLiteral(CV_TEST_DATA_DIR "/core/") + input, path));
        ConfDocument document;
        LoadConfFile(document, QFile::encodeName(path));
        LoadConfFile(document, QFile::encodeName(path));  // loading twice keeps one copy
        for (const QByteArrayList &edit : edits)
            SetConfValue(document, edit[0], edit[1]);
        SaveConfFile(document, QFile::encodeName(path));
        QCOMPARE(readFile(path), readFile(QStringLiteral(CV_TEST_DATA_DIR "/core/") + expected));
    }

    // A last line without a line end, saved as it is and after a value was
    // appended behind it: whatever the file's size, it gets its LF.
    void lastLineWithoutLineEnd_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArrayList>("setValue");  // name, value; empty for none
        QTest::addColumn<QByteArray>("saved");
        // Nothing to normalise: the text keeps its length.
        const QByteArray large = QByteArray("Param=value   # remark\n").repeated(9 * 1024 * 1024 / 23);
        QTest::newRow("saved as read") << QByteArray("IpcName=x") << QByteArrayList() << QByteArray("IpcName=x\n");
        QTest::newRow("a value appended")
            << QByteArray("IpcName=x") << QByteArrayList{"LockSignal", "9"} << QByteArray("IpcName=x\nLockSignal=9\n");
        QTest::newRow("9 MB, a value appended")
            << large + "IpcName=x" << QByteArrayList{"LockSignal", "9"}
            << large + "IpcName=x\nLockSignal=9\n";
    }
    void lastLineWithoutLineEnd()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArrayList, setValue);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, file);
        ConfDocument document;
        LoadConfFile(document, encoded(path));
        if (!setValue.isEmpty())
            SetConfValue(document, setValue[0], setValue[1]);
        SaveConfFile(document, encoded(path));
        const QByteArray written = readFile(path);
        QCOMPARE(written.size(), saved.size());
        QVERIFY(written == saved);
    }

    void loadFailureKeepsDocument_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::newRow("vanished file") << false;
        QTest::newRow("directory in its place") << true;
    }
    void loadFailureKeepsDocument()
    {
        QFETCH(bool, directory);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, "IpcName = kept\n");
        ConfDocument document;
        LoadConfFile(document, QFile::encodeName(path));
        SetConfValue(document, "LockSignal", "9");
        QVERIFY(QFile::remove(path));
        if (directory)
            QVERIFY(QDir(dir.path()).mkdir("corvane.conf"));
        try {
            LoadConfFile(document, QFile::encodeName(path));
            QFAIL("loading did not fail");
        } catch (const FileError &error) {
            QCOMPARE(error.kind(), FileError::Kind::Open);
            QVERIFY2(error.message().startsWith("Datei " + path + " kann nicht geöffnet werden. "),
                     qPrintable(error.message()));
        }
        QCOMPARE(document.savedText(), QByteArray("IpcName=kept\nLockSignal=9\n"));
    }

    // A document that no read filled would empty the file it replaces.
    void unfilledDocumentIsNotSaved_data()
    {
        QTest::addColumn<QByteArrayList>("setValues");  // name, value, name, value...
        QTest::addColumn<bool>("loadThenClear");
        QTest::newRow("never loaded") << QByteArrayList() << false;
        QTest::newRow("never loaded, a value set") << QByteArrayList{"LockSignal", "9"} << false;
        QTest::newRow("loaded, then cleared") << QByteArrayList() << true;
    }
    void unfilledDocumentIsNotSaved()
    {
        QFETCH(QByteArrayList, setValues);
        QFETCH(bool, loadThenClear);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        const QByteArray content = "# the server's own settings\nIpcName = kept\n";
        writeFile(path, content);
        ConfDocument document;
        if (loadThenClear) {
            LoadConfFile(document, QFile::encodeName(path));
            document.clear();
        }
        for (qsizetype i = 0; i + 1 < setValues.size(); i += 2)
            SetConfValue(document, setValues[i], setValues[i + 1]);
        try {
            SaveConfFile(document, QFile::encodeName(path));
            QFAIL("a document that no read filled was saved");
        } catch (const FileError &error) {
            QCOMPARE(error.kind(), FileError::Kind::Create);
            QCOMPARE(error.message(), "Datei \"" + path + "\" kann nicht erstellt werden. Die Datei wurde nicht gelesen");
        }
        QCOMPARE(readFile(path), content);
    }
};

QTEST_GUILESS_MAIN(TestConfDocument)
#include "tst_confdocument.moc"
