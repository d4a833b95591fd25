// Start-up that fails in an unusual way still ends in an error box and exit
// status 0, never in terminate: the program runs in a child process whose
// data limit is too small for the language file it must read.

#include "Sanitizers.h"
#include "TestFiles.h"
#include "fileio/ReadFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>
#include <unistd.h>

class TestStartupFailure : public QObject {
    Q_OBJECT

private slots:
    void outOfMemoryReadingTheLanguageFile()
    {
        if (AddressSanitizerActive)
            QSKIP("AddressSanitizer cannot run within a data limit");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // The program finds its files beside the path it was started by.
        const QString program = dir.filePath("CVConfManager");
        QVERIFY(QFile::link(CV_PROGRAM_HELPER, program));
        {
            QFile conf(dir.filePath("corvane.conf"));
            QVERIFY(conf.open(QIODevice::WriteOnly));
            QFile language(dir.filePath("CVConfManager.lang"));
            QVERIFY(language.open(QIODevice::WriteOnly));
            QVERIFY(language.write("[GENERAL]\n") > 0);
            // The largest file the program reads, sparse, and twice the memory allowed.
            QVERIFY(language.resize(LargestFileSize));
        }

        QProcess process;
        process.setChildProcessModifier([] {
            // Heap and anonymous mappings only: the libraries and the locale
            // archive, mapped from files, vary from machine to machine.
            const struct rlimit limit {rlim_t(LargestFileSize / 2), rlim_t(LargestFileSize / 2)};
            ::setrlimit(RLIMIT_DATA, &limit);
        });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.start(program, {});
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit,
                 qPrintable("the program ended abnormally: " + QString::fromUtf8(process.readAllStandardError())));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(output, QStringLiteral("Fehler: std::bad_alloc.\n"));
    }
};

QTEST_GUILESS_MAIN(TestStartupFailure)
#include "tst_startupfailure.moc"
