// Caption texts of the main window and the language panel's caption.

#include "conf_core/StartupChecks.h"
#include "localisation/Captions.h"
#include "localisation/LangIni.h"

#include <QTest>
#include <clocale>

class TestCaptions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void keysNameTheirComponents();
    void languagePanelCaption_data();
    void languagePanelCaption();
    void isComponentName_data();
    void isComponentName();
    void captionText_data();
    void captionText();
    void modifiedReminderText();
};

void TestCaptions::initTestCase()
{
    setlocale(LC_ALL, "C.UTF-8");
}

void TestCaptions::cleanup()
{
    LangIni.reset();
}

void TestCaptions::keysNameTheirComponents()
{
    for (const CaptionKey &caption : CaptionKeys)
        QCOMPARE(QByteArray(caption.key), "CVConf_" + QByteArray(caption.component));
    QCOMPARE(QByteArray(CaptionKeys.back().key), QByteArray("CVConf_PModified"));
}

void TestCaptions::languagePanelCaption_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("caption");

    QTest::newRow("ENGLISH") << QByteArray("ENGLISH") << QStringLiteral("English Language");
    QTest::newRow("DEUTSCH") << QByteArray("DEUTSCH") << QStringLiteral("Deutsch Language");
    QTest::newRow("FRANCAIS") << QByteArray("FRANCAIS") << QStringLiteral("Francais Language");
    QTest::newRow("underscore and capitals") << QByteArray("MY_LANG") << QStringLiteral("My_lang Language");
    QTest::newRow("first character kept in lower case") << QByteArray("eNGLISH") << QStringLiteral("english Language");
    QTest::newRow("digits unchanged") << QByteArray("LANG2B") << QStringLiteral("Lang2b Language");
    QTest::newRow("non-ASCII capitals unchanged")
        << QByteArray("FRAN\xc3\x87" "AIS") << QString::fromUtf8("FranÇais Language");
    QTest::newRow("non-ASCII first character whole")
        << QByteArray("\xc3\x89TAT") << QString::fromUtf8("État Language");
    QTest::newRow("single character") << QByteArray("X") << QStringLiteral("X Language");
    QTest::newRow("empty name") << QByteArray("") << QStringLiteral("Language");
}

void TestCaptions::languagePanelCaption()
{
    QFETCH(QByteArray, language);
    QFETCH(QString, caption);
    QCOMPARE(LanguagePanelCaption(language), caption);
}

void TestCaptions::isComponentName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("valid");

    QTest::newRow("capitals") << QByteArray("ENGLISH") << true;
    QTest::newRow("underscore and digits") << QByteArray("My_Lang2") << true;
    QTest::newRow("leading underscore") << QByteArray("_x") << true;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("leading digit") << QByteArray("2LANG") << false;
    QTest::newRow("blank") << QByteArray("MY LANG") << false;
    QTest::newRow("hyphen") << QByteArray("PT-BR") << false;
    QTest::newRow("non-ASCII letter") << QByteArray("FRAN\xc3\x87" "AIS") << false;
    QTest::newRow("byte above 127 alone") << QByteArray("A\xe9") << false;
}

void TestCaptions::isComponentName()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, valid);
    QCOMPARE(IsComponentName(name), valid);
}

void TestCaptions::captionText_data()
{
    QTest::addColumn<QByteArray>("fileText");
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("text");

    QTest::newRow("present") << QByteArray("[DEUTSCH]\nCVConf_BSaveValue=Speichern\n")
                             << QByteArray("DEUTSCH") << QStringLiteral("Speichern");
    QTest::newRow("converted from the locale") << QByteArray("[DEUTSCH]\nCVConf_BSaveValue=Sp\xc3\xa4ter\n")
                                               << QByteArray("DEUTSCH") << QString::fromUtf8("Später");
    QTest::newRow("empty value gives an empty caption") << QByteArray("[DEUTSCH]\nCVConf_BSaveValue=\n")
                                                        << QByteArray("DEUTSCH") << QString();
    QTest::newRow("missing key gives the built-in text") << QByteArray("[DEUTSCH]\nCVConf_BCancelValue=Abbrechen\n")
                                                         << QByteArray("DEUTSCH") << QStringLiteral("Save");
    QTest::newRow("missing section gives the built-in text") << QByteArray("[DEUTSCH]\nCVConf_BSaveValue=Speichern\n")
                                                             << QByteArray("ENGLISH") << QStringLiteral("Save");
}

void TestCaptions::captionText()
{
    QFETCH(QByteArray, fileText);
    QFETCH(QByteArray, language);
    QFETCH(QString, text);

    const CaptionKey &saveValue = CaptionKeys[4];
    QCOMPARE(QByteArray(saveValue.key), QByteArray("CVConf_BSaveValue"));
    LangIni = std::make_unique<LangIniFile>(LangIniFile::fromBytes("test.lang", fileText));
    QCOMPARE(CaptionText(language, saveValue), text);
}

void TestCaptions::modifiedReminderText()
{
    QCOMPARE(ModifiedReminderText("ENGLISH"), QStringLiteral("Don't forget to save!"));
    LangIni = std::make_unique<LangIniFile>(
        LangIniFile::fromBytes("test.lang", "[DEUTSCH]\nCVConf_PModified=Speichern nicht vergessen!\n"));
    QCOMPARE(ModifiedReminderText("DEUTSCH"), QStringLiteral("Speichern nicht vergessen!"));
    QCOMPARE(ModifiedReminderText("ENGLISH"), QStringLiteral("Don't forget to save!"));
}

QTEST_GUILESS_MAIN(TestCaptions)
#include "tst_captions.moc"
