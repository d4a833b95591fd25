// The configuration document: line splitting, normalisation, name matching,
// setting values and saving, on bytes and on real files.

#include "ConfLines.h"
#include "FileError.h"
#include "KeyTags.h"
#include "ReferenceNormalisation.h"
#include "TestFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <clocale>

namespace {

ConfDocument documentOf(const QByteArray &bytes)
{
    ConfDocument document;
    document.loadFromBytes(bytes);
    return document;
}

QList<QByteArray> linesOf(const ConfDocument &document)
{
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < document.lineCount(); ++i)
        lines.append(document.line(i).toByteArray());
    return lines;
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
        QCOMPARE(NormaliseConfLine(line), expected);
        QCOMPARE(normaliseByTwoPasses(line), expected);
        QCOMPARE(linesOf(documentOf(line + "\n")), QList<QByteArray>{expected});
    }

    void normaliseAgreesWithTwoPassesOnRandomLines()
    {
        QRandomGenerator random(20261208);
        const char alphabet[] = {' ', ' ', ' ', '=', '=', 'a', '#', '\t'};
        for (int round = 0; round < 20000; ++round) {
            QByteArray line;
            const int length = random.bounded(14);
            for (int i = 0; i < length; ++i)
                line.append(alphabet[random.bounded(int(sizeof alphabet))]);
            const QByteArray normalised = NormaliseConfLine(line);
            QCOMPARE(normalised, normaliseByTwoPasses(line));
            QCOMPARE(NormaliseConfLine(normalised), normalised);
        }
    }

    // Whole files, long enough for the loader's sixteen-byte steps, in every
    // state of how far its output has fallen behind its input.
    void loaderAgreesWithTwoPassesOnRandomFiles()
    {
        QRandomGenerator random(20261209);
        const char alphabet[] = {' ', ' ', ' ', '=', '#', 'a', 'b', '\t', '\n', '\r', '\0'};
        for (int round = 0; round < 3000; ++round) {
            QByteArray file;
            const int length = random.bounded(400);
            const int plainRun = random.bounded(40);
            for (int i = 0; i < length; ++i)
                file.append(random.bounded(plainRun + 1) == 0 ? alphabet[random.bounded(int(sizeof alphabet))] : 'k');
            QList<QByteArray> expected;
            for (const QByteArray &line : SplitConfLines(file))
                expected.append(normaliseByTwoPasses(line));
            QCOMPARE(linesOf(documentOf(file)), expected);
        }
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
        QList<QByteArray> split;
        for (const QByteArray &line : SplitConfLines(bytes))
            split.append(line);
        QCOMPARE(split, lines);
        QCOMPARE(linesOf(documentOf(bytes)), lines);
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
        const ConfDocument document = documentOf(file);
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
        ConfDocument document = documentOf(file);
        QCOMPARE(GetConfValue(document, name), value);
        // Asked twice: the second lookup uses what the first one kept.
        QCOMPARE(GetConfValue(document, name), value);
        // Setting replaces the line that was found instead of adding a second one.
        SetConfValue(document, name, "new");
        QCOMPARE(document.lineCount(), qsizetype(SplitConfLines(file).size()));
        QCOMPARE(GetConfValue(document, name), QByteArray("new"));
        setlocale(LC_ALL, "C.UTF-8");
    }

    // A key that needs the locale may come into a document of ASCII keys by a set.
    void setKeyIsFoundThroughTheLocale()
    {
        if (!setlocale(LC_ALL, "tr_TR.UTF-8"))
            QSKIP("locale tr_TR.UTF-8 is not generated on this machine");
        ConfDocument document = documentOf("x=1\n");
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray());
        SetConfValue(document, "\xc4\xb1pcname", "5");
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("5"));
        SetConfValue(document, "IPCNAME", "6");
        QCOMPARE(document.savedText(), QByteArray("x=1\nIPCNAME=6\n"));
        setlocale(LC_ALL, "C.UTF-8");
    }

    // Tags are short hashes, so some key shares the name's tag without
    // matching it. A file that repeats such a key on every line must not make
    // each lookup ask the locale once per line.
    void repeatedKeyWithTheNamesTagIsRuledOutOnce()
    {
        if (!setlocale(LC_ALL, "de_DE.ISO-8859-1"))
            QSKIP("locale de_DE.ISO-8859-1 is not generated on this machine");
        const KeyTag wanted = CollationKeyTag("IpcName");
        QByteArray key;
        for (int i = 0; key.isEmpty(); ++i) {
            const QByteArray candidate = "\xfc" + QByteArray::number(i);
            if (CollationKeyTag(candidate) == wanted)
                key = candidate;
        }
        QByteArray file;
        for (int i = 0; i < 200000; ++i)
            file += key + "=1\n";
        file += "IpcName=found\n";
        using Clock = std::chrono::steady_clock;
        const auto loadStart = Clock::now();
        ConfDocument document = documentOf(file);
        const auto loadTime = Clock::now() - loadStart;
        // The first lookup works out the collation tags, once per distinct key.
        const auto firstStart = Clock::now();
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("found"));
        const auto firstTime = Clock::now() - firstStart;
        // The fastest of three, so that a busy moment cannot fail the test.
        auto lookupTime = loadTime * 100;
        for (int round = 0; round < 3; ++round) {
            const auto lookupStart = Clock::now();
            QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("found"));
            lookupTime = std::min(lookupTime, Clock::now() - lookupStart);
        }
        setlocale(LC_ALL, "C.UTF-8");
        QVERIFY2(firstTime <= 4 * loadTime,
                 qPrintable(QStringLiteral("first lookup %1 ms, load %2 ms")
                                .arg(std::chrono::duration<double, std::milli>(firstTime).count())
                                .arg(std::chrono::duration<double, std::milli>(loadTime).count())));
        QVERIFY2(lookupTime <= 2 * loadTime,
                 qPrintable(QStringLiteral("lookup %1 ms, load %2 ms")
                                .arg(std::chrono::duration<double, std::milli>(lookupTime).count())
                                .arg(std::chrono::duration<double, std::milli>(loadTime).count())));
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
        using Clock = std::chrono::steady_clock;
        const auto loadStart = Clock::now();
        ConfDocument document = documentOf(file);
        const auto loadTime = Clock::now() - loadStart;
        QCOMPARE(GetConfValue(document, "IpcName"), QByteArray("found"));
        auto lookupTime = loadTime * 100;
        for (int round = 0; round < 3; ++round) {
            const auto lookupStart = Clock::now();
            QCOMPARE(GetConfValue(document, "LockSignal"), QByteArray());
            lookupTime = std::min(lookupTime, Clock::now() - lookupStart);
        }
        QVERIFY2(lookupTime <= loadTime,
                 qPrintable(QStringLiteral("lookup %1 ms, load %2 ms")
                                .arg(std::chrono::duration<double, std::milli>(lookupTime).count())
                                .arg(std::chrono::duration<double, std::milli>(loadTime).count())));
        // A name as long as the key still finds it.
        QCOMPARE(GetConfValue(document, (longKey + "7 ").toUpper()), QByteArray(" y"));
    }

    void lookupFollowsALocaleChangeAfterLoading()
    {
        if (!setlocale(LC_ALL, "C.UTF-8"))
            QSKIP("locale C.UTF-8 is not generated on this machine");
        // In UTF-8 the Latin-1 bytes cannot be decoded and only equal themselves.
        ConfDocument document = documentOf("gr\xf6\xdf" "e = 5\n");
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray());
        if (!setlocale(LC_ALL, "de_DE.ISO-8859-1"))
            QSKIP("locale de_DE.ISO-8859-1 is not generated on this machine");
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray("5"));
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QCOMPARE(GetConfValue(document, "GR\xd6\xdf" "E"), QByteArray());
    }

    // A key's tag is built eight bytes at a time, the last one to seven
    // bytes apart: letter case must not change it, the bytes after the key
    // must not reach it, and its last byte must.
    void asciiKeyTag_data()
    {
        QTest::addColumn<QByteArray>("key");
        for (const char *key : {"a", "Ab", "IpcName", "LockSign", "RootDirec", "ConnectionTimeo", "ConnectionTimeout",
                                "Module12.cache_pages_limit"})
            QTest::newRow(QByteArray::number(qstrlen(key)) + " bytes") << QByteArray(key);
    }
    void asciiKeyTag()
    {
        QFETCH(QByteArray, key);
        const KeyTag tag = AsciiKeyTag(key.constData(), key.size());
        QVERIFY(IsAsciiTag(tag));
        QCOMPARE(AsciiKeyTag(key.toUpper().constData(), key.size()), tag);
        const QByteArray inLine = key.toLower() + "=value of the line\n";
        QCOMPARE(AsciiKeyTag(inLine.constData(), key.size()), tag);
        QByteArray lastChanged = key;
        lastChanged.back() = lastChanged.back() == 'x' ? 'y' : 'x';
        QVERIFY(AsciiKeyTag(lastChanged.constData(), key.size()) != tag);
        QCOMPARE(AsciiKeyTag(("#" + key).constData(), key.size() + 1), CommentKey);
        QCOMPARE(AsciiKeyTag((key + "\xfc").constData(), key.size() + 1), LocaleKeyPending);
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
        ConfDocument document = documentOf(file);
        SetConfValue(document, name, value);
        QCOMPARE(document.savedText(), saved);
        if (!value.isEmpty() && !value.startsWith(' '))
            QCOMPARE(GetConfValue(document, name), value);
    }

    void setThenSetAgainFindsTheSetLine()
    {
        ConfDocument document = documentOf("x=1\n");
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
        ConfDocument document = documentOf(bytes);
        QCOMPARE(document.savedChunks().size(), size_t(1));
        SetConfValue(document, "Key500", "x");
        QCOMPARE(document.savedChunks().size(), size_t(3));
        QVERIFY(document.savedText().contains("\nKey500=x\n# comment\nKey501=501\n"));
    }

    // Removed and replaced lines cut the loaded text into pieces; whatever the
    // edits, the saved text is the lines in order, each followed by LF.
    void editsKeepTheSavedText_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void editsKeepTheSavedText()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const QByteArrayList names = {"a", "B", "c", "D", "e"};
        QByteArray file;
        QList<QByteArray> model;
        for (int i = 0; i < 12; ++i) {
            const QByteArray line = random.bounded(3) == 0 ? QByteArray("# note")
                                                           : names[random.bounded(int(names.size()))] + "=" + QByteArray::number(i);
            file += line + (random.bounded(2) ? "\r\n" : "\n");
            model.append(line);
        }
        ConfDocument document = documentOf(file);
        for (int step = 0; step < 30; ++step) {
            const QByteArray name = names[random.bounded(int(names.size()))];
            const QByteArray value = random.bounded(3) == 0 ? QByteArray() : "v" + QByteArray::number(step);
            qsizetype found = -1;
            for (qsizetype i = 0; i < model.size() && found < 0; ++i)
                if (model[i].toUpper().startsWith(name.toUpper() + "="))
                    found = i;
            if (value.isEmpty() && found >= 0)
                model.removeAt(found);
            else if (!value.isEmpty() && found >= 0)
                model[found] = name + "=" + value;
            else if (!value.isEmpty())
                model.append(name + "=" + value);
            SetConfValue(document, name, value);
            QCOMPARE(linesOf(document), model);
            QByteArray expected;
            for (const QByteArray &line : model)
                expected += line + "\n";
            QCOMPARE(document.savedText(), expected);
        }
    }

    void badInputSurvives_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray garbage;
        QRandomGenerator random(7);
        for (int i = 0; i < 100000; ++i)
            garbage.append(char(random.bounded(256)));
        QTest::newRow("binary garbage") << garbage;
        QTest::newRow("NUL bytes") << QByteArray("a\0=\0b\n\0\0\n", 10);
        QTest::newRow("10 MB single line") << QByteArray(10 * 1024 * 1024, 'x') + " = y";
        QTest::newRow("invalid multibyte") << QByteArray("\xc3\x28 = \xa0\xa1\n\xf0\x28\x8c\x28=1");
    }
    void badInputSurvives()
    {
        QFETCH(QByteArray, bytes);
        ConfDocument document = documentOf(bytes);
        QByteArray expected;
        for (const QByteArray &line : SplitConfLines(bytes))
            expected += normaliseByTwoPasses(line) + '\n';
        QCOMPARE(document.savedText(), expected);
        GetConfValue(document, "RootDirectory");
        SetConfValue(document, "RootDirectory", "/x");
        QCOMPARE(GetConfValue(document, "RootDirectory"), QByteArray("/x"));
        QCOMPARE(document.savedText(), expected + "RootDirectory=/x\n");
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
