// Parameter descriptions: splitting at the two characters backslash and "n".

#include "conf_core/StartupChecks.h"
#include "localisation/Description.h"
#include "localisation/LangIni.h"

#include <QTest>
#include <clocale>

class TestDescription : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void split_data();
    void split();
    void showDescription_data();
    void showDescription();
    void showDescriptionWithoutLanguageFile();
};

void TestDescription::initTestCase()
{
    setlocale(LC_ALL, "C.UTF-8");
}

void TestDescription::cleanup()
{
    LangIni.reset();
    CurrentLanguage.clear();
}

void TestDescription::split_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QByteArrayList>("lines");

    QTest::newRow("A sep B") << QByteArray("A\\nB") << QByteArrayList{"A", "B"};
    QTest::newRow("separator at the end adds no line") << QByteArray("A\\n") << QByteArrayList{"A"};
    QTest::newRow("two separators give an empty line") << QByteArray("A\\n\\nB") << QByteArrayList{"A", "", "B"};
    QTest::newRow("separator first gives an empty line") << QByteArray("\\nA") << QByteArrayList{"", "A"};
    QTest::newRow("empty gives one empty line") << QByteArray("") << QByteArrayList{""};
    QTest::newRow("separator alone") << QByteArray("\\n") << QByteArrayList{""};
    QTest::newRow("two separators alone") << QByteArray("\\n\\n") << QByteArrayList{"", ""};
    QTest::newRow("backslash before another character kept") << QByteArray("C:\\temp\\x") << QByteArrayList{"C:\\temp\\x"};
    QTest::newRow("backslash at the end kept") << QByteArray("A\\") << QByteArrayList{"A\\"};
    QTest::newRow("double backslash then n splits after the first") << QByteArray("A\\\\nB") << QByteArrayList{"A\\", "B"};
    QTest::newRow("capital N is no separator") << QByteArray("A\\NB") << QByteArrayList{"A\\NB"};
    QTest::newRow("a real line feed is no separator") << QByteArray("A\nB") << QByteArrayList{"A\nB"};
    QTest::newRow("three lines") << QByteArray("one\\ntwo\\nthree") << QByteArrayList{"one", "two", "three"};
}

void TestDescription::split()
{
    QFETCH(QByteArray, description);
    QFETCH(QByteArrayList, lines);
    QCOMPARE(SplitDescription(description), lines);
}

void TestDescription::showDescription_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("paramName");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("current language section")
        << QByteArray("DEUTSCH") << QStringLiteral("RootDirectory")
        << QStringList{"before", QString::fromUtf8("Wurzelverzeichnis für"), "den Server"};
    QTest::newRow("other language")
        << QByteArray("ENGLISH") << QStringLiteral("RootDirectory")
        << QStringList{"before", "Root directory"};
    QTest::newRow("missing key gives one empty line")
        << QByteArray("DEUTSCH") << QStringLiteral("DeadlockTimeout") << QStringList{"before", ""};
    QTest::newRow("name matched with its case")
        << QByteArray("DEUTSCH") << QStringLiteral("rootdirectory") << QStringList{"before", ""};
    QTest::newRow("missing section gives one empty line")
        << QByteArray("FRANCAIS") << QStringLiteral("RootDirectory") << QStringList{"before", ""};
    QTest::newRow("non-ASCII name looked up in locale bytes")
        << QByteArray("DEUTSCH") << QString::fromUtf8("Größe") << QStringList{"before", "size"};
}

void TestDescription::showDescription()
{
    QFETCH(QByteArray, language);
    QFETCH(QString, paramName);
    QFETCH(QStringList, expected);

    LangIni = std::make_unique<LangIniFile>(LangIniFile::fromBytes(
        "test.lang", "[ENGLISH]\nRootDirectory=Root directory\n"
                     "[DEUTSCH]\nRootDirectory=Wurzelverzeichnis f\xc3\xbcr\\nden Server\nGr\xc3\xb6\xc3\x9f" "e=size\n"));
    CurrentLanguage = language;

    QStringList lines{"before"};
    ShowDescription(lines, paramName);
    QCOMPARE(lines, expected);
}

void TestDescription::showDescriptionWithoutLanguageFile()
{
    QStringList lines;
    ShowDescription(lines, QStringLiteral("RootDirectory"));
    QCOMPARE(lines, QStringList{QString()});
}

QTEST_GUILESS_MAIN(TestDescription)
#include "tst_description.moc"
