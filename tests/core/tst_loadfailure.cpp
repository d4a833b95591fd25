// Memory running out in the middle of a load: whichever allocation fails, the
// document keeps exactly what it held before. The seams are the program's
// operator new, which this test replaces with one that fails on request, and
// for the file's own buffer, which Qt takes from malloc, a limit on the
// process's address space.

#include "conf_core/ConfLines.h"
#include "LoadedDocument.h"
#include "Sanitizers.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Allocations that still succeed; negative for no limit.
std::atomic<long> allocationsLeft{-1};

// The address space the process uses now, in bytes.
rlim_t addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    return pages * rlim_t(::sysconf(_SC_PAGESIZE));
}

}  // namespace

void *operator new(std::size_t size)
{
    long left = allocationsLeft.load();
    while (left > 0 && !allocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0)
        throw std::bad_alloc();
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }

class TestLoadFailure : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }
    void cleanup() { allocationsLeft = -1; }

    void failedAllocationKeepsDocument_data()
    {
        QTest::addColumn<QByteArray>("previous");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("small file over an edited document")
            << QByteArray("IpcName = kept\n# remark\n") << QByteArray("RootDirectory = /opt\nLockSignal = 9\n");
        QTest::newRow("large file") << QByteArray("IpcName = kept\n")
                                    << QByteArray("Param = value   # remark\n").repeated(20000);
        // Lines far shorter than the line table expects, so that it grows.
        QTest::newRow("many short lines")
            << QByteArray("IpcName = kept\n") << QByteArray("a = 1\n").repeated(1000000);
        QTest::newRow("empty file") << QByteArray("IpcName = kept\n") << QByteArray();
    }
    void failedAllocationKeepsDocument()
    {
        QFETCH(QByteArray, previous);
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        writeFile(path, file);
        ConfDocument document = loadedDocument(previous);
        SetConfValue(document, "LockSignal", "15");
        const QByteArray before = document.savedText();
        const ConfDocument expected = loadedDocument(file);

        // Fail the first allocation of the load, then the second, and so on,
        // until the load gets through.
        int failures = 0;
        for (long allowed = 0;; ++allowed) {
            allocationsLeft = allowed;
            try {
                LoadConfFile(document, encoded(path));
            } catch (const std::bad_alloc &) {
                allocationsLeft = -1;
                ++failures;
                QCOMPARE(document.savedText(), before);
                QCOMPARE(GetConfValue(document, "LockSignal"), QByteArray("15"));
                QVERIFY(document.isFilled());
                continue;
            }
            allocationsLeft = -1;
            break;
        }
        QVERIFY2(failures > 0, "no allocation of the load was made to fail");
        QCOMPARE(document.savedText(), expected.savedText());
    }

    void failedFileBufferKeepsDocument()
    {
        if (AddressSanitizerActive)
            QSKIP("AddressSanitizer's shadow memory cannot live within a small address-space limit");
        QTemporaryDir dir;
        const QString path = dir.filePath("corvane.conf");
        constexpr qsizetype FileBytes = 64 * 1024 * 1024;
        writeFile(path, QByteArray("Param = value   # remark\n").repeated(FileBytes / 25));
        ConfDocument document = loadedDocument("IpcName = kept\n");
        SetConfValue(document, "LockSignal", "15");
        struct rlimit before {};
        QCOMPARE(::getrlimit(RLIMIT_AS, &before), 0);
        // Room for everything but the file's bytes.
        const struct rlimit limit {addressSpaceInUse() + FileBytes / 4, before.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
        bool failed = false;
        try {
            LoadConfFile(document, encoded(path));
        } catch (const std::bad_alloc &) {
            failed = true;
        }
        QCOMPARE(::setrlimit(RLIMIT_AS, &before), 0);
        QVERIFY2(failed, "the file's buffer was allocated within the limit");
        QCOMPARE(document.savedText(), QByteArray("IpcName=kept\nLockSignal=15\n"));
    }
};

QTEST_GUILESS_MAIN(TestLoadFailure)
#include "tst_loadfailure.moc"
