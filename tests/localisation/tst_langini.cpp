// The language file: reading rules, lookup, storing and writing back.

#include "fileio/FileError.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"
#include "localisation/LangIni.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <clocale>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

ssize_t failingWrite(int, const void *, size_t)
{
    errno = ENOSPC;
    return -1;
}

}  // namespace

class TestLangIni : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void readEntry_data();
    void readEntry();
    void storedSections_data();
    void storedSections();
    void writeBack_data();
    void writeBack();
    void openMissingFileGivesNoSections();
    void openDirectoryThrowsOpenError();
    void writeToDirectoryThrowsCreateError();
    void failedWriteKeepsFileAndMemory();
};

void TestLangIni::initTestCase()
{
    setlocale(LC_ALL, "C.UTF-8");
}

void TestLangIni::cleanup()
{
    SafeWriteSystemCalls() = RealSafeWriteCalls();
}

void TestLangIni::readEntry_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray fb = "<fallback>";
    QTest::newRow("blanks around key, = and value")
        << QByteArray("[ENGLISH]\n \t CVConf_BSaveValue \t= \t Sichern \t \n")
        << QByteArray("ENGLISH") << QByteArray("CVConf_BSaveValue") << QByteArray("Sichern");
    QTest::newRow("control characters trimmed, DEL kept")
        << QByteArray("[S]\n\x01K\x02=\x1f v\x7f\n") << QByteArray("S") << QByteArray("K") << QByteArray("v\x7f");
    QTest::newRow("bytes above 127 are not blanks")
        << QByteArray("[S]\nK=\xa0x\xa0\n") << QByteArray("S") << QByteArray("K") << QByteArray("\xa0x\xa0");
    QTest::newRow("lower-case section not found")
        << QByteArray("[english]\nCVConf_BSaveValue=Save it\n")
        << QByteArray("ENGLISH") << QByteArray("CVConf_BSaveValue") << fb;
    QTest::newRow("lower-case key not found")
        << QByteArray("[ENGLISH]\ncvconf_bsavevalue=Save it\n")
        << QByteArray("ENGLISH") << QByteArray("CVConf_BSaveValue") << fb;
    QTest::newRow("empty value is not the fallback")
        << QByteArray("[ENGLISH]\nCVConf_BSaveValue=  \n")
        << QByteArray("ENGLISH") << QByteArray("CVConf_BSaveValue") << QByteArray("");
    QTest::newRow("missing key gives the fallback")
        << QByteArray("[ENGLISH]\nCVConf_BCancelValue=Cancel\n")
        << QByteArray("ENGLISH") << QByteArray("CVConf_BSaveValue") << fb;
    QTest::newRow("duplicate sections: the second is used")
        << QByteArray("[ENGLISH]\nA=1\n[ENGLISH]\nA=2\n") << QByteArray("ENGLISH") << QByteArray("A") << QByteArray("2");
    QTest::newRow("duplicate sections: keys of the first are invisible")
        << QByteArray("[ENGLISH]\nA=1\nB=1\n[ENGLISH]\nA=2\n") << QByteArray("ENGLISH") << QByteArray("B") << fb;
    QTest::newRow("duplicate keys: the last is used")
        << QByteArray("[S]\nRootDirectory=/first\nOther=x\nRootDirectory=/second\n")
        << QByteArray("S") << QByteArray("RootDirectory") << QByteArray("/second");
    QTest::newRow("a # line without = matches neither its text")
        << QByteArray("[S]\n#RootDirectory\n") << QByteArray("S") << QByteArray("#RootDirectory") << fb;
    QTest::newRow("a # line without = matches nor the key after #")
        << QByteArray("[S]\n#RootDirectory\n") << QByteArray("S") << QByteArray("RootDirectory") << fb;
    QTest::newRow("a line that only begins with the key")
        << QByteArray("[S]\nRootDirectoryX=1\n") << QByteArray("S") << QByteArray("RootDirectory") << fb;
    QTest::newRow("the key ends at the first =")
        << QByteArray("[S]\na=b=c\n") << QByteArray("S") << QByteArray("a=b") << fb;
    QTest::newRow("further =, quotes and backslashes kept")
        << QByteArray("[S]\nK = a=\"b\"\\n c \n") << QByteArray("S") << QByteArray("K") << QByteArray("a=\"b\"\\n c");
    QTest::newRow("; after a value belongs to it")
        << QByteArray("[S]\nK=a ; b\n") << QByteArray("S") << QByteArray("K") << QByteArray("a ; b");
    QTest::newRow("; line is a comment")
        << QByteArray("[S]\n  ;K=1\n") << QByteArray("S") << QByteArray(";K") << fb;
    QTest::newRow("[] opens a section with an empty name")
        << QByteArray("[]\nK=1\n") << QByteArray("") << QByteArray("K") << QByteArray("1");
    QTest::newRow("header name trimmed")
        << QByteArray(" [ \tENGLISH  ] \nK=1\n") << QByteArray("ENGLISH") << QByteArray("K") << QByteArray("1");
    QTest::newRow("lone CR ends lines")
        << QByteArray("[S]\rK=1\rL=2\r") << QByteArray("S") << QByteArray("L") << QByteArray("2");
    QTest::newRow("CR LF ends lines")
        << QByteArray("[S]\r\nK=1\r\n") << QByteArray("S") << QByteArray("K") << QByteArray("1");
    QTest::newRow("last line without line end")
        << QByteArray("[S]\nK=1") << QByteArray("S") << QByteArray("K") << QByteArray("1");
    QTest::newRow("NUL ends the text")
        << QByteArray("[S]\nK=1\n\0L=2\n", 14) << QByteArray("S") << QByteArray("L") << fb;
    QTest::newRow("NUL inside a value cuts it")
        << QByteArray("[S]\nK=ab\0cd\n", 12) << QByteArray("S") << QByteArray("K") << QByteArray("ab");
    QTest::newRow("text before the first section ignored")
        << QByteArray("K=0\n[S]\n") << QByteArray("S") << QByteArray("K") << fb;
    QTest::newRow("text before the first section is in no nameless section")
        << QByteArray("K=0\n[S]\n") << QByteArray("") << QByteArray("K") << fb;
    QTest::newRow("[ without ] opens no section")
        << QByteArray("[S]\n[T\nK=1\n") << QByteArray("S") << QByteArray("K") << QByteArray("1");
    QTest::newRow("a lone [ is a line of the section")
        << QByteArray("[S]\n[\nK=1\n") << QByteArray("S") << QByteArray("K") << QByteArray("1");
}

void TestLangIni::readEntry()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);

    const LangIniFile file = LangIniFile::fromBytes("test.lang", text);
    QCOMPARE(file.ReadEntry(section, key, "<fallback>"), expected);
}

void TestLangIni::storedSections_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("names");
    QTest::addColumn<QByteArray>("serialised");

    QTest::newRow("duplicates and an empty name kept in file order")
        << QByteArray("[GENERAL]\n[ENGLISH]\n[ENGLISH]\n[]\n")
        << QByteArrayList{"GENERAL", "ENGLISH", "ENGLISH", ""}
        << QByteArray("[GENERAL]\n\n[ENGLISH]\n\n[ENGLISH]\n\n[]\n\n");
    QTest::newRow("plain lines stored unchanged, comments and blank lines dropped")
        << QByteArray("[S]\n  #note  \n\n; gone\n[T\n  k  =  v  \n")
        << QByteArrayList{"S"}
        << QByteArray("[S]\n#note\n[T\nk=v\n\n");
    QTest::newRow("empty key kept")
        << QByteArray("[S]\n = v\n") << QByteArrayList{"S"} << QByteArray("[S]\n=v\n\n");
    QTest::newRow("no sections")
        << QByteArray("K=1\n; c\n") << QByteArrayList{} << QByteArray("");
}

void TestLangIni::storedSections()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, names);
    QFETCH(QByteArray, serialised);

    const LangIniFile file = LangIniFile::fromBytes("test.lang", text);
    QCOMPARE(file.SectionNames(), names);
    QCOMPARE(file.serialise(), serialised);
}

void TestLangIni::writeBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("replaced in place, mixed line ends") << QStringLiteral("mixed") << QByteArray("DEUTSCH");
    QTest::newRow("last key of the last duplicate section") << QStringLiteral("duplicates") << QByteArray("ITALIANO");
    QTest::newRow("new section appended, lone CR") << QStringLiteral("nogeneral") << QByteArray("DEUTSCH");
    QTest::newRow("key appended to its section") << QStringLiteral("keyappend") << QByteArray("DEUTSCH");
}

void TestLangIni::writeBack()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, value);

    const QString source = QStringLiteral(CV_TEST_DATA_DIR "/localisation/") + name;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("CVConfManager.lang");
    QVERIFY(QFile::copy(source + ".lang", target));

    LangIniFile file = LangIniFile::open(QFile::encodeName(target));
    file.WriteEntry("GENERAL", "CurrentLanguage", value);

    QCOMPARE(fileBytes(target), fileBytes(source + ".expected"));
    QCOMPARE(LangIniFile::open(QFile::encodeName(target)).ReadEntry("GENERAL", "CurrentLanguage", ""), value);
}

void TestLangIni::openMissingFileGivesNoSections()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const LangIniFile file = LangIniFile::open(QFile::encodeName(dir.filePath("missing.lang")));
    QVERIFY(file.sections().empty());
    QCOMPARE(file.ReadEntry("GENERAL", "CurrentLanguage", "<fallback>"), QByteArray("<fallback>"));
}

void TestLangIni::openDirectoryThrowsOpenError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray path = QFile::encodeName(dir.filePath("CVConfManager.lang"));
    QVERIFY(QDir(dir.path()).mkdir("CVConfManager.lang"));

    try {
        LangIniFile::open(path);
        QFAIL("a directory was read as a language file");
    } catch (const FileError &error) {
        QCOMPARE(error.kind(), FileError::Kind::Open);
        QCOMPARE(error.message(), FileError::openFailed(path, EISDIR).message());
    }
}

void TestLangIni::writeToDirectoryThrowsCreateError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pathText = dir.filePath("CVConfManager.lang");
    const QByteArray path = QFile::encodeName(pathText);
    QVERIFY(QDir(dir.path()).mkdir("CVConfManager.lang"));
    writeBytes(pathText + "/inside", "kept");
    LangIniFile file = LangIniFile::fromBytes(path, "[GENERAL]\nCurrentLanguage=ENGLISH\n");

    try {
        file.WriteEntry("GENERAL", "CurrentLanguage", "DEUTSCH");
        QFAIL("writing over a directory reported success");
    } catch (const FileError &error) {
        QCOMPARE(error.kind(), FileError::Kind::Create);
        QVERIFY2(error.message().startsWith(QStringLiteral("Datei \"%1\" kann nicht erstellt werden. ").arg(pathText)),
                 qPrintable(error.message()));
    }
    QVERIFY(QFileInfo(pathText).isDir());
    QCOMPARE(fileBytes(pathText + "/inside"), QByteArray("kept"));
    QCOMPARE(file.ReadEntry("GENERAL", "CurrentLanguage", ""), QByteArray("ENGLISH"));
}

void TestLangIni::failedWriteKeepsFileAndMemory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pathText = dir.filePath("CVConfManager.lang");
    const QByteArray original = "[GENERAL]\r\nCurrentLanguage = ENGLISH\r\n; note\r\n";
    writeBytes(pathText, original);
    LangIniFile file = LangIniFile::open(QFile::encodeName(pathText));

    SafeWriteSystemCalls().write = failingWrite;
    QVERIFY_THROWS_EXCEPTION(FileError, file.WriteEntry("GENERAL", "CurrentLanguage", "DEUTSCH"));
    QVERIFY_THROWS_EXCEPTION(FileError, file.WriteEntry("FRANCAIS", "K", "v"));
    SafeWriteSystemCalls() = RealSafeWriteCalls();

    QCOMPARE(fileBytes(pathText), original);
    QCOMPARE(file.SectionNames(), QByteArrayList{"GENERAL"});
    QCOMPARE(file.ReadEntry("GENERAL", "CurrentLanguage", ""), QByteArray("ENGLISH"));

    // The next successful write carries none of the failed changes.
    file.WriteEntry("GENERAL", "Other", "1");
    QCOMPARE(fileBytes(pathText), QByteArray("[GENERAL]\nCurrentLanguage=ENGLISH\nOther=1\n\n"));
}

QTEST_GUILESS_MAIN(TestLangIni)
#include "tst_langini.moc"
