// The language file that ships with the program: complete sections for every
// language, readable descriptions, and a file that a language switch leaves
// byte-for-byte intact apart from the chosen language.

#include "conf_core/ParamCatalogue.h"
#include "localisation/Captions.h"
#include "localisation/CommandTexts.h"
#include "localisation/Description.h"
#include "localisation/LangIni.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

namespace {

const QString ShippedLangPath = QStringLiteral(CV_DEMO_DIR "/CVConfManager.lang");

// Longest description line, in characters, that reads well in the description pane.
constexpr qsizetype MaxDescriptionLineLength = 90;

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArrayView trimControls(QByteArrayView text)
{
    while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= 32)
        text = text.sliced(1);
    while (!text.isEmpty() && static_cast<unsigned char>(text.back()) <= 32)
        text.chop(1);
    return text;
}

QByteArray keyOf(const QByteArray &storedLine)
{
    const qsizetype equals = storedLine.indexOf('=');
    return equals < 0 ? QByteArray() : storedLine.left(equals);
}

const LangIniFile::Section *sectionNamed(const LangIniFile &file, QByteArrayView name)
{
    for (const LangIniFile::Section &section : file.sections()) {
        if (section.name == name)
            return &section;
    }
    return nullptr;
}

// The decimal numbers a text mentions, in order of appearance.
QStringList numbersIn(const QByteArray &text)
{
    static const QRegularExpression number(QStringLiteral("[0-9]+"));
    QStringList numbers;
    auto matches = number.globalMatch(QString::fromUtf8(text));
    while (matches.hasNext())
        numbers.append(matches.next().captured());
    numbers.sort();
    return numbers;
}

const QByteArray Missing("<missing>");

// cvconf's messages, which English and German carry: the key, the built-in
// English, and the German the windows show where they show one.
struct CommandMessage {
    QByteArray key, english, german;
};
QList<CommandMessage> commandMessages(const QByteArray &language)
{
    QList<CommandMessage> messages;
    for (const FileMessage *message : FileMessages::All)
        messages.append({message->key, message->english, qstrcmp(message->fixed, message->english) ? message->fixed : ""});
    for (const MessageKey *message : CommandTexts::All)
        messages.append({message->key, message->builtIn, {}});
    return language == "ENGLISH" || language == "DEUTSCH" ? messages : QList<CommandMessage>();
}

}  // namespace

class TestShippedLang : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fileIsUtf8WithLfLineEnds();
    void noCommentLines();
    void sectionsInOrder();
    void generalNamesEnglish();
    void captions_data();
    void captions();
    void descriptions_data();
    void descriptions();
    void descriptionsAgreeWithEnglish_data();
    void descriptionsAgreeWithEnglish();
    void fileIsStableUnderWriteBack();
    void languageSwitchRoundTrip();

private:
    void addLanguageRows();

    QByteArray m_bytes;
    LangIniFile m_file;
};

void TestShippedLang::initTestCase()
{
    setlocale(LC_ALL, "C.UTF-8");
    m_bytes = fileBytes(ShippedLangPath);
    QVERIFY2(!m_bytes.isEmpty(), qPrintable(ShippedLangPath));
    m_file = LangIniFile::fromBytes(QFile::encodeName(ShippedLangPath), m_bytes);
}

void TestShippedLang::fileIsUtf8WithLfLineEnds()
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(m_bytes);
    QVERIFY(!decoder.hasError());
    // A byte-order mark would glue itself to the first header and hide the section.
    QVERIFY(m_bytes.startsWith("[GENERAL]\n"));
    QVERIFY(!m_bytes.contains('\r'));
    QVERIFY(!m_bytes.contains('\t'));
    QVERIFY(!m_bytes.contains('\0'));
    QVERIFY(m_bytes.endsWith("\n\n"));
    QVERIFY(text.contains(QChar(u'é')));  // really UTF-8 text, not an ASCII rendering
}

void TestShippedLang::noCommentLines()
{
    // A language switch writes the file back without comments; none may be lost.
    const QList<QByteArray> lines = m_bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(!trimControls(lines[i]).startsWith(';'), qPrintable(QStringLiteral("line %1").arg(i + 1)));
}

void TestShippedLang::sectionsInOrder()
{
    const QList<QByteArray> expected = {"GENERAL", "ENGLISH", "DEUTSCH", "FRANCAIS", "ESPANOL", "ITALIANO"};
    QCOMPARE(m_file.SectionNames(), expected);
    // Every language must be usable as the name of a language menu entry.
    for (const QByteArray &name : expected)
        QVERIFY2(IsComponentName(name), name.constData());
}

void TestShippedLang::generalNamesEnglish()
{
    QCOMPARE(m_file.ReadEntry("GENERAL", "CurrentLanguage", Missing), QByteArray("ENGLISH"));
    const LangIniFile::Section *general = sectionNamed(m_file, "GENERAL");
    QVERIFY(general);
    QCOMPARE(general->lines.size(), size_t(1));
}

void TestShippedLang::addLanguageRows()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QByteArray>("defaultLabel");  // introduces the default in every description
    QTest::addColumn<QByteArray>("emptyWord");     // the default of a parameter without one

    QTest::newRow("ENGLISH") << QByteArray("ENGLISH") << QByteArray("Default: ") << QByteArray("empty");
    QTest::newRow("DEUTSCH") << QByteArray("DEUTSCH") << QByteArray("Standardwert: ") << QByteArray("leer");
    QTest::newRow("FRANCAIS") << QByteArray("FRANCAIS") << QByteArray("Valeur par défaut : ")
                              << QByteArray("vide");
    QTest::newRow("ESPANOL") << QByteArray("ESPANOL") << QByteArray("Valor predeterminado: ")
                             << QByteArray("vacío");
    QTest::newRow("ITALIANO") << QByteArray("ITALIANO") << QByteArray("Valore predefinito: ")
                              << QByteArray("vuoto");
}

void TestShippedLang::captions_data()
{
    addLanguageRows();
}

void TestShippedLang::captions()
{
    QFETCH(QByteArray, language);
    for (const CaptionKey &caption : CaptionKeys) {
        const QByteArray text = m_file.ReadEntry(language, caption.key, Missing);
        QVERIFY2(text != Missing, caption.key);
        QVERIFY2(!text.isEmpty(), caption.key);
        if (language == "ENGLISH")
            QCOMPARE(text, QByteArray(caption.builtIn));
    }
    for (const MessageKey &message : MessageKeys) {
        const QByteArray text = m_file.ReadEntry(language, message.key, Missing);
        QVERIFY2(text.contains("%1"), message.key);  // where the path goes
        if (language == "ENGLISH")
            QCOMPARE(text, QByteArray(message.builtIn));
    }
    for (const CommandMessage &message : commandMessages(language)) {
        const QByteArray text = m_file.ReadEntry(language, message.key, Missing);
        QVERIFY2(numbersIn(text) == numbersIn(message.english), message.key.constData());  // "%1", "%2": their only numbers
        if (language == "ENGLISH" || !message.german.isEmpty())
            QCOMPARE(text, language == "ENGLISH" ? message.english : message.german);
    }
}

void TestShippedLang::descriptions_data()
{
    addLanguageRows();
}

void TestShippedLang::descriptions()
{
    QFETCH(QByteArray, language);
    QFETCH(QByteArray, defaultLabel);
    QFETCH(QByteArray, emptyWord);

    const LangIniFile::Section *section = sectionNamed(m_file, language);
    QVERIFY(section);

    // Exactly the caption keys and the parameter names, each once: a misspelt
    // name would leave its parameter without a description.
    QList<QByteArray> expectedKeys;
    for (const CaptionKey &caption : CaptionKeys)
        expectedKeys.append(caption.key);
    for (const MessageKey &message : MessageKeys)
        expectedKeys.append(message.key);
    for (const CommandMessage &message : commandMessages(language))
        expectedKeys.append(message.key);
    for (const ParamEntry &param : ParamCatalogue)
        expectedKeys.append(param.Name);
    QList<QByteArray> keys;
    for (const QByteArray &line : section->lines)
        keys.append(keyOf(line));
    QCOMPARE(keys, expectedKeys);

    for (const ParamEntry &param : ParamCatalogue) {
        const QByteArray description = m_file.ReadEntry(language, param.Name, Missing);
        QVERIFY2(description != Missing, param.Name);
        QVERIFY2(!description.isEmpty(), param.Name);

        const QList<QByteArray> lines = SplitDescription(description);
        QVERIFY2(lines.size() >= 2 && lines.size() <= 5, param.Name);
        for (const QByteArray &line : lines) {
            QVERIFY2(!line.isEmpty(), param.Name);
            QVERIFY2(QString::fromUtf8(line).size() <= MaxDescriptionLineLength, line.constData());
            // A backslash not followed by "n" would be shown as it stands.
            QVERIFY2(!line.contains('\\'), line.constData());
        }

        // The default the description names is the catalogue's.
        const QByteArray defaultText = *param.Default ? QByteArray(param.Default) : emptyWord;
        const QRegularExpression mentionsDefault(
            QRegularExpression::escape(QString::fromUtf8(defaultLabel + defaultText)) + QStringLiteral("(?![0-9A-Za-z_])"));
        QVERIFY2(mentionsDefault.match(QString::fromUtf8(description)).hasMatch(),
                 qPrintable(QStringLiteral("%1 lacks \"%2\"")
                                .arg(QString::fromLatin1(param.Name), QString::fromUtf8(defaultLabel + defaultText))));
    }
}

void TestShippedLang::descriptionsAgreeWithEnglish_data()
{
    addLanguageRows();
}

void TestShippedLang::descriptionsAgreeWithEnglish()
{
    // Translations state the same facts: the same numbers (defaults, units,
    // examples) as the English description of the same parameter.
    QFETCH(QByteArray, language);
    for (const ParamEntry &param : ParamCatalogue) {
        const QStringList english = numbersIn(m_file.ReadEntry("ENGLISH", param.Name, Missing));
        const QStringList translated = numbersIn(m_file.ReadEntry(language, param.Name, Missing));
        QVERIFY2(translated == english, param.Name);
    }
}

void TestShippedLang::fileIsStableUnderWriteBack()
{
    QCOMPARE(m_file.serialise(), m_bytes);
}

void TestShippedLang::languageSwitchRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copyPath = dir.filePath(QStringLiteral("CVConfManager.lang"));
    QVERIFY(QFile::copy(ShippedLangPath, copyPath));
    QVERIFY(QFile::setPermissions(copyPath, QFile::ReadOwner | QFile::WriteOwner));
    const QByteArray copyName = QFile::encodeName(copyPath);

    LangIniFile switched = LangIniFile::open(copyName);
    switched.WriteEntry("GENERAL", "CurrentLanguage", "DEUTSCH");
    QVERIFY(fileBytes(copyPath) != m_bytes);

    const LangIniFile reopened = LangIniFile::open(copyName);
    QCOMPARE(reopened.SectionNames(), m_file.SectionNames());
    int lookups = 0;
    for (const LangIniFile::Section &section : m_file.sections()) {
        for (const QByteArray &line : section.lines) {
            const QByteArray key = keyOf(line);
            QVERIFY2(!key.isEmpty(), line.constData());
            const QByteArray expected = section.name == "GENERAL" && key == "CurrentLanguage"
                                            ? QByteArray("DEUTSCH")
                                            : m_file.ReadEntry(section.name, key, Missing);
            QCOMPARE(reopened.ReadEntry(section.name, key, Missing), expected);
            ++lookups;
        }
    }
    QCOMPARE(lookups, 1 + 5 * (int(CaptionKeys.size() + MessageKeys.size()) + ParamCount)
                          + 2 * int(FileMessages::All.size() + CommandTexts::All.size()));

    LangIniFile back = LangIniFile::open(copyName);
    back.WriteEntry("GENERAL", "CurrentLanguage", "ENGLISH");
    QCOMPARE(fileBytes(copyPath), m_bytes);
}

QTEST_GUILESS_MAIN(TestShippedLang)
#include "tst_shippedlang.moc"
