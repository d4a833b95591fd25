// The demo files beside the built program: copied only where none lies, so
// that what the demo saved survives the next build; a reset brings fresh copies.

#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList DemoFiles{"corvane.conf", "aliases.conf", "CVConfManager.lang"};
const QByteArray Edited = "edited in the demo\n";

}  // namespace

class TestDemoFiles : public QObject {
    Q_OBJECT

private slots:
    void copy_data()
    {
        QTest::addColumn<QStringList>("edited");
        QTest::addColumn<bool>("reset");

        QTest::newRow("fresh build directory") << QStringList() << false;
        QTest::newRow("edited files stay") << DemoFiles << false;
        QTest::newRow("only the missing one is copied") << QStringList{"corvane.conf", "aliases.conf"} << false;
        QTest::newRow("reset restores all") << DemoFiles << true;
        QTest::newRow("reset of a fresh directory") << QStringList() << true;
    }
    void copy()
    {
        QFETCH(QStringList, edited);
        QFETCH(bool, reset);

        QTemporaryDir target;
        for (const QString &name : edited) {
            QFile file(target.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(Edited);
        }

        QStringList arguments{"-D", "CV_DEMO_SOURCE_DIR=" CV_SOURCE_DIR "/demo", "-D",
                              "CV_DEMO_TARGET_DIR=" + target.path()};
        if (reset)
            arguments << "-D" << "CV_DEMO_RESET=ON";
        arguments << "-P" << CV_SOURCE_DIR "/app/DemoFiles.cmake";
        QProcess cmake;
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start(QStringLiteral(CV_CMAKE), arguments);
        QVERIFY(cmake.waitForFinished(30000));
        QVERIFY2(cmake.exitCode() == 0, cmake.readAll().constData());

        for (const QString &name : DemoFiles) {
            const QByteArray expected = edited.contains(name) && !reset
                                            ? Edited
                                            : readFile(QStringLiteral(CV_SOURCE_DIR "/demo/") + name);
            QCOMPARE(readFile(target.filePath(name)), expected);
        }
        QCOMPARE(entriesOf(target.path()).size(), DemoFiles.size());
    }
};

QTEST_GUILESS_MAIN(TestDemoFiles)
#include "tst_demofiles.moc"
