// Start-up: file discovery, the language choice and the start-up gate.

#include "conf_core/ConfLines.h"
#include "conf_core/StartupChecks.h"
#include "fileio/FileError.h"
#include "localisation/LangIni.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString MissingLanguageFile = QStringLiteral(
    "Missing Language file. Please copy CVConfManager.lang in the same directory as the application.");
const QString MissingConfFile = QStringLiteral(
    "Missing corvane.conf file. Please verify that your corvane server is properly installed.");

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void programDirectory_data();
    void programDirectory();
    void fileNames_data();
    void fileNames();
    void confArgument_data();
    void confArgument();
    void missingFiles_data();
    void missingFiles();
    void unreadableLanguageFile();
    void languageFileThatIsNoFile_data();
    void languageFileThatIsNoFile();
    void failedRunLeavesNothingOfEarlierRun();
    void languageChoice_data();
    void languageChoice();

private:
    void writeFile(const QString &name, const QByteArray &bytes);
    QStringList run(const QByteArrayList &commandLine);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDirectory;
};

void TestStartup::initTestCase()
{
    setlocale(LC_ALL, "C.UTF-8");
}

void TestStartup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestStartup::cleanup()
{
    QDir::setCurrent(m_previousDirectory);
    m_dir.reset();
}

void TestStartup::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList TestStartup::run(const QByteArrayList &commandLine)
{
    QStringList messages;
    StartupChecks(commandLine, [&messages](const QString &text) { messages.append(text); });
    return messages;
}

void TestStartup::programDirectory_data()
{
    QTest::addColumn<QByteArray>("invocation");
    QTest::addColumn<QByteArray>("directory");

    QTest::newRow("absolute") << QByteArray("/opt/x/CVConfManager") << QByteArray("/opt/x/");
    QTest::newRow("dot slash") << QByteArray("./CVConfManager") << QByteArray("./");
    QTest::newRow("bare name") << QByteArray("CVConfManager") << QByteArray("");
    QTest::newRow("root") << QByteArray("/CVConfManager") << QByteArray("/");
    QTest::newRow("ends in slash") << QByteArray("a/b/") << QByteArray("a/b/");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
}

void TestStartup::programDirectory()
{
    QFETCH(QByteArray, invocation);
    QFETCH(QByteArray, directory);
    QCOMPARE(ProgramDirectory(invocation), directory);
}

void TestStartup::fileNames_data()
{
    // "@" stands for the temporary directory, which is the working directory.
    QTest::addColumn<QByteArray>("invocation");
    QTest::addColumn<QByteArray>("directory");

    QTest::newRow("absolute program path") << QByteArray("@/CVConfManager") << QByteArray("@/");
    QTest::newRow("relative program path") << QByteArray("./CVConfManager") << QByteArray("./");
    QTest::newRow("bare name: working directory") << QByteArray("CVConfManager") << QByteArray("");
}

void TestStartup::fileNames()
{
    QFETCH(QByteArray, invocation);
    QFETCH(QByteArray, directory);

    writeFile("CVConfManager.lang", "[ENGLISH]\n");
    writeFile("corvane.conf", "RootDirectory=/srv\n");
    const QByteArray temporary = QFile::encodeName(m_dir->path());
    directory.replace('@', temporary);

    QCOMPARE(run({invocation.replace('@', temporary)}), QStringList());
    QVERIFY(StartupOk);
    QCOMPARE(LangFileName, directory + "CVConfManager.lang");
    QCOMPARE(AliasesFileName, directory + "aliases.conf");
    QCOMPARE(ConfFileName, directory + "corvane.conf");
    QVERIFY(LangIni);
    QCOMPARE(LangIni->fileName(), LangFileName);
    QVERIFY(ConfLines);
    QCOMPARE(ConfLines->lineCount(), 0);
}

void TestStartup::confArgument_data()
{
    // "@" stands for the temporary directory; the working directory is that directory.
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<QByteArray>("confFileName");

    QTest::newRow("existing file used unchanged") << QByteArrayList{"@/other.conf"} << QByteArray("@/other.conf");
    QTest::newRow("relative path stays relative") << QByteArrayList{"./sub/../other.conf"}
                                                  << QByteArray("./sub/../other.conf");
    QTest::newRow("a directory counts as existing") << QByteArrayList{"sub"} << QByteArray("sub");
    QTest::newRow("missing file: default") << QByteArrayList{"nothing.conf"} << QByteArray("@/corvane.conf");
    QTest::newRow("empty argument: default") << QByteArrayList{""} << QByteArray("@/corvane.conf");
    QTest::newRow("second argument ignored") << QByteArrayList{"nothing.conf", "other.conf"}
                                             << QByteArray("@/corvane.conf");
    QTest::newRow("toolkit option taken as the path") << QByteArrayList{"-platform", "other.conf"}
                                                      << QByteArray("@/corvane.conf");
    QTest::newRow("no argument: default") << QByteArrayList{} << QByteArray("@/corvane.conf");
}

void TestStartup::confArgument()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArray, confFileName);

    writeFile("CVConfManager.lang", "[ENGLISH]\n");
    writeFile("corvane.conf", "");
    writeFile("other.conf", "");
    QVERIFY(QDir(m_dir->path()).mkdir("sub"));
    const QByteArray directory = QFile::encodeName(m_dir->path());

    QByteArrayList commandLine{directory + "/CVConfManager"};
    for (const QByteArray &argument : arguments)
        commandLine.append(QByteArray(argument).replace('@', directory));

    QCOMPARE(run(commandLine), QStringList());
    QVERIFY(StartupOk);
    QCOMPARE(ConfFileName, confFileName.replace('@', directory));
}

void TestStartup::missingFiles_data()
{
    QTest::addColumn<bool>("languageFile");
    QTest::addColumn<bool>("confFile");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("both missing: only the language message") << false << false << QStringList{MissingLanguageFile};
    QTest::newRow("language file missing") << false << true << QStringList{MissingLanguageFile};
    QTest::newRow("configuration file missing") << true << false << QStringList{MissingConfFile};
}

void TestStartup::missingFiles()
{
    QFETCH(bool, languageFile);
    QFETCH(bool, confFile);
    QFETCH(QStringList, messages);

    if (languageFile)
        writeFile("CVConfManager.lang", "[ENGLISH]\n");
    if (confFile)
        writeFile("corvane.conf", "");
    QCOMPARE(run({QFile::encodeName(m_dir->path()) + "/CVConfManager", "gone.conf"}), messages);
    QVERIFY(!StartupOk);
    QCOMPARE(bool(LangIni), languageFile);
    QCOMPARE(bool(ConfLines), languageFile);
}

void TestStartup::unreadableLanguageFile()
{
    QVERIFY(QDir(m_dir->path()).mkdir("CVConfManager.lang"));
    writeFile("corvane.conf", "");

    const QStringList messages = run({"./CVConfManager"});
    QCOMPARE(messages, QStringList{FileError::openFailed("./CVConfManager.lang", EISDIR).message()});
    QVERIFY(!StartupOk);
    QVERIFY(!LangIni);
}

// Refused at once, without blocking on a FIFO, and named by a path without
// "." or empty components, however the program was started.
void TestStartup::languageFileThatIsNoFile_data()
{
    QTest::addColumn<QByteArray>("invocation");
    QTest::addColumn<QString>("folder");  // where the language file lies, below the temporary folder
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO, started as ./CVConfManager") << QByteArray("./CVConfManager") << QString() << true
                                                     << "Keine reguläre Datei";
    QTest::newRow("FIFO, started as ./bin//./CVConfManager") << QByteArray("./bin//./CVConfManager") << "bin" << true
                                                            << "Keine reguläre Datei";
    QTest::newRow("directory, started as bin/../bin/CVConfManager") << QByteArray("bin/../bin/CVConfManager")
                                                                   << "bin/../bin" << false
                                                                   << QString::fromUtf8(strerror(EISDIR));
}

void TestStartup::languageFileThatIsNoFile()
{
    QFETCH(QByteArray, invocation);
    QFETCH(QString, folder);
    QFETCH(bool, fifo);
    QFETCH(QString, reason);
    QVERIFY(QDir(m_dir->path()).mkpath("bin"));
    const QString path = m_dir->path() + (folder.isEmpty() ? QString() : "/" + folder) + "/CVConfManager.lang";
    if (fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    else
        QVERIFY(QDir().mkdir(path));
    writeFile("corvane.conf", "");

    ::alarm(30);  // a routine that blocks ends the test instead of hanging it
    const QStringList messages = run({invocation});
    ::alarm(0);
    QCOMPARE(messages, QStringList{"Datei " + path + " kann nicht geöffnet werden. " + reason});
    QVERIFY(!StartupOk);
}

void TestStartup::failedRunLeavesNothingOfEarlierRun()
{
    writeFile("CVConfManager.lang", "[GENERAL]\nCurrentLanguage=DEUTSCH\n[DEUTSCH]\n");
    writeFile("corvane.conf", "");
    QCOMPARE(run({"./CVConfManager"}), QStringList());
    QVERIFY(StartupOk);

    QCOMPARE(run({"/nonexistent/CVConfManager"}), QStringList{MissingLanguageFile});
    QVERIFY(!StartupOk);
    QVERIFY(!LangIni);
    QVERIFY(!ConfLines);
    QVERIFY(Languages.isEmpty());
    QVERIFY(CurrentLanguage.isEmpty());
}

void TestStartup::languageChoice_data()
{
    QTest::addColumn<QByteArray>("languageFile");
    QTest::addColumn<QByteArray>("currentLanguage");
    QTest::addColumn<QByteArrayList>("languages");

    QTest::newRow("no GENERAL") << QByteArray("[DEUTSCH]\nCurrentLanguage=DEUTSCH\n")
                                << QByteArray("ENGLISH") << QByteArrayList{"DEUTSCH"};
    QTest::newRow("no key") << QByteArray("[GENERAL]\nOther=DEUTSCH\n[ENGLISH]\n[DEUTSCH]\n")
                            << QByteArray("ENGLISH") << QByteArrayList{"ENGLISH", "DEUTSCH"};
    QTest::newRow("empty value") << QByteArray("[ENGLISH]\n[GENERAL]\nCurrentLanguage=  \n[DEUTSCH]\n")
                                 << QByteArray("ENGLISH") << QByteArrayList{"ENGLISH", "DEUTSCH"};
    QTest::newRow("value of a lower-case general not read, the section left out")
        << QByteArray("[general]\nCurrentLanguage=DEUTSCH\n[DEUTSCH]\n") << QByteArray("ENGLISH")
        << QByteArrayList{"DEUTSCH"};
    QTest::newRow("named section") << QByteArray("[GENERAL]\nCurrentLanguage=DEUTSCH\n[DEUTSCH]\n")
                                   << QByteArray("DEUTSCH") << QByteArrayList{"DEUTSCH"};
    QTest::newRow("used unchanged without a section")
        << QByteArray("[GENERAL]\nCurrentLanguage=klingon\n[ENGLISH]\n") << QByteArray("klingon")
        << QByteArrayList{"ENGLISH"};
    QTest::newRow("duplicate GENERAL: the last is read, only the first left out")
        << QByteArray("[GENERAL]\nCurrentLanguage=DEUTSCH\n[ENGLISH]\n[GENERAL]\nCurrentLanguage=FRANCAIS\n")
        << QByteArray("FRANCAIS") << QByteArrayList{"ENGLISH", "GENERAL"};
    QTest::newRow("only the first GENERAL ignoring case left out")
        << QByteArray("[ENGLISH]\n[General]\n[general]\n") << QByteArray("ENGLISH")
        << QByteArrayList{"ENGLISH", "general"};
    QTest::newRow("only GENERAL") << QByteArray("[GENERAL]\nCurrentLanguage=ENGLISH\n")
                                  << QByteArray("ENGLISH") << QByteArrayList{};
    QTest::newRow("duplicates and an empty name kept") << QByteArray("[ENGLISH]\n[ENGLISH]\n[]\n")
                                                       << QByteArray("ENGLISH") << QByteArrayList{"ENGLISH", "ENGLISH", ""};
    QTest::newRow("names that only contain GENERAL stay") << QByteArray("[GENERALX]\n[GENERA]\n[  GENERAL\t]\n")
                                                          << QByteArray("ENGLISH") << QByteArrayList{"GENERALX", "GENERA"};
}

void TestStartup::languageChoice()
{
    QFETCH(QByteArray, languageFile);
    QFETCH(QByteArray, currentLanguage);
    QFETCH(QByteArrayList, languages);

    writeFile("CVConfManager.lang", languageFile);
    writeFile("corvane.conf", "");
    QCOMPARE(run({"./CVConfManager"}), QStringList());
    QCOMPARE(CurrentLanguage, currentLanguage);
    QCOMPARE(Languages, languages);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
