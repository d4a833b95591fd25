// The main window driven by keyboard and mouse: the list, the description,
// value editing and its two states, reading and writing the file.

#include "conf_core/ConfLines.h"
#include "ui/LeftCompanionReport.h"
#include "MainFormFixture.h"
#include "conf_core/ParamCatalogue.h"
#include "fileio/SafeWrite.h"
#include "fileio/Waiting.h"
#include "ui/WaitIndicator.h"

#include <QClipboard>
#include <QDir>
#include <QFontMetricsF>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTimer>
#include <QTextDocument>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray Language = "[GENERAL]\nCurrentLanguage=ENGLISH\n\n[ENGLISH]\n"
                            "RootDirectory=Where the server is installed.\\nDefault: empty\n"
                            "DeadlockTimeout=Seconds before a deadlock check.\\n\\nDefault: 10\n"
                            "CVConf_PModified=Remember to save!\n"
                            "CVConf_FileChanged=Changed elsewhere: %1. Overwrite?\n";

const QByteArray Configuration = "# Corvane server configuration\n"
                                 "#LockMemSize = 262144\n"
                                 "defaultdbcachepages = 4096\n"
                                 "DeadlockTimeout = 10\n"
                                 "IpcName = first\n"
                                 "IpcName = second\n"
                                 "AuditTraceConfigFile = /etc/corvane/audit.conf\n"
                                 "RootDirectory = /opt/corvane\n";

int failingOpen(const char *, int, mode_t)
{
    errno = EACCES;
    return -1;
}

// Root without the capabilities that pass over permission bits, for the life
// of the object: the kernel then checks files as for any other user.
class WithoutOverride {
public:
    WithoutOverride()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutOverride()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    bool dropped() const { return m_dropped; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

}  // namespace

Q_DECLARE_METATYPE(MessageBox::Answer)

class TestMainForm : public QObject {
    Q_OBJECT

    MainFormFixture f;

    void typeValue(const QString &text)
    {
        QTest::keyClick(f.list(), Qt::Key_Return);
        QCOMPARE(f.focus(), f.editor());
        f.editor()->selectAll();
        if (text.isEmpty())
            QTest::keyClick(f.editor(), Qt::Key_Delete);
        else
            QTest::keyClicks(f.editor(), text);
    }

    void checkPending(bool pending)
    {
        QCOMPARE(f.list()->isEnabled(), !pending);
        QCOMPARE(f.button("BReadConfig")->isEnabled(), !pending);
        QCOMPARE(f.button("BWriteConfig")->isEnabled(), !pending);
        QCOMPARE(f.button("BLanguage")->isEnabled(), !pending);
        QCOMPARE(f.button("BSaveValue")->isEnabled(), pending);
        QCOMPARE(f.button("BCancelValue")->isEnabled(), pending);
        QVERIFY(f.button("BReadAliases")->isEnabled());
        QVERIFY(f.editor()->isEnabled());
    }

private slots:
    void initTestCase() { QVERIFY(setlocale(LC_ALL, "C.UTF-8")); }

    void init()
    {
        f.reset();
        f.write("CVConfManager.lang", Language);
        f.write("corvane.conf", Configuration);
        f.write("aliases.conf", "employee = /var/lib/corvane/employee.cdb\n");
        MessageBox::clearShownBoxes();
        QVERIFY(f.open());
        f.list()->setFocus();
    }
    void cleanup()
    {
        f.form.reset();
        SafeWriteSystemCalls() = RealSafeWriteCalls();
    }

    void creationShowsTheCatalogue()
    {
        QCOMPARE(f.list()->topLevelItemCount(), ParamCount);
        for (int i = 0; i < ParamCount; ++i) {
            QCOMPARE(f.list()->topLevelItem(i)->text(0), QString::fromLatin1(ParamCatalogue[i].Name));
            QCOMPARE(f.list()->topLevelItem(i)->text(2), QString::fromLatin1(ParamCatalogue[i].Default));
        }
        QCOMPARE(f.cell("DefaultDbCachePages", 1), QStringLiteral("4096"));
        QCOMPARE(f.cell("LockMemSize", 1), QString());
        QCOMPARE(f.cell("LockMemSize", 2), QStringLiteral("262144"));
        QCOMPARE(f.cell("IpcName", 1), QStringLiteral("first"));
        for (const char *empty : {"RootDirectory", "ExternalTablesDirs", "RemoteBindAddress"})
            QCOMPARE(f.cell(QLatin1String(empty), 2), QString());

        QCOMPARE(f.list()->currentItem(), f.list()->topLevelItem(0));
        QCOMPARE(f.child<QPlainTextEdit>("Item_Comments")->toPlainText(),
                 QStringLiteral("Where the server is installed.\nDefault: empty"));
        QCOMPARE(f.editor()->text(), QStringLiteral("/opt/corvane"));
        QCOMPARE(f.list()->columnWidth(0), 123);
        QCOMPARE(f.list()->columnWidth(1), 80);
        QCOMPARE(f.list()->columnWidth(2), 72);
        QCOMPARE(f.button("BSaveValue")->y(), 220);
        QCOMPARE(f.button("BCancelValue")->y(), 220);
        QCOMPARE(f.label("LbVersion"), "Version: " + VersionInfoValue("ProductVersion"));
        QCOMPARE(f.label("LbConfFile"), f.path("corvane.conf"));
        QCOMPARE(f.label("PModified"), QString());
        QCOMPARE(f.form->windowTitle(), QStringLiteral("Corvane Configuration Manager"));
        QCOMPARE(f.form->size(), QSize(716, 401));
        QVERIFY(!(f.form->windowFlags() & Qt::WindowMaximizeButtonHint));
        checkPending(false);
    }

    // The header shows where the file is on one line: its end, the file
    // name, where the path is too wide, controls as visible marks, and the
    // whole path in the tooltip.
    void confFileLabel_data()
    {
        QTest::addColumn<QStringList>("folders");  // below the program's folder
        QTest::addColumn<QString>("shown");        // as the path shows, the program's folder as "@"
        QTest::addColumn<bool>("elided");
        const QString longName(250, QLatin1Char('d'));
        QTest::newRow("short path: whole") << QStringList{"etc"} << "@/etc/corvane.conf" << false;
        QTest::newRow("4,000 characters: the end") << QStringList(15, longName) + QStringList{QString(200, 'e')}
                                                   << QString() << true;
        QTest::newRow("line end and tab in a folder name") << QStringList{"a\nb\tc"}
                                                           << QString("@/a\u240Ab\u2409c/corvane.conf") << false;
        QTest::newRow("markup and blanks in a folder name") << QStringList{"<b>bold</b>  two"}
                                                            << "@/<b>bold</b>  two/corvane.conf" << false;
    }
    void confFileLabel()
    {
        QFETCH(QStringList, folders);
        QFETCH(QString, shown);
        QFETCH(bool, elided);
        const QString folder = f.path(folders.join('/'));
        QVERIFY(QDir().mkpath(folder));
        const QString conf = folder + "/corvane.conf";
        QVERIFY(conf.size() >= (elided ? 4000 : 0));
        f.write(folders.join('/') + "/corvane.conf", Configuration);
        StartupChecks({QFile::encodeName(f.path("CVConfManager")), QFile::encodeName(conf)}, [](const QString &) {});
        QVERIFY(StartupOk);
        f.form = std::make_unique<TMainForm>();
        MainForm = f.form.get();
        QCOMPARE(f.editor()->text(), QStringLiteral("/opt/corvane"));  // that file was read

        const QLabel *label = f.child<QLabel>("LbConfFile");
        const QString visible = elided ? conf : shown.replace('@', f.dir.path());
        QTextDocument tip;
        tip.setHtml(label->toolTip());
        QCOMPARE(tip.toPlainText(), visible);
        // A short path can still be too wide, depending on the temporary folder's name.
        // Measured unrounded, as eliding measures: whole pixels disagree near the edge.
        const QFontMetricsF metrics(label->font());
        const bool fits = metrics.horizontalAdvance(visible) <= label->width();
        if (elided)
            QVERIFY(!fits);
        if (!fits) {
            QVERIFY2(label->text().startsWith(QChar(0x2026)), qPrintable(label->text()));
            QVERIFY(visible.endsWith(label->text().mid(1)));
            QVERIFY(label->text().endsWith(QLatin1String("/corvane.conf")));
        } else {
            QCOMPARE(label->text(), visible);
        }
        QVERIFY(metrics.horizontalAdvance(label->text()) <= label->width());
        QCOMPARE(label->height(), 14);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void dockingFollowsTheWindowSize()
    {
        f.form->resize(900, 500);
        QApplication::processEvents();
        QCOMPARE(f.list()->width(), 305);
        QCOMPARE(f.child("PanelTop")->height(), 40);
        QCOMPARE(f.child("PButtons")->geometry(), QRect(0, 500 - 18 - 30, 900, 30));
        QCOMPARE(f.child("PTools")->geometry(), QRect(0, 500 - 18, 900, 18));
        QCOMPARE(f.child("Item_Comments")->geometry(), QRect(0, 0, 900 - 305, 162));
        QCOMPARE(f.child("PLanguage")->width(), 108);
        QCOMPARE(f.list()->height(), 500 - 40 - 30 - 18);
    }

    void descriptionAndValueFollowTheSelection()
    {
        f.select("DeadlockTimeout");
        QCOMPARE(f.child<QPlainTextEdit>("Item_Comments")->toPlainText(),
                 QStringLiteral("Seconds before a deadlock check.\n\nDefault: 10"));
        QCOMPARE(f.editor()->text(), QStringLiteral("10"));
        f.select("LockSignal");
        QCOMPARE(f.child<QPlainTextEdit>("Item_Comments")->toPlainText(), QString());
        QCOMPARE(f.editor()->text(), QString());
        checkPending(false);
        QTest::keyClick(f.list(), Qt::Key_Down);
        QCOMPARE(f.list()->currentItem()->text(0), QStringLiteral("RemoteFileOpenAbility"));
    }

    void keyboardCycleSavesTheValue()
    {
        f.select("DeadlockTimeout");
        typeValue("25");
        checkPending(true);
        QTest::keyClick(f.editor(), Qt::Key_Return);
        checkPending(false);
        QCOMPARE(f.focus(), f.list());
        QCOMPARE(f.list()->currentItem()->text(0), QStringLiteral("DeadlockTimeout"));
        QCOMPARE(f.cell("DeadlockTimeout", 1), QStringLiteral("25"));
        QCOMPARE(f.editor()->text(), QStringLiteral("25"));
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("25"));
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));
    }

    void enterOnTheKeypadSavesToo()
    {
        f.select("DeadlockTimeout");
        typeValue("30");
        QTest::keyClick(f.editor(), Qt::Key_Enter, Qt::KeypadModifier);
        checkPending(false);
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("30"));
    }

    void escapeCancels()
    {
        f.select("DeadlockTimeout");
        typeValue("99");
        QTest::keyClick(f.editor(), Qt::Key_Escape);
        checkPending(false);
        QCOMPARE(f.focus(), f.list());
        QCOMPARE(f.editor()->text(), QStringLiteral("10"));
        QCOMPARE(f.cell("DeadlockTimeout", 1), QStringLiteral("10"));
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("10"));
        QCOMPARE(f.label("PModified"), QString());
    }

    void mouseSaveAndCancel()
    {
        f.select("IpcName");
        typeValue("third");
        QTest::mouseClick(f.button("BSaveValue"), Qt::LeftButton);
        checkPending(false);
        QCOMPARE(f.focus(), f.list());
        QCOMPARE(ConfLines->savedText().count("IpcName="), 2);
        QVERIFY(ConfLines->savedText().contains("IpcName=third\nIpcName=second\n"));
        typeValue("fourth");
        QTest::mouseClick(f.button("BCancelValue"), Qt::LeftButton);
        checkPending(false);
        QCOMPARE(f.editor()->text(), QStringLiteral("third"));
    }

    void unchangedEditorKeys()
    {
        QTest::keyClick(f.list(), Qt::Key_Return);
        QCOMPARE(f.focus(), f.editor());
        QTest::keyClick(f.editor(), Qt::Key_Escape);
        QCOMPARE(f.focus(), f.editor());
        checkPending(false);
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(f.focus(), f.list());
        checkPending(false);
        QCOMPARE(f.label("PModified"), QString());
    }

    void onlyTypingInTheFocusedEditorStartsAnEdit()
    {
        QTest::mouseClick(f.editor(), Qt::LeftButton);
        QTest::keyClick(f.editor(), Qt::Key_Tab);
        checkPending(false);
        // The program's own change while the list has the focus.
        f.list()->setFocus();
        f.editor()->setText("set by the program");
        checkPending(false);
        // A change while the window is inactive still counts when the editor has its focus.
        f.editor()->setFocus();
        QApplication::setActiveWindow(nullptr);
        f.editor()->insert("x");
        checkPending(true);
    }

    void savingValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("fileAfterWrite");
        QTest::newRow("empty value removes the line")
            << "RootDirectory" << QString()
            << QByteArray("# Corvane server configuration\n#LockMemSize = 262144\ndefaultdbcachepages=4096\n"
                          "DeadlockTimeout=10\nIpcName=first\nIpcName=second\nAuditTraceConfigFile=/etc/corvane/audit.conf\n");
        QTest::newRow("commented-out parameter is appended")
            << "LockMemSize" << "524288"
            << QByteArray(Configuration).replace(" = ", "=").replace("#LockMemSize=", "#LockMemSize = ") + "LockMemSize=524288\n";
        QTest::newRow("other letter case is replaced in catalogue case")
            << "DefaultDbCachePages" << "8192"
            << QByteArray(Configuration).replace(" = ", "=").replace("#LockMemSize=", "#LockMemSize = ")
                   .replace("defaultdbcachepages=4096", "DefaultDbCachePages=8192");
        QTest::newRow("value with equals and blanks as typed")
            << "RemoteBindAddress" << " a=b "
            << QByteArray(Configuration).replace(" = ", "=").replace("#LockMemSize=", "#LockMemSize = ") + "RemoteBindAddress= a=b \n";
    }
    void savingValues()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QByteArray, fileAfterWrite);
        f.select(name);
        typeValue(value.isEmpty() ? QString() : value);
        if (value.isEmpty() && !f.button("BSaveValue")->isEnabled())
            QFAIL("deleting the text did not start an edit");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(f.cell(name, 1), value);
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        QCOMPARE(f.read("corvane.conf"), fileAfterWrite);
        QCOMPARE(f.label("PModified"), QString());
        QCOMPARE(f.focus(), f.list());
    }

    void pastedLineBreaksStayInOneLine_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QByteArray>("storedLine");
        QTest::newRow("copied with its line end") << "8192\n" << QByteArray("DefaultDbCachePages=8192\n");
        QTest::newRow("CR LF") << "8192\r\n" << QByteArray("DefaultDbCachePages=8192\n");
        QTest::newRow("a second entry") << "8192\nLockMemSize=1" << QByteArray("DefaultDbCachePages=8192LockMemSize=1\n");
    }
    void pastedLineBreaksStayInOneLine()
    {
        QFETCH(QString, pasted);
        QFETCH(QByteArray, storedLine);
        f.select("DefaultDbCachePages");
        QTest::keyClick(f.list(), Qt::Key_Return);
        f.editor()->selectAll();
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(f.editor(), Qt::Key_V, Qt::ControlModifier);
        checkPending(true);
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        const QByteArray file = f.read("corvane.conf");
        QVERIFY2(file.contains("\n" + storedLine), file.constData());
        QCOMPARE(file.count('\n'), Configuration.count('\n'));
        QCOMPARE(f.cell("LockMemSize", 1), QString());
    }

    void reminderLifecycle()
    {
        f.select("DeadlockTimeout");
        typeValue("10");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));  // also for an unchanged value
        typeValue("11");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QTest::mouseClick(f.button("BReadConfig"), Qt::LeftButton);
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));  // reading keeps it
        QCOMPARE(f.cell("DeadlockTimeout", 1), QStringLiteral("10"));       // and discards the edit
        QCOMPARE(f.list()->currentItem(), f.list()->topLevelItem(0));
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        QCOMPARE(f.label("PModified"), QString());
    }

    void readErrorKeepsListAndDocument_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::newRow("file vanished") << false;
        QTest::newRow("directory in its place") << true;
    }
    void readErrorKeepsListAndDocument()
    {
        QFETCH(bool, directory);
        f.select("DeadlockTimeout");
        typeValue("42");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QVERIFY(QFile::remove(f.path("corvane.conf")));
        if (directory)
            QVERIFY(QDir(f.dir.path()).mkdir("corvane.conf"));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QTest::mouseClick(f.button("BReadConfig"), Qt::LeftButton);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].title, QStringLiteral("Fehler"));
        QVERIFY2(MessageBox::shownBoxes()[0].text.startsWith("Datei " + f.path("corvane.conf") + " kann nicht geöffnet werden. "),
                 qPrintable(MessageBox::shownBoxes()[0].text));
        QVERIFY(MessageBox::shownBoxes()[0].text.endsWith('.'));
        QCOMPARE(f.cell("DeadlockTimeout", 1), QStringLiteral("42"));
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("42"));
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));
    }

    void writeErrorKeepsFocusAndReminder()
    {
        f.select("DeadlockTimeout");
        typeValue("42");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        f.button("BWriteConfig")->setFocus();
        SafeWriteSystemCalls().open = failingOpen;
        MessageBox::setNextAnswer(MessageBox::Answer::No);  // not as administrator: today's error box
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QTest::keyClick(f.button("BWriteConfig"), Qt::Key_Space);
        SafeWriteSystemCalls() = RealSafeWriteCalls();
        QCOMPARE(MessageBox::shownBoxes().size(), 2);
        QVERIFY(MessageBox::shownBoxes()[0].text.contains(f.path("corvane.conf") + ". Save it as administrator?"));
        QVERIFY2(MessageBox::shownBoxes()[1].text.startsWith("Datei \"" + f.path("corvane.conf") + "\" kann nicht erstellt werden. "),
                 qPrintable(MessageBox::shownBoxes()[1].text));
        QCOMPARE(f.focus(), f.button("BWriteConfig"));
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));
        QCOMPARE(f.read("corvane.conf"), Configuration);
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("42"));
    }

    void returnOnAFocusedButtonPressesIt()
    {
        f.select("DeadlockTimeout");
        typeValue("7");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        f.button("BWriteConfig")->setFocus();
        QTest::keyClick(f.button("BWriteConfig"), Qt::Key_Return);
        QVERIFY(f.read("corvane.conf").contains("DeadlockTimeout=7\n"));
    }

    void focusOrder()
    {
        const QStringList expected{"ItemValue", "BSaveValue", "BCancelValue", "BReadConfig",
                                   "BWriteConfig", "BLanguage", "BReadAliases", "CV_List"};
        QWidget *widget = f.list();
        QStringList order;
        for (int i = 0; i < expected.size(); ++i) {
            widget = widget->nextInFocusChain();
            while (!(widget->focusPolicy() & Qt::TabFocus))
                widget = widget->nextInFocusChain();
            order.append(widget->objectName());
        }
        QCOMPARE(order, expected);
    }

    // Values have no length limit: a long one is shown, edited and stored whole.
    void longValueKeepsItsTail_data()
    {
        QTest::addColumn<bool>("pasted");
        QTest::newRow("100,000 characters from the file, one typed") << false;
        QTest::newRow("99,990 characters pasted, 10 typed") << true;
    }
    void longValueKeepsItsTail()
    {
        QFETCH(bool, pasted);
        const QByteArray fromFile(100000, 'v');
        if (!pasted) {
            f.write("corvane.conf", "RootDirectory = " + fromFile + "\n");
            QTest::mouseClick(f.button("BReadConfig"), Qt::LeftButton);
            QCOMPARE(f.editor()->text().size(), fromFile.size());
        }
        f.select("RootDirectory");
        QTest::keyClick(f.list(), Qt::Key_Return);
        QByteArray expected;
        if (pasted) {
            f.editor()->selectAll();
            QApplication::clipboard()->setText(QString(99990, u'p'));
            QTest::keyClick(f.editor(), Qt::Key_V, Qt::ControlModifier);
            QTest::keyClicks(f.editor(), QStringLiteral("0123456789"));
            expected = QByteArray(99990, 'p') + "0123456789";
        } else {
            QTest::keyClick(f.editor(), Qt::Key_End);
            QTest::keyClicks(f.editor(), QStringLiteral("w"));
            expected = fromFile + "w";
        }
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(GetConfValue(*ConfLines, "RootDirectory").size(), expected.size());
        QCOMPARE(GetConfValue(*ConfLines, "RootDirectory"), expected);
        QCOMPARE(f.cell("RootDirectory", 1).size(), expected.size());
        QCOMPARE(f.editor()->text().size(), expected.size());
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        QVERIFY(("\n" + f.read("corvane.conf")).endsWith("\nRootDirectory=" + expected + "\n"));
    }

    // Bytes the C library decodes beyond U+10FFFF have no character; they go
    // back to the file as they came, also when the value is edited.
    void bytesBeyondUnicodeSurviveAnEdit()
    {
        f.write("corvane.conf", "RootDirectory = /opt/\xf4\x90\x80\x80/\xf8\x88\x80\x80\x80\n");
        QTest::mouseClick(f.button("BReadConfig"), Qt::LeftButton);
        f.select("RootDirectory");
        QTest::keyClick(f.list(), Qt::Key_Return);
        QTest::keyClick(f.editor(), Qt::Key_End);
        QTest::keyClicks(f.editor(), QStringLiteral("db"));
        QTest::keyClick(f.editor(), Qt::Key_Return);
        QCOMPARE(GetConfValue(*ConfLines, "RootDirectory"), QByteArray("/opt/\xf4\x90\x80\x80/\xf8\x88\x80\x80\x80" "db"));
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        QCOMPARE(f.read("corvane.conf"), QByteArray("RootDirectory=/opt/\xf4\x90\x80\x80/\xf8\x88\x80\x80\x80" "db\n"));
    }

    // Started without the right to read the file (or with something in its
    // place that is no file), the window has nothing to save: Save reports
    // that and the file keeps every byte.
    void unreadFileIsNeverSaved_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("file others may write but not read (0622)") << false;
        QTest::newRow("FIFO in its place") << true;
    }
    void unreadFileIsNeverSaved()
    {
        QFETCH(bool, fifo);
        f.form.reset();
        MessageBox::clearShownBoxes();
        const QByteArray path = QFile::encodeName(f.path("corvane.conf"));
        std::unique_ptr<WithoutOverride> asAnyUser;
        if (fifo) {
            QVERIFY(QFile::remove(f.path("corvane.conf")));
            QCOMPARE(::mkfifo(path.constData(), 0666), 0);
        } else {
            if (::geteuid() != 0)
                QSKIP("needs root, to give the file to another user");
            QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
            QCOMPARE(::chmod(path.constData(), 0622), 0);
            asAnyUser = std::make_unique<WithoutOverride>();
            if (!asAnyUser->dropped())
                QSKIP("cannot drop CAP_DAC_OVERRIDE here");
        }
        ::alarm(60);  // a routine that blocks ends the test instead of hanging it
        if (!fifo)
            MessageBox::setNextAnswer(MessageBox::Answer::No);  // not as administrator
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QVERIFY(f.open());
        f.list()->setFocus();
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        ::alarm(0);
        asAnyUser.reset();

        const QString shown = f.path("corvane.conf");
        const QString reason = fifo ? QStringLiteral("Keine reguläre Datei") : QString::fromUtf8(std::strerror(EACCES));
        QVERIFY(fifo || MessageBox::shownBoxes()[0].text.contains(shown + ". Read it as administrator?"));
        const QList<MessageBox::Shown> boxes = MessageBox::shownBoxes().mid(fifo ? 0 : 1);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].text, "Datei " + shown + " kann nicht geöffnet werden. " + reason + ".");
        QCOMPARE(boxes[1].text,
                 "Datei \"" + shown + "\" kann nicht erstellt werden. Die Datei wurde nicht gelesen.");
        struct stat status {};
        QCOMPARE(::lstat(path.constData(), &status), 0);
        if (fifo) {
            QVERIFY(S_ISFIFO(status.st_mode));
        } else {
            QCOMPARE(f.read("corvane.conf"), Configuration);
            QCOMPARE(int(status.st_mode & 07777), 0622);
        }
    }

    void fifoSwappedInBeforeSaveIsRefused()
    {
        f.select("DeadlockTimeout");
        typeValue("42");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        const QByteArray path = QFile::encodeName(f.path("corvane.conf"));
        QVERIFY(QFile::remove(f.path("corvane.conf")));
        QCOMPARE(::mkfifo(path.constData(), 0666), 0);
        ::alarm(60);
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        ::alarm(0);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].text,
                 "Datei \"" + f.path("corvane.conf") + "\" kann nicht erstellt werden. Keine reguläre Datei.");
        QCOMPARE(f.label("PModified"), QStringLiteral("Remember to save!"));
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("42"));
    }

    // While another program holds the file's lock the window's events go on:
    // a timer finds the box that names the holder, and lets the lock go.
    void saveWaitsForTheLockWithoutFreezing()
    {
        const WaitingStyle before = ProcessWaiting();
        const auto restore = qScopeGuard([&] { ProcessWaiting() = before; });
        WaitWithWindowsPainting();
        QProcess holder;  // holds the lock until its input ends, 8 s at most
        holder.start("flock", {"-o", "-x", f.path("corvane.conf"), "-c", "echo held; exec timeout 8 cat"});
        QVERIFY(holder.waitForReadyRead(10000));
        const QString expected = "Waiting for the lock on " + f.path("corvane.conf") + ", held by process "
                                 + QString::number(holder.processId()) + " (flock) …";
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (const QWidget *box = QApplication::activeModalWidget(); box && shown.isEmpty()) {
                shown = box->findChild<QLabel *>()->accessibleName();
                holder.closeWriteChannel();
            }
        });
        poll.start(100);
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);
        QCOMPARE(shown, expected);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(f.read("corvane.conf"), ConfLines->savedText());
        holder.waitForFinished();
    }

    // Another program writes corvane.conf after the window read it.
    void otherWriterIsAskedAbout_data()
    {
        QTest::addColumn<QString>("other");  // shell command; %1 is the file
        QTest::addColumn<MessageBox::Answer>("answer");
        QTest::addColumn<bool>("overwritten");
        const QString append = "printf 'Extra = 1\\nMore = 2\\n' >> %1";
        QTest::newRow("nobody: saved without a question") << "" << MessageBox::Answer::Ok << true;
        QTest::newRow("two lines appended, No keeps them") << append << MessageBox::Answer::No << false;
        QTest::newRow("two lines appended, Yes overwrites them") << append << MessageBox::Answer::Yes << true;
    }
    void otherWriterIsAskedAbout()
    {
        QFETCH(QString, other);
        QFETCH(MessageBox::Answer, answer);
        QFETCH(bool, overwritten);
        f.select("DeadlockTimeout");
        typeValue("42");
        QTest::keyClick(f.editor(), Qt::Key_Return);
        const QString path = f.path("corvane.conf");
        if (!other.isEmpty()) {
            QCOMPARE(QProcess::execute("sh", {"-c", other.arg(path)}), 0);
            MessageBox::setNextAnswer(answer);
        }
        const QByteArray theirs = f.read("corvane.conf");
        QTest::mouseClick(f.button("BWriteConfig"), Qt::LeftButton);

        QCOMPARE(MessageBox::shownBoxes().size(), other.isEmpty() ? 0 : 1);
        if (!other.isEmpty()) {
            const MessageBox::Shown &box = MessageBox::shownBoxes()[0];
            QCOMPARE(box.kind, MessageBox::Kind::Warning);
            QCOMPARE(box.text, "Changed elsewhere: " + path + ". Overwrite?");  // from the language file
            QCOMPARE(box.defaultAnswer, MessageBox::Answer::No);
        }
        QCOMPARE(f.read("corvane.conf"), overwritten ? ConfLines->savedText() : theirs);
        QCOMPARE(f.label("PModified"), overwritten ? QString() : QStringLiteral("Remember to save!"));
        QCOMPARE(GetConfValue(*ConfLines, "DeadlockTimeout"), QByteArray("42"));
    }

    // What killed saves in place left is named at the next start; temporaries are not.
    void companionsLeftByKilledSavesAreReported()
    {
        const QString conf = f.path("corvane.conf"), aliases = f.path("aliases.conf");
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        const QString beside = f.path(".corvane.conf.unsaved-a1B2c3");
        const QString inState = state.path() + "/cvconfmanager/" + QString(aliases).replace("/", "%2F") + ".unsaved-x1Y2z3";
        QVERIFY(QDir().mkpath(state.path() + "/cvconfmanager"));
        for (const QString &path : {beside, inState, f.path(".corvane.conf.a1B2c3d4E5f6")})
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        ReportLeftCompanions({QFile::encodeName(conf), QFile::encodeName(aliases)});
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].kind, MessageBox::Kind::Warning);
        QCOMPARE(MessageBox::shownBoxes()[0].text,
                 "A save did not finish. The whole content it was writing is kept in:\n" + beside + " (for " + conf
                     + ")\n" + inState + " (for " + aliases
                     + ")\nCompare it with the file it belongs to, and remove it when you no longer need it.");
    }

    void missingAliasFileIsReported()
    {
        QVERIFY(QFile::remove(f.path("aliases.conf")));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QTest::mouseClick(f.button("BReadAliases"), Qt::LeftButton);
        const QString name = f.path("aliases.conf");
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        QCOMPARE(MessageBox::shownBoxes()[0].text,
                 "Missing " + name + " file. Please copy " + name + " in the same directory as the application.");
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
