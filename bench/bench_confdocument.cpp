// Benchmark: the configuration document on a large generated corvane.conf,
// beside the shell tools an administrator would script instead, and the
// program's start-up time beside a minimal Qt Widgets program.
//
//   cvconf_bench [--lines N] [--repetitions N] [--dir DIR] [--no-prefault]
//                [--startup-runs N] [--program PATH] [--floor PATH] [--no-startup]
//                [--no-forms]
//
// Every figure is the median of the repetitions, after one untimed warm-up
// round; the file stays in the page cache for all contenders alike. Prints a
// Markdown table.

#include "BenchTiming.h"
#include "conf_core/ConfLines.h"
#include "conf_core/NameMatch.h"
#include "conf_core/ParamCatalogue.h"
#include "ReferenceConfFile.h"
#include "StartupTime.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

long peakKilobytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "cvconf_bench: %s\n", what.c_str());
    std::exit(1);
}

// Runs a program (no shell), standard output to a file or captured; returns its exit status.
int run(const std::vector<std::string> &arguments, const char *outputPath, std::string *captured = nullptr)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captured) {
        if (pipe(pipeFds) != 0)
            fail("pipe");
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail("cannot start " + arguments[0] + ": " + std::strerror(spawned));
    if (captured) {
        close(pipeFds[1]);
        char buffer[4096];
        for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            captured->append(buffer, size_t(got));
        close(pipeFds[0]);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A corvane.conf as a server of many modules would have it: a documentation
// comment block per setting, its commented-out default, and the active line,
// written with blanks around "=", sometimes with a remark, sometimes in other
// letter case. 30 of the 36 catalogue parameters are set, spread evenly over
// the file; 6 appear only as comments, so their lookups read to the end.
// Streams to disk, so generating adds nothing to the process's peak memory.
// The form varies the line ends and the module settings' keys.
struct FileForm {
    const char *name;
    const char *lineEnd;
    const char *modulePrefix;  // the start of a module setting's key
    const char *keySuffix;     // between a module setting's key and its " = "
};

const FileForm PlainForm = {"plain", "\n", "Module", ""};

qint64 generateConf(const QByteArray &path, long lineCount, const FileForm &form = PlainForm)
{
    FILE *out = std::fopen(path.constData(), "w");
    if (!out)
        fail("cannot create " + path.toStdString());
    static char buffer[1 << 20];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    const char *words[] = {"buffer", "cache", "pages", "threads", "timeout", "limit", "server", "client",
                           "socket", "memory", "index", "journal", "replica", "segment", "priority", "queue"};
    const int wordCount = int(sizeof words / sizeof *words);
    unsigned seed = 20261208;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    const int activeCatalogue = 30;
    long line = 0;
    int catalogueDone = 0;
    long block = 0;
    while (line < lineCount) {
        // The next catalogue parameter is due at evenly spread positions.
        if (catalogueDone < ParamCount && line >= (catalogueDone + 1) * (lineCount / (ParamCount + 1))) {
            const ParamEntry &entry = ParamCatalogue[size_t(catalogueDone)];
            const char *end = form.lineEnd;
            std::fprintf(out, "#%s# %s: see the server manual.%s#%s = %s%s", end, entry.Name, end, entry.Name,
                         entry.Default, end);
            line += 3;
            if (catalogueDone < activeCatalogue) {
                QByteArray name(entry.Name);
                if (catalogueDone % 4 == 1)
                    name = name.toLower();
                std::fprintf(out, "%s = %s%s%s", name.constData(), *entry.Default ? entry.Default : "/srv/corvane",
                             catalogueDone % 3 == 0 ? "   # changed for this site" : "", form.lineEnd);
                ++line;
            }
            ++catalogueDone;
            continue;
        }
        // An unknown module setting with its documentation.
        const char *a = words[next() % wordCount];
        const char *b = words[next() % wordCount];
        const long module = block / 40;
        const char *end = form.lineEnd;
        char key[128];
        std::snprintf(key, sizeof key, "%s%ld.%s_%s%s", form.modulePrefix, module, a, b, form.keySuffix);
        std::fprintf(out, "#%s# %s%ld %s %s: how the %s handles its %s; see the manual, part %ld.%s", end,
                     form.modulePrefix, module, a, b, a, b, module % 12 + 1, end);
        std::fprintf(out, "#%s = %u   (default)%s", key, next() % 1000, end);
        switch (next() % 4) {
        case 0:
            std::fprintf(out, "%s = %u   # tuned%s", key, next() % 100000, end);
            break;
        case 1:
            std::fprintf(out, "%s =  %s%u%s", key, b, next() % 100, end);
            break;
        case 2:
            std::fprintf(out, "%s=%u%s", key, next(), end);
            break;
        default:
            std::fprintf(out, "%s", end);
        }
        line += 4;
        ++block;
    }
    if (std::fclose(out) != 0)
        fail("cannot write " + path.toStdString());
    return QFileInfo(QString::fromLocal8Bit(path)).size();
}

// On a virtual machine whose host backs guest memory only when it is first
// touched, the first use of each page costs a host fault that a real machine
// never pays, and the programs measured would pay it at random. A child
// touches and frees this much memory first, so that the pages everybody gets
// afterwards are already backed. The child's memory does not count in our peak.
void prefaultMemory(size_t megabytes)
{
    const pid_t child = fork();
    if (child == 0) {
        const size_t size = megabytes << 20;
        char *memory = static_cast<char *>(std::malloc(size));
        if (memory)
            for (size_t at = 0; at < size; at += 4096)
                memory[at] = 1;
        _exit(memory ? 0 : 1);
    }
    if (child > 0)
        waitpid(child, nullptr, 0);
}

struct Row {
    const char *what;
    double ours;
    const char *peerName;
    double peer;
    double target;  // largest acceptable ratio; 0 for none
};

QByteArray optionValue(int argc, char **argv, const char *option, const QByteArray &fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return argv[i + 1];
    return fallback;
}

bool hasOption(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return true;
    return false;
}

// The first three fields of /proc/loadavg: the load over 1, 5 and 15 minutes.
std::string loadAverage()
{
    char text[64] = {};
    if (FILE *file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file))
            text[0] = 0;
        std::fclose(file);
    }
    std::string fields(text);
    for (int spaces = 0, i = 0; i < int(fields.size()); ++i)
        if (fields[size_t(i)] == ' ' && ++spaces == 3)
            return fields.substr(0, size_t(i));
    return fields.empty() ? std::string("unknown") : fields;
}

const char *verdict(double ratio, double target) { return ratio <= target ? "met" : "**missed**"; }

std::vector<QByteArray> refillValues(const ConfDocument &document)
{
    std::vector<QByteArray> values;
    values.reserve(ParamCount);
    for (const ParamEntry &entry : ParamCatalogue)
        values.push_back(GetConfValue(document, entry.Name));
    return values;
}

// A file of an unusual form, read in a locale: what the user waits for after
// Read (the load and the first refill), a later refill, and a row selection
// that reads the whole document (a parameter the file holds only in a comment).
struct FormSetting {
    const char *locale;
    FileForm form;
    const char *longLine;  // a line of 100 MB appended to the file, or null
};

const FormSetting FormSettings[] = {
    {"C.UTF-8", PlainForm, nullptr},
    {"C.UTF-8", {"lone CR", "\r", "Module", ""}, nullptr},
    {"C.UTF-8", {"tab keys", "\n", "Module", "\t"}, nullptr},
    {"C.UTF-8", {"UTF-8 letters in keys", "\n", "Mod\xc3\xbcl", ""}, nullptr},
    {"C.UTF-8", {"100 MB comment line", "\n", "Module", ""}, "# "},
    {"C.UTF-8", {"100 MB unknown key's line", "\n", "Module", ""}, "UnknownSetting = "},
    {"de_DE.ISO-8859-1", PlainForm, nullptr},
    {"de_DE.ISO-8859-1", {"tab keys", "\n", "Module", "\t"}, nullptr},
    {"de_DE.ISO-8859-1", {"Latin-1 letters in keys", "\n", "Mod\xfcl", ""}, nullptr},
    {"tr_TR.UTF-8", PlainForm, nullptr},
    {"tr_TR.UTF-8", {"tab keys", "\n", "Module", "\t"}, nullptr},
    {"tr_TR.UTF-8", {"UTF-8 letters in keys", "\n", "Mod\xc3\xbcl", ""}, nullptr},
};

void appendLongLine(const QByteArray &path, const char *start)
{
    FILE *out = std::fopen(path.constData(), "a");
    if (!out)
        fail("cannot append to " + path.toStdString());
    std::fputs(start, out);
    static char text[1 << 20];
    for (size_t i = 0; i < sizeof text; ++i)
        text[i] = "the quick brown fox jumps over the lazy dog "[i % 44];
    for (int i = 0; i < 100; ++i)
        std::fwrite(text, 1, sizeof text, out);
    std::fputs("\n", out);
    if (std::fclose(out) != 0)
        fail("cannot write " + path.toStdString());
}

void printFormsTable(const QByteArray &dir, long lineCount, int repetitions, const QByteArray &plainPath,
                     const std::vector<QByteArray> &plainValues)
{
    const double ms = 1000;
    std::printf("\nThe same %ld lines in other forms and locales (medians of %d; ratio: load and first refill to"
                " the plain file in C.UTF-8):\n\n",
                lineCount, repetitions);
    std::printf("| File | Locale | LoadConfFile + first refill | Ratio to plain | First refill | Later refill |"
                " Row selection | |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---|\n");
    const QByteArray formPath = dir + "/corvane.form.conf";
    double plainTime = 0;
    for (const FormSetting &setting : FormSettings) {
        const bool plain = std::strcmp(setting.form.name, PlainForm.name) == 0;
        const QByteArray path = plain ? plainPath : formPath;
        if (!plain) {
            generateConf(path, lineCount, setting.form);
            if (setting.longLine)
                appendLongLine(path, setting.longLine);
        }
        if (!std::setlocale(LC_ALL, setting.locale)) {
            std::printf("| %s | %s | locale missing | | | | | |\n", setting.form.name, setting.locale);
            continue;
        }
        // The table's figures keep their decimal points.
        std::setlocale(LC_NUMERIC, "C");
        std::vector<double> loadAndFirst, first, later, select;
        ConfDocument document;
        for (int round = 0; round <= repetitions; ++round) {
            auto start = Clock::now();
            LoadConfFile(document, path);
            const double loadTime = secondsSince(start);
            start = Clock::now();
            const std::vector<QByteArray> values = refillValues(document);
            const double firstTime = secondsSince(start);
            start = Clock::now();
            refillValues(document);
            const double laterTime = secondsSince(start);
            start = Clock::now();
            GetConfValue(document, "RemoteFileOpenAbility");
            const double selectTime = secondsSince(start);
            if (values != plainValues)
                fail(std::string("the values differ from the plain file's: ") + setting.form.name + " in "
                     + setting.locale);
            if (round == 0)
                continue;
            loadAndFirst.push_back(loadTime + firstTime);
            first.push_back(firstTime);
            later.push_back(laterTime);
            select.push_back(selectTime);
        }
        if (plainTime == 0)
            plainTime = median(loadAndFirst);
        const bool met = median(first) <= 1.0 && median(later) <= 0.020 && median(select) <= 0.002;
        std::printf("| %s | %s | %.1f ms | %.2f | %.1f ms | %.2f ms | %.3f ms | %s |\n", setting.form.name,
                    setting.locale, median(loadAndFirst) * ms, median(loadAndFirst) / plainTime, median(first) * ms,
                    median(later) * ms, median(select) * ms, met ? "met" : "**missed**");
    }
    std::remove(formPath.constData());
    std::setlocale(LC_ALL, "C.UTF-8");
}

}  // namespace

int main(int argc, char **argv)
{
    // The program and the tools work in the same locale; the name lookups'
    // fast path depends on it folding ASCII the usual way.
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        fail("locale C.UTF-8 missing");
    setenv("LC_ALL", "C.UTF-8", 1);
    const long lineCount = optionValue(argc, argv, "--lines", "1000000").toLong();
    const int repetitions = std::max(1, optionValue(argc, argv, "--repetitions", "5").toInt());
    const int startupRuns = std::max(1, optionValue(argc, argv, "--startup-runs", "10").toInt());
    const char *envDir = std::getenv("CV_BENCH_DIR");
    const QByteArray dir = optionValue(argc, argv, "--dir", envDir && *envDir ? QByteArray(envDir) : QByteArray(CV_BENCH_DIR));
    if (!QDir().mkpath(QString::fromLocal8Bit(dir)))
        fail("cannot create " + dir.toStdString());

    const std::string loadBefore = loadAverage();
    const bool prefault = !hasOption(argc, argv, "--no-prefault");
    if (prefault)
        prefaultMemory(4096);
    const long baseline = peakKilobytes();
    const QByteArray confPath = dir + "/corvane.conf";
    const QByteArray savedPath = dir + "/corvane.saved.conf";
    const QByteArray sedOut = dir + "/sed.out", ddOut = dir + "/dd.out";
    const qint64 fileSize = generateConf(confPath, lineCount);

    // The first load goes into an empty document, as at start-up; every later
    // round reads the file again into the document the round before left, as
    // the Read button does, and the old lines stay until the new file is read.
    ConfDocument document;
    LoadConfFile(document, confPath);
    const std::vector<QByteArray> plainValues = refillValues(document);
    const long firstLoadPeak = peakKilobytes();

    std::vector<double> load, refill, set, save, sed, grep, dd;
    size_t checksum = 0;
    for (int round = 0; round <= repetitions; ++round) {
        const bool warmUp = round == 0;

        // The save goes back to the file the round loaded, with the check that
        // no other program changed it: a fresh copy, so the generated file stays.
        QFile::remove(QFile::decodeName(savedPath));
        if (!QFile::copy(QFile::decodeName(confPath), QFile::decodeName(savedPath)))
            fail("cannot copy the file");
        auto start = Clock::now();
        LoadConfFile(document, savedPath);
        const double loadTime = secondsSince(start);

        std::vector<QByteArray> values;
        values.reserve(ParamCount);
        start = Clock::now();
        for (const ParamEntry &entry : ParamCatalogue)
            values.push_back(GetConfValue(document, entry.Name));
        const double refillTime = secondsSince(start);
        for (const QByteArray &value : values)
            checksum += size_t(value.size());

        start = Clock::now();
        SetConfValue(document, "DefaultDbCachePages", QByteArray::number(4096 + round));
        const double setTime = secondsSince(start);

        start = Clock::now();
        SaveConfFile(document, savedPath);
        const double saveTime = secondsSince(start);

        start = Clock::now();
        if (run({"sed", "-E", "/^#/!s/ *= */=/g", confPath.toStdString()}, sedOut.constData()) != 0)
            fail("sed failed");
        const double sedTime = secondsSince(start);

        start = Clock::now();
        for (size_t i = 0; i < ParamCatalogue.size(); ++i) {
            const ParamEntry &entry = ParamCatalogue[i];
            const std::string pattern = std::string("^") + entry.Name + " *=";
            if (!warmUp) {
                run({"grep", "-i", "-m1", "-e", pattern, confPath.toStdString()}, "/dev/null");
                continue;
            }
            // Once, untimed: the tools and the document must give the same answers.
            std::string found;
            run({"grep", "-i", "-m1", "-e", pattern, confPath.toStdString()}, nullptr, &found);
            while (!found.empty() && found.back() == '\n')
                found.pop_back();
            const QByteArray normalised = referenceNormalised(QByteArray::fromStdString(found));
            const QByteArray expected = normalised.isEmpty() ? QByteArray() : normalised.mid(normalised.indexOf('=') + 1);
            if (values[i] != expected)
                fail(std::string("grep and GetConfValue disagree on ") + entry.Name);
        }
        const double grepTime = secondsSince(start);

        start = Clock::now();
        if (run({"dd", "if=" + confPath.toStdString(), "of=" + ddOut.toStdString(), "bs=4M", "conv=fsync",
                 "status=none"},
                "/dev/null")
            != 0)
            fail("dd failed");
        const double ddTime = secondsSince(start);

        if (warmUp)
            continue;
        load.push_back(loadTime);
        refill.push_back(refillTime);
        set.push_back(setTime);
        save.push_back(saveTime);
        sed.push_back(sedTime);
        grep.push_back(grepTime);
        dd.push_back(ddTime);
    }
    const long reloadPeak = peakKilobytes();

    std::vector<double> loadAndRefill;
    for (size_t i = 0; i < load.size(); ++i)
        loadAndRefill.push_back(load[i] + refill[i]);

    const double ms = 1000;
    std::printf("File: %ld lines, %.1f MB; %d repetitions, median; locale C.UTF-8 (plain ASCII folding: %s);"
                " memory prefaulted: %s\n\n",
                lineCount, double(fileSize) / 1e6, repetitions, AsciiFoldingIsPlain() ? "yes" : "no",
                prefault ? "yes" : "no");
    std::printf("| Work | CVConfManager | Peer | Peer time | Ratio | Target | |\n");
    std::printf("|---|---:|---|---:|---:|---:|---|\n");
    std::printf("| LoadConfFile | %.1f ms | | | | | |\n", median(load) * ms);
    const Row rows[] = {
        {"LoadConfFile + 36 GetConfValue", median(loadAndRefill), "sed -E '/^#/!s/ *= */=/g'", median(sed), 0.2},
        {"36 GetConfValue (list refill)", median(refill), "36 × grep -i -m1 '^Name *='", median(grep), 0.05},
        {"SaveConfFile", median(save), "dd bs=4M conv=fsync", median(dd), 1.1},
    };
    for (const Row &row : rows) {
        const double ratio = row.ours / row.peer;
        std::printf("| %s | %.1f ms | %s | %.1f ms | %.3f | ≤ %.2f | %s |\n", row.what, row.ours * ms, row.peerName,
                    row.peer * ms, ratio, row.target, verdict(ratio, row.target));
    }
    std::printf("| SetConfValue (one) | %.3f ms | | | | | |\n", median(set) * ms);
    const struct {
        const char *what;
        long peak;
    } peaks[] = {{"Peak memory above baseline, first load", firstLoadPeak},
                 {"Peak memory above baseline, loading again", reloadPeak}};
    for (const auto &row : peaks) {
        const double above = double(row.peak - baseline) * 1024;
        std::printf("| %s | %.1f MB | file size | %.1f MB | %.2f | ≤ 1.50 | %s |\n", row.what, above / 1e6,
                    double(fileSize) / 1e6, above / double(fileSize), verdict(above / double(fileSize), 1.5));
    }

    if (!hasOption(argc, argv, "--no-forms"))
        printFormsTable(dir, lineCount, repetitions, confPath, plainValues);

#ifdef CV_STARTUP_PROGRAM
    const QByteArray program = CV_STARTUP_PROGRAM;
#else
    const QByteArray program;
#endif
#ifdef CV_STARTUP_FLOOR
    const QByteArray floorProgram = CV_STARTUP_FLOOR;
#else
    const QByteArray floorProgram;
#endif
    if (!hasOption(argc, argv, "--no-startup"))
        PrintStartupTimes(startupRuns, optionValue(argc, argv, "--program", program),
                          optionValue(argc, argv, "--floor", floorProgram));

    std::printf("\nLoad average (1, 5, 15 minutes): %s at the start, %s at the end.\n", loadBefore.c_str(),
                loadAverage().c_str());
    std::remove(confPath.constData());
    std::remove(savedPath.constData());
    std::remove(sedOut.constData());
    std::remove(ddOut.constData());
    return checksum == 0 ? 1 : 0;
}
