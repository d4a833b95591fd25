// Benchmark: the aliases editor on long lines and large files. For each file,
// the time from creating the window to its first paint (or to its refusal of
// a file too large or a line too long), and of one keystroke in the text area with the repaint it
// causes, beside the targets of 1 s and 100 ms.
//
//   cvconf_bench_aliases [--dir DIR] [--repetitions N] [--sweep]
//
// --sweep sets single lines without blanks, of growing length, and files of
// growing numbers of lines straight into the editor's text area, past the
// length and the number at which the editor refuses a file: the measurement
// behind those limits. Every figure is the median of the
// repetitions. Prints a Markdown table; run it with QT_QPA_PLATFORM=offscreen
// or under X.

#include "BenchTiming.h"
#include "conf_core/StartupChecks.h"
#include "ui/Editaliases.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <vector>

namespace {

constexpr double OpenTarget = 1.0;
constexpr double KeystrokeTarget = 0.1;

// The line repeated, each ended by LF.
QByteArray lines(const QByteArray &line, qsizetype count)
{
    return (line + '\n').repeated(count);
}

// Letters with a blank after every eleventh, as aliases and paths are, or none.
QByteArray words(qsizetype length, bool blanks)
{
    QByteArray line(length, 'a');
    for (qsizetype i = 0; i < length; ++i)
        line[i] = (blanks && i % 12 == 11) ? ' ' : char('a' + i % 26);
    return line;
}

QPlainTextEdit *memoOf(TEditaliasesFrm &editor)
{
    return editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"));
}

// What the user waits for: events handled and the text area painted.
void settle(TEditaliasesFrm &editor)
{
    QCoreApplication::processEvents();
    memoOf(editor)->viewport()->repaint();
}

double typeKey(TEditaliasesFrm &editor)
{
    const Clock::time_point start = Clock::now();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(memoOf(editor), &press);
    QCoreApplication::sendEvent(memoOf(editor), &release);
    settle(editor);
    return secondsSince(start);
}

struct Timing {
    double open = 0;  // or to the refusal
    double keystroke = 0;
    bool refused = false;
};

// Opens the editor on the content as the main window does, types one key.
Timing openFile(const QByteArray &content, int repetitions)
{
    QFile file(QFile::decodeName(AliasesFileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::fprintf(stderr, "cannot write %s\n", AliasesFileName.constData());
    file.close();
    std::vector<double> opens, keys;
    Timing timing;
    for (int round = 0; round < repetitions; ++round) {
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);  // the refusal's box, not shown
        const Clock::time_point start = Clock::now();
        TEditaliasesFrm editor(nullptr);
        timing.refused = editor.FileRefused();
        if (!timing.refused) {
            editor.show();
            settle(editor);
        }
        opens.push_back(secondsSince(start));
        if (!timing.refused)
            keys.push_back(typeKey(editor));
    }
    timing.open = median(opens);
    timing.keystroke = keys.empty() ? 0 : median(keys);
    return timing;
}

// Sets the text straight into an open editor's text area, types one key.
Timing setIntoTextArea(const QString &text, int repetitions)
{
    QFile file(QFile::decodeName(AliasesFileName));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.close();
    std::vector<double> sets, keys;
    for (int round = 0; round < repetitions; ++round) {
        TEditaliasesFrm editor(nullptr);
        editor.show();
        settle(editor);
        const Clock::time_point start = Clock::now();
        memoOf(editor)->setPlainText(text);
        settle(editor);
        sets.push_back(secondsSince(start));
        keys.push_back(typeKey(editor));
    }
    return {median(sets), median(keys), false};
}

void printRow(const QString &what, const Timing &timing)
{
    if (timing.refused)
        std::printf("| %s | refused in %.3f | %.3f | - | - |\n", qPrintable(what), timing.open,
                    timing.open / OpenTarget);
    else
        std::printf("| %s | %.3f | %.3f | %.1f | %.2f |\n", qPrintable(what), timing.open, timing.open / OpenTarget,
                    timing.keystroke * 1000, timing.keystroke / KeystrokeTarget);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    std::setlocale(LC_ALL, "C.UTF-8");
    QString dir = QDir::tempPath();
    int repetitions = 3;
    bool sweep = false;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--dir") && i + 1 < arguments.size())
            dir = arguments[++i];
        else if (arguments[i] == QLatin1String("--repetitions") && i + 1 < arguments.size())
            repetitions = std::max(1, arguments[++i].toInt());
        else if (arguments[i] == QLatin1String("--sweep"))
            sweep = true;
    }
    AliasesFileName = QFile::encodeName(dir + QStringLiteral("/aliases.conf"));

    std::printf("| %s | Open (s) | of 1 s | Keystroke (ms) | of 100 ms |\n|---|---|---|---|---|\n",
                sweep ? "Line set into the text area" : "aliases.conf");
    if (sweep) {
        for (qsizetype length : {8192, 16384, 32768, 49152, 65536, 98304})
            printRow(QStringLiteral("%1 characters, no blank").arg(length),
                     setIntoTextArea(QString::fromLatin1(words(length, false)), repetitions));
        for (qsizetype count : {100'000, 200'000, 400'000, 800'000}) {
            printRow(QStringLiteral("%1 lines of 80 bytes").arg(count),
                     setIntoTextArea(QString::fromLatin1(lines(words(79, true), count)), repetitions));
            printRow(QStringLiteral("%1 empty lines").arg(count),
                     setIntoTextArea(QString(count, u'\n'), repetitions));
        }
        for (qsizetype count : {1000, 2000, 3000})
            printRow(QStringLiteral("%1 lines of 16,384 characters, no blank").arg(count),
                     setIntoTextArea(QString::fromLatin1(lines(words(16384, false), count)), repetitions));
    } else {
        const qsizetype longest = 16384;
        const qsizetype most = 50'000;
        const QByteArray cjk = QByteArray("\xe5\x90\x8d\xe5\x89\x8d = /db/\xe5\x90\x8d.cvdb");
        const std::vector<std::pair<const char *, QByteArray>> files = {
            {"one line of 16,384 characters, no blank", words(longest, false)},
            {"one line of 16,385 characters", words(longest + 1, true)},
            {"one line of 1 MB", words(1'000'000, true)},
            {"50,000 lines of 80 bytes", lines(words(79, true), most)},
            {"50,000 empty lines", lines(QByteArray(), most)},
            {"50,000 CJK lines (UTF-8)", lines(cjk, most)},
            {"19.99 MB in 1,220 lines of 16,384 characters, no blank", lines(words(longest, false), 1220)},
            {"50,001 lines of 80 bytes", lines(words(79, true), most + 1)},
            {"50 MB of 80-byte lines", lines(words(79, true), 625'000)},
        };
        for (const auto &[what, content] : files)
            printRow(QString::fromUtf8(what), openFile(content, repetitions));
    }
    QFile::remove(QFile::decodeName(AliasesFileName));
    return 0;
}
