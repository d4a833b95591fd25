// Loading and looking up stays linear on unusual files and in every locale.
// The same content is loaded as a plain LF file and in unusual forms, at two
// sizes, in one run; only ratios between their processor times are judged,
// so neither a fast machine nor other programs' load can make it pass or fail.

#include "conf_core/ConfLines.h"
#include "conf_core/ParamCatalogue.h"
#include "CpuTime.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <clocale>
#include <vector>

namespace {

struct Form {
    const char *name;
    const char *locale;
    const char *lineEnd;
    const char *keySuffix;  // put between a module setting's key and its " = "
    const char *modulePrefix;
};

// A lone CR, CR LF, tabs and letters outside ASCII in keys, and a locale that
// upper-cases "i" to a dotted capital.
const Form Forms[] = {
    {"plain LF", "C.UTF-8", "\n", "", "Module"},
    {"CR LF", "C.UTF-8", "\r\n", "", "Module"},
    {"lone CR", "C.UTF-8", "\r", "", "Module"},
    {"tab keys", "C.UTF-8", "\n", "\t", "Module"},
    {"UTF-8 keys", "C.UTF-8", "\n", "", "Mod\xc3\xbcl"},
    {"Latin-1 keys", "de_DE.ISO-8859-1", "\n", "", "Mod\xfcl"},
    {"tr_TR.UTF-8", "tr_TR.UTF-8", "\n", "", "Module"},
};

constexpr int SmallLines = 100000;
constexpr int LargeLines = 4 * SmallLines;

// Comment blocks, module settings written with blanks around "=", and 30 of
// the catalogue's parameters spread over the file, one in four in lower case.
QByteArray confText(const Form &form, int lineCount)
{
    const char *words[] = {"buffer", "cache", "pages", "threads", "timeout", "limit", "server", "client"};
    QByteArray text;
    text.reserve(qsizetype(lineCount) * 48);
    int line = 0;
    int parameter = 0;
    for (int block = 0; line < lineCount; ++block) {
        if (parameter < 30 && line >= (parameter + 1) * (lineCount / 31)) {
            QByteArray name = ParamCatalogue[size_t(parameter)].Name;
            if (parameter % 4 == 1)
                name = name.toLower();
            text += name + " = " + QByteArray::number(parameter) + form.lineEnd;
            ++parameter;
            ++line;
            continue;
        }
        const QByteArray key = form.modulePrefix + QByteArray::number(block / 40) + '.' + words[block % 8] + '_'
                               + words[(block / 8) % 8] + form.keySuffix;
        text += "#" + QByteArray(form.lineEnd) + "# " + key + ": see the manual." + form.lineEnd + "#" + key
                + " = 10   (default)" + form.lineEnd + key + " = " + QByteArray::number(block) + form.lineEnd;
        line += 4;
    }
    return text;
}

std::vector<QByteArray> refill(const ConfDocument &document)
{
    std::vector<QByteArray> values;
    for (const ParamEntry &entry : ParamCatalogue)
        values.push_back(GetConfValue(document, entry.Name));
    return values;
}

struct Timing {
    double loadAndRefill = 1e9;  // LoadConfFile's work and the first refill after it
    double laterRefill = 1e9;
    std::vector<QByteArray> values;
};

}  // namespace

class TestLoadGrowth : public QObject {
    Q_OBJECT

    // [form][0 small, 1 large], the fastest of the rounds.
    std::vector<std::array<Timing, 2>> m_timings;
    bool m_measured = false;

    void measure()
    {
        if (m_measured)
            return;
        m_measured = true;
        // Loaded from disk as the program loads them.
        QTemporaryDir dir;
        std::vector<std::array<QByteArray, 2>> paths;
        for (const Form &form : Forms) {
            paths.push_back({encoded(dir.filePath(QString(form.name) + " small")),
                             encoded(dir.filePath(QString(form.name) + " large"))});
            writeFile(QFile::decodeName(paths.back()[0]), confText(form, SmallLines));
            writeFile(QFile::decodeName(paths.back()[1]), confText(form, LargeLines));
        }
        m_timings.assign(std::size(Forms), {});
        // Rounds go over all forms in turn, so a busy moment hits them alike.
        for (int round = 0; round < 5; ++round) {
            for (size_t f = 0; f < std::size(Forms); ++f) {
                if (!setlocale(LC_ALL, Forms[f].locale))
                    continue;
                for (int size = 0; size < 2; ++size) {
                    Timing &timing = m_timings[f][size_t(size)];
                    ConfDocument document;
                    double start = threadCpuSeconds();
                    LoadConfFile(document, paths[f][size_t(size)]);
                    timing.values = refill(document);
                    timing.loadAndRefill = std::min(timing.loadAndRefill, threadCpuSeconds() - start);
                    start = threadCpuSeconds();
                    refill(document);
                    timing.laterRefill = std::min(timing.laterRefill, threadCpuSeconds() - start);
                }
            }
        }
        setlocale(LC_ALL, "C.UTF-8");
        for (size_t f = 0; f < std::size(Forms); ++f)
            qInfo("%-14s processor time: load+refill %8.2f / %8.2f ms, later refill %6.3f / %6.3f ms", Forms[f].name,
                  m_timings[f][0].loadAndRefill * 1000, m_timings[f][1].loadAndRefill * 1000,
                  m_timings[f][0].laterRefill * 1000, m_timings[f][1].laterRefill * 1000);
    }

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }

    void forms_data()
    {
        QTest::addColumn<int>("form");
        for (size_t f = 1; f < std::size(Forms); ++f)
            QTest::newRow(Forms[f].name) << int(f);
    }

    void growsLikeThePlainFile_data() { forms_data(); }
    void growsLikeThePlainFile()
    {
        QFETCH(int, form);
        if (!setlocale(LC_ALL, Forms[form].locale))
            QSKIP("locale not generated on this machine");
        measure();
        const auto &plain = m_timings[0];
        const auto &unusual = m_timings[size_t(form)];
        const double plainGrowth = plain[1].loadAndRefill / plain[0].loadAndRefill;
        const double growth = unusual[1].loadAndRefill / unusual[0].loadAndRefill;
        QVERIFY2(growth <= 2 * plainGrowth,
                 qPrintable(QStringLiteral("4 times the lines: %1 times the processor time, the plain file %2 times")
                                .arg(growth, 0, 'f', 2)
                                .arg(plainGrowth, 0, 'f', 2)));
    }

    // Whatever the locale asks for is paid once: a later refill compares hashes.
    void laterRefillCostsLessThanALoad_data() { forms_data(); }
    void laterRefillCostsLessThanALoad()
    {
        QFETCH(int, form);
        if (!setlocale(LC_ALL, Forms[form].locale))
            QSKIP("locale not generated on this machine");
        measure();
        const double plainLoad = m_timings[0][1].loadAndRefill;
        const double refillTime = m_timings[size_t(form)][1].laterRefill;
        QVERIFY2(refillTime <= plainLoad,
                 qPrintable(QStringLiteral("refill %1 ms, loading the plain file %2 ms of processor time")
                                .arg(refillTime * 1000, 0, 'f', 2)
                                .arg(plainLoad * 1000, 0, 'f', 2)));
    }

    void findsWhatThePlainFileHolds_data() { forms_data(); }
    void findsWhatThePlainFileHolds()
    {
        QFETCH(int, form);
        if (!setlocale(LC_ALL, Forms[form].locale))
            QSKIP("locale not generated on this machine");
        measure();
        for (int size = 0; size < 2; ++size) {
            const std::vector<QByteArray> &values = m_timings[size_t(form)][size_t(size)].values;
            QCOMPARE(values, m_timings[0][size_t(size)].values);
            QCOMPARE(std::count(values.begin(), values.end(), QByteArray()), 6);
        }
    }
};

QTEST_GUILESS_MAIN(TestLoadGrowth)
#include "tst_loadgrowth.moc"
