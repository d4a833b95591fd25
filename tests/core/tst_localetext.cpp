// Text conversion through the C library's locale, and byte-exact round trips.

#include "conf_core/NameMatch.h"
#include "fileio/LocaleText.h"
#include "TestLocale.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

class TestLocaleText : public QObject {
    Q_OBJECT

    QTemporaryDir m_locales;

private slots:
    void cleanup() { setlocale(LC_ALL, "C.UTF-8"); }

    void utf8Locale_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("RootDirectory=/opt") << QStringLiteral("RootDirectory=/opt");
        QTest::newRow("umlauts") << QByteArray("Gr\xc3\xb6\xc3\x9f" "e") << QStringLiteral("Größe");
        QTest::newRow("beyond the BMP") << QByteArray("\xf0\x9f\x98\x80") << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("Latin-1 byte escaped") << QByteArray("caf\xe9") << (QStringLiteral("caf") + QChar(0xEFE9));
        QTest::newRow("NUL escaped") << QByteArray("a\0b", 3) << (QStringLiteral("a") + QChar(0xEF00) + QStringLiteral("b"));
        QTest::newRow("truncated sequence") << QByteArray("x\xc3") << (QStringLiteral("x") + QChar(0xEFC3));
        // The C library decodes these to codes beyond U+10FFFF, which no QString holds.
        const auto escaped = [](QByteArrayView bytes) {
            QString text;
            for (char byte : bytes)
                text += QChar(0xEF00 + static_cast<unsigned char>(byte));
            return text;
        };
        QTest::newRow("U+110000 (F4 90 80 80)") << QByteArray("a\xf4\x90\x80\x80z")
                                                << ("a" + escaped("\xf4\x90\x80\x80") + "z");
        QTest::newRow("5-byte form") << QByteArray("\xf8\x88\x80\x80\x80") << escaped("\xf8\x88\x80\x80\x80");
        QTest::newRow("6-byte form") << QByteArray("\xfc\x84\x80\x80\x80\x80=1")
                                     << (escaped("\xfc\x84\x80\x80\x80\x80") + "=1");
        QTest::newRow("real escape-range character") << QByteArray("\xee\xbc\x80")
                                                     << (QString(QChar(0xEFEE)) + QChar(0xEFBC) + QChar(0xEF80));
    }
    void utf8Locale()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QCOMPARE(LocaleToText(bytes), text);
        QCOMPARE(TextToLocale(text), bytes);
    }

    void unrepresentableCharacterBecomesQuestionMark()
    {
        QVERIFY(setlocale(LC_ALL, "C"));
        QCOMPARE(TextToLocale(QStringLiteral("a€b")), QByteArray("a?b"));
    }

    void latin1Locale()
    {
        if (!setlocale(LC_ALL, "de_DE.ISO-8859-1"))
            QSKIP("locale de_DE.ISO-8859-1 is not generated on this machine");
        QCOMPARE(LocaleCodeset(), QByteArray("ISO-8859-1"));
        QCOMPARE(LocaleToText("Gr\xf6\xdf" "e"), QStringLiteral("Größe"));
        QCOMPARE(TextToLocale(QStringLiteral("Größe")), QByteArray("Gr\xf6\xdf" "e"));
        QCOMPARE(TextToLocale(QStringLiteral("€")), QByteArray("?"));
        QVERIFY(NamesMatch("gr\xf6\xdf" "e", "GR\xd6\xdf" "E"));
        QVERIFY(!NamesMatch("gr\xf6\xdf" "e", "GROSSE"));
    }

    void allBytesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8");
        QTest::newRow("C") << QByteArray("C");
        QTest::newRow("de_DE.ISO-8859-1") << QByteArray("de_DE.ISO-8859-1");
    }
    void allBytesRoundTrip()
    {
        QFETCH(QByteArray, locale);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not generated on this machine");
        QByteArray bytes;
        for (int round = 0; round < 3; ++round)
            for (int byte = 0; byte < 256; ++byte)
                bytes.append(char(byte));
        QCOMPARE(TextToLocale(LocaleToText(bytes)), bytes);
    }

    // Converters that split a code into two characters (BIG5-HKSCS 88 62),
    // hold one back to compose it with the next (BIG5-HKSCS 88 A7 at the end)
    // or compose a letter with the mark after it (TCVN5712-1, CP1258): random
    // bytes around such samples all come back, and the characters that stand
    // for their bytes are still shown as themselves.
    void statefulCharsetsRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("sample");
        QTest::addColumn<QString>("shown");
        QTest::newRow("BIG5-HKSCS split code") << QByteArray("zh_HK.BIG5-HKSCS") << QByteArray("\x88\x62")
                                               << QStringLiteral("\uEF88b");
        QTest::newRow("BIG5-HKSCS held-back letter")
            << QByteArray("zh_HK.BIG5-HKSCS") << QByteArray("\xa4\x40\x88\x66\x88\xa7") << QStringLiteral("一Êê");
        QTest::newRow("EUC-JP") << QByteArray("ja_JP.EUC-JP") << QByteArray("\xa4\xa2") << QStringLiteral("あ");
        QTest::newRow("GB18030 four-byte code")
            << QByteArray("zh_CN.GB18030") << QByteArray("\x81\x30\x81\x30") << QStringLiteral("\u0080");
        QTest::newRow("SHIFT_JIS") << QByteArray("ja_JP.SHIFT_JIS") << QByteArray("\x82\xa0") << QStringLiteral("あ");
        QTest::newRow("TCVN5712-1 letter and mark")
            << QByteArray("vi_VN.TCVN5712-1") << QByteArray("\xa8\xb0") << QStringLiteral("ă\u0300");
        QTest::newRow("CP1258 letter and mark")
            << QByteArray("vi_VN.CP1258") << QByteArray("\xe3\xcc") << QStringLiteral("ă\u0300");
        QTest::newRow("UTF-8") << QByteArray("C.UTF-8") << QByteArray("\xc3\xb6") << QStringLiteral("ö");
    }
    void statefulCharsetsRoundTrip()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, sample);
        QFETCH(QString, shown);
        const QString reason = UseTestLocale(m_locales.path(), locale);
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        QCOMPARE(LocaleToText(sample), shown);

        // Mostly bytes that lead or trail double-byte codes, so that many decode.
        QRandomGenerator random(17);
        QByteArray bytes = sample;
        for (int round = 0; round < 2000; ++round) {
            for (quint32 n = random.bounded(12); n > 0; --n)
                bytes += char(random.bounded(3) ? random.bounded(0x40, 0x100) : random.bounded(0x100));
            bytes += sample;
        }
        QCOMPARE(TextToLocale(LocaleToText(bytes)), bytes);
    }

    // Long texts are decoded in pieces; a piece boundary must never change
    // whether an undecodable byte is seen.
    void undecodableBytesInLongText_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("undecodable");
        const QByteArray ascii(64 * 1024 - 1, 'a');
        QTest::newRow("UTF-8 character across the first cut")
            << QByteArray("C.UTF-8") << ascii + "\xc3\xb6" + ascii << false;
        QTest::newRow("UTF-8 four-byte character across the cut")
            << QByteArray("C.UTF-8") << ascii.left(ascii.size() - 2) + "\xf0\x9f\x98\x80" + ascii << false;
        QTest::newRow("UTF-8 letters only") << QByteArray("C.UTF-8") << QByteArray("\xc3\xb6").repeated(100000) << false;
        QTest::newRow("truncated sequence at the cut")
            << QByteArray("C.UTF-8") << ascii + "\xc3" + "b" + ascii << true;
        QTest::newRow("Latin-1 byte at the end") << QByteArray("C.UTF-8") << ascii + ascii + "\xf6" << true;
        QTest::newRow("continuation bytes only") << QByteArray("C.UTF-8") << QByteArray(200000, '\x80') << true;
        QTest::newRow("short and clean") << QByteArray("C.UTF-8") << QByteArray("Gr\xc3\xb6\xc3\x9f" "e") << false;
        QTest::newRow("Latin-1 letters decode in Latin-1")
            << QByteArray("de_DE.ISO-8859-1") << QByteArray("Gr\xf6\xdf" "e ").repeated(40000) << false;
        QTest::newRow("NUL never decodes") << QByteArray("de_DE.ISO-8859-1") << ascii + ascii + QByteArray(1, '\0') << true;
    }
    void undecodableBytesInLongText()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, text);
        QFETCH(bool, undecodable);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("locale not generated on this machine");
        bool whole = false;
        for (wchar_t c : LocaleToWide(text))
            whole |= c >= 0xEF00 && c <= 0xEFFF;
        QCOMPARE(whole, undecodable);
        QCOMPARE(HasUndecodableBytes(text), undecodable);
    }

    void asciiFoldingCheck()
    {
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QVERIFY(AsciiFoldingIsPlain());
        if (setlocale(LC_ALL, "tr_TR.UTF-8")) {
            // Turkish upper-cases "i" to a dotted capital; names still fold a-z as
            // ASCII there, or "ipcname" would never find IpcName.
            QVERIFY(AsciiFoldingIsPlain());
            QVERIFY(NamesMatch("ipcname", "IPCNAME"));
            QVERIFY(NamesMatch("\xc4\xb1pcname", "IPCNAME"));
            QVERIFY(!NamesMatch("\xc4\xb0pcname", "IPCNAME"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLocaleText)
#include "tst_localetext.moc"
