// Loading large files: the document is what the reference makes of the bytes,
// whatever falls where a read of the file ends (a CR LF pair, the blanks
// around "=", a line longer than a read), and a long line costs no more than
// lines of the same size.

#include "conf_core/ConfLines.h"
#include "CpuTime.h"
#include "LoadedDocument.h"
#include "ReferenceConfFile.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <clocale>

namespace {

constexpr qsizetype MiB = 1024 * 1024;

// Lines of varied length with the given terminator, about `size` bytes.
QByteArray linesOfSize(qsizetype size, const QByteArray &terminator)
{
    const QByteArray lines[] = {"# Module cache: how the cache handles its pages.", "#Module.cache_pages = 12   (default)",
                                "Module.cache_pages =  40", "", "RootDirectory=/opt/corvane", "LockSignal  =  9 # remark",
                                "IpcName = a = b"};
    QByteArray text;
    text.reserve(size + 64);
    for (qsizetype i = 0; text.size() < size; ++i)
        text.append(lines[i % std::size(lines)]).append(terminator.isEmpty() ? QByteArray(i % 2 ? "\n" : "\r\n") : terminator);
    return text;
}

// Puts the pattern over the text around every MiB (and every 64 KiB near
// the start), where reads of the file tend to end, at each shift within it.
QByteArray withPatternAtReadEnds(QByteArray text, const QByteArray &pattern)
{
    qsizetype shift = 0;
    auto place = [&](qsizetype at) {
        const qsizetype from = at - pattern.size() + 1 + shift % pattern.size();
        if (from >= 0 && from + pattern.size() <= text.size())
            text.replace(from, pattern.size(), pattern);
        ++shift;
    };
    for (qsizetype at = 64 * 1024; at < MiB; at += 64 * 1024)
        place(at);
    for (qsizetype at = MiB; at < text.size(); at += MiB)
        place(at);
    return text;
}

QByteArray withPatternAt(QByteArray text, qsizetype at, const QByteArray &pattern)
{
    return text.replace(at, pattern.size(), pattern);
}

}  // namespace

class TestLargeLoad : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }

    void sameAsTheReference_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray lf = linesOfSize(6 * MiB, "\n");
        QTest::newRow("LF lines") << lf;
        QTest::newRow("CR LF pairs split by reads") << withPatternAtReadEnds(linesOfSize(6 * MiB, "\r\n"), "x\r\ny");
        QTest::newRow("lone CR lines") << withPatternAtReadEnds(linesOfSize(6 * MiB, "\r"), "\r\r\n\r");
        // The CR ends a read that holds no LF, the LF starts the next.
        QTest::newRow("one CR LF pair split by a read among lone CRs")
            << withPatternAt(linesOfSize(6 * MiB, "\r"), 3 * MiB - 1, "\r\n");
        QTest::newRow("mixed line ends") << withPatternAtReadEnds(linesOfSize(6 * MiB, {}), "\n\r\r\n");
        QTest::newRow("blanks around = across reads")
            << withPatternAtReadEnds(lf, "\nKey" + QByteArray(40, ' ') + "=" + QByteArray(40, ' ') + "v\n");
        QTest::newRow("comment starts a read") << withPatternAtReadEnds(lf, "\n#A = 1\nB = 2\n");
        QTest::newRow("line longer than a read")
            << lf.left(MiB) + "Long = " + QByteArray(3 * MiB, 'x') + " = y\n" + lf.left(2 * MiB);
        QTest::newRow("one line, no terminator") << "Key = " + QByteArray(5 * MiB, 'v') + " = w";
        QTest::newRow("key outside ASCII near the end") << lf + "Mod\xc3\xbcl = 5\n" + lf.left(4096);
        QTest::newRow("no final terminator") << lf + "Last = 1";
        QTest::newRow("lone CR at the end") << lf + "Last = 1\r";
        QTest::newRow("NUL and high bytes") << withPatternAtReadEnds(lf, QByteArray("\0 = \xff\xfe\r", 7));
    }
    void sameAsTheReference()
    {
        QFETCH(QByteArray, bytes);
        const ConfDocument document = loadedDocument(bytes);
        const ReferenceLines expected = referenceLines(bytes);
        QCOMPARE(document.lineCount(), expected.size());
        QVERIFY(document.savedText() == referenceSaved(expected));
        for (const char *name : {"Module.cache_pages", "LockSignal", "IpcName", "Key", "Long", "Last", "B"}) {
            auto match = std::find_if(expected.begin(), expected.end(),
                                      [&](const QByteArray &line) { return referenceKeyMatches(line, name); });
            const QByteArray value = match == expected.end() ? QByteArray() : match->mid(match->indexOf('=') + 1);
            QCOMPARE(GetConfValue(document, name), value);
        }
        // A name outside ASCII is compared with every key through the locale.
        if (bytes.contains("Mod\xc3\xbcl"))
            QCOMPARE(GetConfValue(document, "MOD\xc3\x9cL"), QByteArray("5"));
    }

    // A line of many reads costs what ordinary lines of the same size cost:
    // looking for line ends in all that was read of it, after each read,
    // would make it grow with the square of its length.
    void longLineLoadsInLinearTime()
    {
        QTemporaryDir dir;
        const QByteArray lines = linesOfSize(32 * MiB, "\n");
        QByteArray oneLine = lines;
        oneLine.replace('\n', ' ').back() = '\n';
        double best[2] = {1e9, 1e9};
        for (int round = 0; round < 3; ++round) {
            for (int form = 0; form < 2; ++form) {
                const QString path = dir.filePath(QString::number(form));
                writeFile(path, form ? oneLine : lines);
                ConfDocument document;
                const double start = threadCpuSeconds();
                LoadConfFile(document, encoded(path));
                best[form] = std::min(best[form], threadCpuSeconds() - start);
                QCOMPARE(document.lineCount(), form ? 1 : lines.count('\n'));
            }
        }
        qInfo("32 MiB as lines: %.1f ms, as one line: %.1f ms of processor time", best[0] * 1e3, best[1] * 1e3);
        QVERIFY2(best[1] < 2.5 * best[0], "one long line loads far slower than lines of the same size");
    }
};

QTEST_GUILESS_MAIN(TestLargeLoad)
#include "tst_largeload.moc"
