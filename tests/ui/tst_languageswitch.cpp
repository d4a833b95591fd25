// The language menu and switching languages on the real window: captions,
// descriptions, the stored choice and the start after it.

#include "localisation/LangIni.h"
#include "MainFormFixture.h"
#include "fileio/SafeWrite.h"
#include "EnvironmentVariable.h"

#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QScreen>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray ThreeLanguages =
    "[GENERAL]\nCurrentLanguage=ENGLISH\n\n"
    "[ENGLISH]\nCVConf_PModified=Don't forget to save!\nRootDirectory=Install directory.\\nDefault: empty\n\n"
    "[DEUTSCH]\nCVConf_BReadConfig=Konfiguration lesen\nCVConf_BWriteConfig=Konfiguration speichern\n"
    "CVConf_BLanguage=Sprache wechseln\nCVConf_LItemValue=Neuer Wert:\nCVConf_BSaveValue=Sichern\n"
    "CVConf_BCancelValue=\nCVConf_LbVisit=Besuchen\nCVConf_PModified=Speichern nicht vergessen!\n"
    "RootDirectory=Installationsverzeichnis.\\nStandard: leer\n\n"
    "[NUR_BESCHREIBUNG]\nRootDirectory=Nur eine Beschreibung\n\n";

int failingOpen(const char *, int, mode_t)
{
    errno = EROFS;
    return -1;
}

}  // namespace

class TestLanguageSwitch : public QObject {
    Q_OBJECT

    MainFormFixture f;

    QMenu *menu() const { return f.child<QMenu>("PMLanguage"); }
    QStringList entryNames() const
    {
        QStringList names;
        for (QAction *action : menu()->actions())
            names.append(action->objectName() + '|' + action->text());
        return names;
    }
    void choose(const char *language)
    {
        QAction *entry = menu()->findChild<QAction *>(QLatin1String(language));
        if (!entry)
            entry = f.form->findChild<QAction *>(QLatin1String(language));
        QVERIFY(entry);
        entry->trigger();
    }
    QString description() const { return f.child<QPlainTextEdit>("Item_Comments")->toPlainText(); }

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }
    void init()
    {
        f.reset();
        MessageBox::clearShownBoxes();
        f.write("corvane.conf", "RootDirectory = /opt/corvane\n");
    }
    void cleanup()
    {
        f.form.reset();
        SafeWriteSystemCalls() = RealSafeWriteCalls();
    }

    void menuFromLanguageFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("GENERAL only") << QByteArray("[GENERAL]\nCurrentLanguage=ENGLISH\n") << QStringList{};
        QTest::newRow("three languages") << ThreeLanguages
                                         << QStringList{"ENGLISH|ENGLISH", "DEUTSCH|DEUTSCH", "NUR_BESCHREIBUNG|NUR_BESCHREIBUNG"};
        for (const int count : {40, 2000}) {
            QByteArray file = "[GENERAL]\nCurrentLanguage=ENGLISH\n";
            QStringList entries;
            for (int i = 0; i < count; ++i) {
                const QString name = i == count / 2 ? QStringLiteral("ENGLISH") : QStringLiteral("L%1").arg(i);
                file += "[" + name.toLatin1() + "]\n";
                entries.append(name + '|' + name);
            }
            QTest::addRow("%d languages: more than the screen is high", count) << file << entries;
        }
    }
    void menuFromLanguageFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        f.write("CVConfManager.lang", file);
        QVERIFY(f.open());
        QCOMPARE(entryNames(), entries);
        for (QAction *action : menu()->actions()) {
            QVERIFY(!action->isCheckable());
            QVERIFY(action->shortcut().isEmpty());
        }
        QTest::mouseClick(f.button("BLanguage"), Qt::LeftButton);
        QCOMPARE(menu()->isVisible(), !entries.isEmpty());
        if (entries.isEmpty())
            return;
        const QRect screen = menu()->screen()->availableGeometry();
        const QPoint corner = f.button("BLanguage")->mapToGlobal(QPoint(0, 0));
        if (corner.y() - 19 * entries.size() >= screen.top()) {
            QCOMPARE(menu()->pos(), QPoint(corner.x(), corner.y() - 19 * int(entries.size())));
            // Entries of 19 pixels: the menu ends where the button begins.
            QCOMPARE(menu()->geometry().bottom() + 1, corner.y());
        }
        // Every entry can be brought onto the screen: the first, the shipped
        // one and the last.
        QVERIFY2(screen.contains(menu()->geometry()), qPrintable(QString("%1x%2").arg(menu()->width()).arg(menu()->height())));
        const QList<QAction *> actions = menu()->actions();
        for (QAction *action : {actions.last(), menu()->findChild<QAction *>(QStringLiteral("ENGLISH")), actions.first()}) {
            menu()->setActiveAction(action);
            QVERIFY2(menu()->rect().contains(menu()->actionGeometry(action)), qPrintable(action->text()));
        }
        menu()->hide();
    }

    void invalidNameStopsCreation()
    {
        f.write("CVConfManager.lang",
                "[GENERAL]\nCurrentLanguage=DEUTSCH\n\n[ENGLISH]\n\n[FRAN CAIS]\n\n[DEUTSCH]\nCVConf_BSaveValue=Sichern\n");
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QVERIFY(f.open());
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].text, QStringLiteral("''FRAN CAIS'' ist kein gültiger Komponentenname."));
        QCOMPARE(entryNames(), QStringList{"ENGLISH|ENGLISH"});
        // The rest of the creation is skipped: design captions and places.
        QCOMPARE(f.button("BSaveValue")->text(), QStringLiteral("Save"));
        QCOMPARE(f.label("LItemValue"), QStringLiteral("New Value:"));
        QCOMPARE(f.label("PLanguage"), QStringLiteral("English Language"));
        QCOMPARE(f.button("BSaveValue")->y(), 210);
        QCOMPARE(f.list()->columnWidth(0), 93);
        QCOMPARE(f.list()->topLevelItemCount(), 36);
    }

    void switchingEndToEnd()
    {
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());
        QCOMPARE(f.label("PLanguage"), QStringLiteral("English Language"));
        QCOMPARE(f.label("LItemValue"), QStringLiteral("Modify the value here:"));
        QCOMPARE(description(), QStringLiteral("Install directory.\nDefault: empty"));
        f.editor()->setText("scribbled");  // refilled from the document by the switch

        choose("DEUTSCH");
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Konfiguration lesen"));
        QCOMPARE(f.button("BWriteConfig")->text(), QStringLiteral("Konfiguration speichern"));
        QCOMPARE(f.button("BLanguage")->text(), QStringLiteral("Sprache wechseln"));
        QCOMPARE(f.label("LItemValue"), QStringLiteral("Neuer Wert:"));
        QCOMPARE(f.button("BSaveValue")->text(), QStringLiteral("Sichern"));
        QCOMPARE(f.button("BCancelValue")->text(), QString());  // present but empty
        QCOMPARE(f.label("LbVisit"), QStringLiteral("Besuchen"));
        QCOMPARE(f.label("PLanguage"), QStringLiteral("Deutsch Language"));
        QCOMPARE(f.button("BReadAliases")->text(), QStringLiteral("Read aliases file"));
        QCOMPARE(description(), QStringLiteral("Installationsverzeichnis.\nStandard: leer"));
        QCOMPARE(f.editor()->text(), QStringLiteral("/opt/corvane"));
        QCOMPARE(LangIniFile::open(QFile::encodeName(f.path("CVConfManager.lang"))).ReadEntry("GENERAL", "CurrentLanguage", ""),
                 QByteArray("DEUTSCH"));

        // The next start opens in the chosen language.
        QVERIFY(f.open());
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Konfiguration lesen"));
        QCOMPARE(description(), QStringLiteral("Installationsverzeichnis.\nStandard: leer"));

        // A section of descriptions only: built-in captions, its description.
        choose("NUR_BESCHREIBUNG");
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Read configuration file"));
        QCOMPARE(f.button("BCancelValue")->text(), QStringLiteral("Cancel"));
        QCOMPARE(f.label("PLanguage"), QStringLiteral("Nur_beschreibung Language"));
        QCOMPARE(description(), QStringLiteral("Nur eine Beschreibung"));
    }

    void reminderIsTranslatedOnlyWhileShown()
    {
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());
        choose("DEUTSCH");
        QCOMPARE(f.label("PModified"), QString());
        choose("ENGLISH");
        f.list()->setFocus();
        QTest::keyClick(f.list(), Qt::Key_Return);
        QTest::keyClicks(f.editor(), "/srv");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(f.label("PModified"), QStringLiteral("Don't forget to save!"));
        choose("DEUTSCH");
        QCOMPARE(f.label("PModified"), QStringLiteral("Speichern nicht vergessen!"));
    }

    // Reading stops at a NUL byte; what follows it was never read, and a
    // language choice writes it back as it was, after the sections.
    void unreadRestAfterNulSurvivesAChoice_data()
    {
        QTest::addColumn<QByteArray>("rest");
        QTest::newRow("sections after the NUL") << QByteArray("\0[DEUTSCH]\nCVConf_BSaveValue=Sichern\n\n", 38);
        QTest::newRow("NUL at the very end") << QByteArray("\0", 1);
        QTest::newRow("binary rest with more NULs") << QByteArray("\0\xff\0\r\n[X]\0", 9);
    }
    void unreadRestAfterNulSurvivesAChoice()
    {
        QFETCH(QByteArray, rest);
        const QByteArray sections = "[GENERAL]\nCurrentLanguage=ENGLISH\n\n[ENGLISH]\nCVConf_BSaveValue=Save it\n\n"
                                    "[FRANCAIS]\nCVConf_BSaveValue=Enregistrer\n\n";
        f.write("CVConfManager.lang", sections + rest);
        QVERIFY(f.open());
        QCOMPARE(entryNames(), (QStringList{"ENGLISH|ENGLISH", "FRANCAIS|FRANCAIS"}));
        choose("FRANCAIS");
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(f.button("BSaveValue")->text(), QStringLiteral("Enregistrer"));
        QCOMPARE(f.read("CVConfManager.lang"), QByteArray(sections).replace("=ENGLISH", "=FRANCAIS") + rest);
    }

    // A choice writes the file as it is now: what another program changed stays.
    void translationEditedMeanwhileSurvivesAChoice()
    {
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());
        const QString path = f.path("CVConfManager.lang");
        QCOMPARE(QProcess::execute("sed", {"-i", "s/=Sichern/=Speichern/", path}), 0);
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);  // a failure ends in a box, not in a hang
        choose("DEUTSCH");
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(f.read("CVConfManager.lang"),
                 QByteArray(ThreeLanguages).replace("=ENGLISH", "=DEUTSCH").replace("=Sichern", "=Speichern"));
        QCOMPARE(f.button("BSaveValue")->text(), QStringLiteral("Speichern"));
    }

    void unreadableLanguageFileWritesNothing_data()
    {
        QTest::addColumn<QString>("replace");  // shell command; %1 is the language file
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO in its place") << "rm %1 && mkfifo %1" << "Keine reguläre Datei";
        QTest::newRow("removed") << "rm %1" << QString::fromUtf8(std::strerror(ENOENT));
        QTest::newRow("directory in its place") << "rm %1 && mkdir %1" << QString::fromUtf8(std::strerror(EISDIR));
    }
    void unreadableLanguageFileWritesNothing()
    {
        QFETCH(QString, replace);
        QFETCH(QString, reason);
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());
        const QString path = f.path("CVConfManager.lang");
        QCOMPARE(QProcess::execute("sh", {"-c", replace.arg(path)}), 0);
        const QStringList before = QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        ::alarm(60);  // a routine that blocks ends the test instead of hanging it
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        choose("DEUTSCH");
        ::alarm(0);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].text, "Datei " + path + " kann nicht geöffnet werden. " + reason + ".");
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Konfiguration lesen"));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), before);
        QVERIFY(!QFileInfo(path).isFile());
    }

    // Where the language file belongs to root, a user's choice is theirs:
    // the user's next start (cvconf, which starts up the same way) has it,
    // and the language file stays as it was.
    void choiceOfUserWhoMayNotWriteIsTheirs()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: the language file belongs to root, and the choice is made as the user nobody");
        QTemporaryDir config;
        QVERIFY(QFile::setPermissions(config.path(), QFile::Permissions(0x7777)));
        QVERIFY(QFile::setPermissions(f.dir.path(), QFile::Permissions(0x7555)));
        const QString cvconf = f.path("cvconf");  // finds its files beside itself
        QVERIFY(QFile::copy(CV_CVCONF, cvconf));
        const EnvironmentVariable configHome("XDG_CONFIG_HOME", QFile::encodeName(config.filePath("nobody")));
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());

        MessageBox::setNextAnswer(MessageBox::Answer::Ok);  // a failure ends in a box, not in a hang
        QCOMPARE(::seteuid(65534), 0);
        choose("DEUTSCH");
        QCOMPARE(::seteuid(0), 0);
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Konfiguration lesen"));

        QProcess restart;
        restart.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--", cvconf, "describe", "RootDirectory"});
        QVERIFY(restart.waitForFinished(30000));
        QCOMPARE(restart.readAllStandardOutput(), QByteArray("Installationsverzeichnis.\nStandard: leer\n"));
        QCOMPARE(f.read("CVConfManager.lang"), ThreeLanguages);
        QCOMPARE(QFileInfo(config.filePath("nobody/cvconfmanager")).permissions() & QFile::Permissions(0x0777), QFile::Permissions(0x0700));
    }

    void unwritableLanguageFileStillSwitches()
    {
        f.write("CVConfManager.lang", ThreeLanguages);
        QVERIFY(f.open());
        SafeWriteSystemCalls().open = failingOpen;
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        choose("DEUTSCH");
        SafeWriteSystemCalls() = RealSafeWriteCalls();
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QVERIFY2(MessageBox::shownBoxes()[0].text.startsWith("Datei \"" + f.path("CVConfManager.lang") + "\" kann nicht erstellt werden. "),
                 qPrintable(MessageBox::shownBoxes()[0].text));
        QCOMPARE(f.button("BReadConfig")->text(), QStringLiteral("Konfiguration lesen"));
        QCOMPARE(f.read("CVConfManager.lang"), ThreeLanguages);
    }
};

QTEST_MAIN(TestLanguageSwitch)
#include "tst_languageswitch.moc"
