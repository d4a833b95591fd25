// What a screen reader gets from both windows and the message boxes, read
// through the accessibility interfaces as it reads them: roles, names, the
// link's action, and in the text areas where each character stands.

#include "ui/Editaliases.h"
#include "MainFormFixture.h"
#include "desktop/QWindows.h"
#include "EnvironmentVariable.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <clocale>
#include <functional>
#include <unistd.h>

namespace {

const QByteArray TwoLanguages = "[GENERAL]\nCurrentLanguage=ENGLISH\n\n"
                                "[ENGLISH]\nRootDirectory=Install directory.\n\n"
                                "[DEUTSCH]\nCVConf_LItemValue=Wert hier ändern:\nCVConf_BSaveValue=Sichern\n"
                                "CVConf_BCancelValue=Abbruch\nCVConf_PModified=Speichern nicht vergessen!\n";

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QAccessibleInterface *accessible(QObject *object) { return QAccessible::queryAccessibleInterface(object); }

QString nameOf(QObject *object) { return accessible(object)->text(QAccessible::Name); }

void walk(QAccessibleInterface *node, const std::function<void(QAccessibleInterface *)> &visit)
{
    visit(node);
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface *child = node->child(i))
            walk(child, visit);
    }
}

// Cells of the list speak their own content, which may be empty (a parameter
// without a value); their column header names them.
bool isCell(QAccessible::Role role)
{
    return role == QAccessible::Cell || role == QAccessible::TreeItem || role == QAccessible::ListItem
           || role == QAccessible::Row;
}

// A node a person can operate: it takes the focus or offers an action.
bool isInteractive(QAccessibleInterface *node)
{
    if (node->state().focusable)
        return true;
    const QAccessibleActionInterface *actions = node->actionInterface();
    return actions && !actions->actionNames().isEmpty();
}

QString describe(QAccessibleInterface *node)
{
    const QObject *object = node->object();
    return QStringLiteral("role %1 of %2").arg(int(node->role())).arg(object ? object->objectName() : QString());
}

// Every interactive node under the root that a screen reader could not name.
QStringList namelessControls(QObject *root)
{
    QStringList nameless;
    walk(accessible(root), [&](QAccessibleInterface *node) {
        if (!isCell(node->role()) && isInteractive(node) && node->text(QAccessible::Name).trimmed().isEmpty())
            nameless.append(describe(node));
    });
    return nameless;
}

// The names of the push buttons a screen reader finds under the root.
QStringList buttonNames(QObject *root)
{
    QStringList names;
    walk(accessible(root), [&](QAccessibleInterface *node) {
        if (node->role() == QAccessible::Button && !node->state().invisible)
            names.append(node->text(QAccessible::Name));
        else if (node->role() == QAccessible::Button)
            names.append(QStringLiteral("<hidden> ") + node->text(QAccessible::Name));
    });
    return names;
}

}  // namespace

Q_DECLARE_METATYPE(MessageBox::Buttons)
Q_DECLARE_METATYPE(MessageBox::Answer)

class TestAccessibility : public QObject {
    Q_OBJECT

    MainFormFixture f;
    QTemporaryDir m_openerLog;

    QString openerLog() const { return m_openerLog.filePath(QStringLiteral("opened")); }

private slots:
    void initTestCase()
    {
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QVERIFY(m_openerLog.isValid());
    }
    void init()
    {
        f.reset();
        MessageBox::clearShownBoxes();
        f.write("CVConfManager.lang", TwoLanguages);
        f.write("corvane.conf", "RootDirectory = /opt/corvane\n");
        f.write("aliases.conf", "employee = /var/lib/corvane/employee.cdb\n");
        QVERIFY(f.open());
    }
    void cleanup()
    {
        f.form.reset();
        DocumentOpenerCommand = QStringLiteral("kfmclient exec");
    }

    void mainWindowIsAWindowWithItsTitle()
    {
        QAccessibleInterface *window = accessible(f.form.get());
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Corvane Configuration Manager"));
    }

    void controlsCarryNames_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("list") << QByteArray("ENGLISH") << QByteArray("CV_List") << "Parameters";
        QTest::newRow("description") << QByteArray("ENGLISH") << QByteArray("Item_Comments") << "Description";
        QTest::newRow("value editor") << QByteArray("ENGLISH") << QByteArray("ItemValue") << "Modify the value here:";
        QTest::newRow("value editor, German") << QByteArray("DEUTSCH") << QByteArray("ItemValue") << "Wert hier ändern:";
        QTest::newRow("language panel") << QByteArray("ENGLISH") << QByteArray("PLanguage") << "English Language";
        QTest::newRow("language panel, German") << QByteArray("DEUTSCH") << QByteArray("PLanguage") << "Deutsch Language";
        QTest::newRow("reminder panel") << QByteArray("ENGLISH") << QByteArray("PModified") << "Don't forget to save!";
        QTest::newRow("reminder panel, German") << QByteArray("DEUTSCH") << QByteArray("PModified")
                                                << "Speichern nicht vergessen!";
        QTest::newRow("link") << QByteArray("ENGLISH") << QByteArray("LbUrl") << QString::fromLatin1(ProjectWebAddress);
    }
    void controlsCarryNames()
    {
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, control);
        QFETCH(QString, name);
        // A saved value shows the reminder.
        QTest::keyClick(f.list(), Qt::Key_Return);
        QTest::keyClicks(f.editor(), QStringLiteral("/srv"));
        QTest::keyClick(f.editor(), Qt::Key_Return);
        f.form->LanguageItemClick(f.form->findChild<QAction *>(QString::fromLatin1(language)));

        QCOMPARE(nameOf(f.child(control.constData())), name);
    }

    // The list's column headers name its cells.
    void listColumnsAreNamed()
    {
        QStringList headers;
        walk(accessible(f.list()), [&](QAccessibleInterface *node) {
            if (node->role() == QAccessible::ColumnHeader)
                headers.append(node->text(QAccessible::Name));
        });
        QCOMPARE(headers, (QStringList{"Property", "Value", "Default"}));
    }

    void aliasesTextIsNamed()
    {
        TEditaliasesFrm editor(f.form.get());
        QAccessibleInterface *window = accessible(&editor);
        QCOMPARE(window->role(), QAccessible::Dialog);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Edit aliases.conf"));
        QCOMPARE(nameOf(editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"))),
                 QStringLiteral("Text of aliases.conf"));
    }

    // A magnifier follows the caret, and a screen reader's mouse review reads
    // what lies under the pointer, by these extents: they must be where the
    // text area draws the character, on any line and after scrolling.
    void characterExtentsAreWhereTheTextIsDrawn_data()
    {
        QTest::addColumn<QByteArray>("area");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::newRow("aliases, first line") << QByteArray("MemoAliases") << 0 << 3;
        QTest::newRow("aliases, a middle line") << QByteArray("MemoAliases") << 9 << 0;
        QTest::newRow("aliases, a wrapped line's second row") << QByteArray("MemoAliases") << 4 << 150;
        QTest::newRow("aliases, last line, scrolled") << QByteArray("MemoAliases") << 59 << 5;
        QTest::newRow("description, scrolled") << QByteArray("Item_Comments") << 40 << 2;
    }
    void characterExtentsAreWhereTheTextIsDrawn()
    {
        QFETCH(QByteArray, area);
        QFETCH(int, line);
        QFETCH(int, column);
        QStringList lines;
        for (int i = 0; i < 60; ++i)
            lines.append(QStringLiteral("alias%1 = /var/lib/corvane/data/alias%1.cdb").arg(i));
        lines[4] = QStringLiteral("wrapped ").repeated(40);
        f.write("aliases.conf", lines.join(QLatin1Char('\n')).toUtf8());
        const QByteArray description = lines.join(QLatin1String("\\n")).toUtf8();
        f.write("CVConfManager.lang", QByteArray(TwoLanguages).replace("Install directory.", description));
        QVERIFY(f.open());
        TEditaliasesFrm editor(f.form.get());
        editor.show();
        auto *edit = f.form->findChild<QPlainTextEdit *>(QString::fromLatin1(area));
        QAccessibleTextInterface *text = accessible(edit)->textInterface();
        const int offset = edit->document()->findBlockByNumber(line).position() + column;

        text->setCursorPosition(offset);  // as a screen reader moves the caret
        QApplication::processEvents();
        const QRect caret = edit->cursorRect(edit->textCursor());
        QVERIFY(edit->viewport()->rect().contains(caret));
        const QRect told = text->characterRect(text->cursorPosition());
        QCOMPARE(told.topLeft(), edit->viewport()->mapToGlobal(caret.topLeft()));
        QCOMPARE(told.height(), caret.height());
        QCOMPARE(text->offsetAtPoint(told.center()), offset);
    }

    // A screen reader edits as typing does: nothing where typing cannot, and
    // in the aliases editor a change that Abort asks about.
    void editingThroughTheTextInterface()
    {
        TEditaliasesFrm editor(f.form.get());
        auto *aliases = editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"));
        auto *description = f.child<QPlainTextEdit>("Item_Comments");
        const QString described = description->toPlainText();
        accessible(description)->editableTextInterface()->insertText(0, QStringLiteral("x"));
        accessible(aliases)->editableTextInterface()->replaceText(0, 8, QStringLiteral("staff"));
        QCOMPARE(description->toPlainText(), described);
        QCOMPARE(aliases->toPlainText(), QStringLiteral("staff = /var/lib/corvane/employee.cdb\n"));
        QVERIFY(aliases->document()->isModified());
    }

    // The walk finds every control of the window, named, and the six icon
    // buttons among them under their captions.
    void mainWindowTreeHasNoNamelessControl_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::newRow("English") << QByteArray("ENGLISH");
        QTest::newRow("German") << QByteArray("DEUTSCH");
    }
    void mainWindowTreeHasNoNamelessControl()
    {
        QFETCH(QByteArray, language);
        f.form->LanguageItemClick(f.form->findChild<QAction *>(QString::fromLatin1(language)));
        const QStringList nameless = namelessControls(f.form.get());
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1String("; "))));

        QStringList expected;
        for (const char *button : {"BSaveValue", "BCancelValue", "BReadConfig", "BWriteConfig", "BLanguage", "BReadAliases"})
            expected.append(f.button(button)->text());
        QStringList found = buttonNames(f.form.get());
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
    }

    void aliasesEditorTreeHasNoNamelessControl()
    {
        TEditaliasesFrm editor(f.form.get());
        editor.show();
        const QStringList nameless = namelessControls(&editor);
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QLatin1String("; "))));
        QCOMPARE(buttonNames(&editor), (QStringList{"Save configuration file to disk", "Abort"}));
    }

    // The walk does report a control without a name.
    void walkFindsANamelessControl()
    {
        QWidget window;
        auto *unnamed = new QLineEdit(&window);
        unnamed->setObjectName(QStringLiteral("unnamed"));
        new QLabel(QStringLiteral("not a control"), &window);
        window.show();
        QCOMPARE(namelessControls(&window).size(), 1);
        QVERIFY(namelessControls(&window).first().endsWith(QLatin1String("unnamed")));
    }

    // The link's press action and a mouse click start the same opener
    // command; as root with no user to start it as, the address is shown.
    void linkCanBePressed_data()
    {
        QTest::addColumn<QByteArray>("sudoUid");
        QTest::newRow("opener started") << QByteArray("65534");  // as root, the user who runs it
        QTest::newRow("as root with no user: the address in a box") << QByteArray();
    }
    void linkCanBePressed()
    {
        QFETCH(QByteArray, sudoUid);
        const bool boxed = sudoUid.isNull();
        if (boxed && ::geteuid() != 0)
            QSKIP("needs root: only root is refused the opener");
        const EnvironmentVariable pkexec("PKEXEC_UID", QByteArray()), sudo("SUDO_UID", sudoUid);
        QVERIFY(QFile::setPermissions(m_openerLog.path(), QFile::Permissions(0x7777)));
        QFile::remove(openerLog());
        DocumentOpenerCommand = QStringLiteral("printf '%s\\n' >>'%1'").arg(openerLog());
        QWidget *link = f.child("LbUrl");
        QAccessibleActionInterface *actions = accessible(link)->actionInterface();
        QVERIFY(actions);
        QCOMPARE(accessible(link)->role(), QAccessible::Link);
        QCOMPARE(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});

        if (boxed)
            MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        actions->doAction(QAccessibleActionInterface::pressAction());
        if (boxed) {
            QCOMPARE(MessageBox::shownBoxes().size(), 1);
            QCOMPARE(MessageBox::shownBoxes()[0].kind, MessageBox::Kind::Information);
            QVERIFY2(MessageBox::shownBoxes()[0].text.contains(ProjectWebAddress), qPrintable(MessageBox::shownBoxes()[0].text));
            QVERIFY(!QFile::exists(openerLog()));
            return;
        }
        const QByteArray once = QByteArray(ProjectWebAddress) + '\n';
        QTRY_COMPARE(fileBytes(openerLog()), once);
        QTest::mouseClick(link, Qt::LeftButton);
        QTRY_COMPARE(fileBytes(openerLog()), once + once);
    }

    // Only the buttons on screen are announced; Escape and the title-bar
    // close still count as Cancel, Return presses the default button.
    void messageBoxButtons_data()
    {
        QTest::addColumn<MessageBox::Buttons>("buttons");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<MessageBox::Answer>("answer");
        using B = MessageBox::Buttons;
        using A = MessageBox::Answer;
        const QStringList ok{"OK"}, okCancel{"OK", "Abbrechen"}, yesNo{"Ja", "Nein"};
        QTest::newRow("OK, Escape") << B::Ok << ok << "escape" << A::Cancel;
        QTest::newRow("OK, Return") << B::Ok << ok << "return" << A::Ok;
        QTest::newRow("OK and Cancel, closed") << B::OkCancel << okCancel << "close" << A::Cancel;
        QTest::newRow("Yes and No, Escape") << B::YesNo << yesNo << "escape" << A::Cancel;
        QTest::newRow("Yes and No, closed") << B::YesNo << yesNo << "close" << A::Cancel;
        QTest::newRow("Yes and No, Return") << B::YesNo << yesNo << "return" << A::Yes;
    }
    void messageBoxButtons()
    {
        QFETCH(MessageBox::Buttons, buttons);
        QFETCH(QStringList, names);
        QFETCH(QString, ending);
        QFETCH(MessageBox::Answer, answer);
        QStringList announced;
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            announced = buttonNames(box);
            if (ending == QLatin1String("escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (ending == QLatin1String("return"))
                QTest::keyClick(box->focusWidget(), Qt::Key_Return);
            else
                box->close();
        });
        const MessageBox::Answer given = MessageBox::show(MessageBox::Kind::Confirmation, QStringLiteral("Sure?"), buttons);
        QCOMPARE(announced, names);
        QCOMPARE(given, answer);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
