// Start-up that fails in an unusual way still ends in an error box and exit
// status 0, never in terminate: the program runs in a child process whose
// address space is too small for the language file it must read.

#include "Sanitizers.h"
#include "TestFiles.h"

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
            QSKIP("AddressSanitizer cannot run within an address-space limit");
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
            // 64 GiB, sparse: a regular file far larger than the memory allowed.
            QVERIFY(language.resize(qint64(64) << 30));
        }

        QProcess process;
        process.setChildProcessModifier([] {
            const struct rlimit limit {rlim_t(4) << 30, rlim_t(4) << 30};
            ::setrlimit(RLIMIT_AS, &limit);
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
