// The aliases editor: bytes that survive an unedited save, the line-break
// rules, the question on Abort, and files that cannot be read or written.

#include "conf_core/StartupChecks.h"
#include "fileio/SafeWrite.h"
#include "ui/Editaliases.h"
#include "ui/MessageBox.h"
#include "TestLocale.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using MessageBox::Answer;

namespace {

const QByteArray OldContent = "employee = /opt/corvane/employee.cvdb\nstock = /srv/stock.cvdb";

// The file after an unedited save: the line-break rules are all that change it.
QByteArray savedUnedited(QByteArray content)
{
    content.replace("\r\n", "\n");
    if (content.endsWith('\n'))
        content.chop(1);
    return content == "\n" ? QByteArray() : content;
}

QByteArray readBytes(const QByteArray &path)
{
    QFile file(QFile::decodeName(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Failures for the safe write; the error box they lead to is answered OK.
enum class Failing { None, Create, Write };
Failing failing = Failing::None;

int failingOpen(const char *path, int flags, mode_t mode)
{
    if (failing == Failing::Create && (flags & O_CREAT)) {
        MessageBox::setNextAnswer(Answer::Ok);
        errno = ENOSPC;
        return -1;
    }
    return RealSafeWriteCalls().open(path, flags, mode);
}

int failingOpenat(int directory, const char *name, int flags, mode_t mode)
{
    if (failing == Failing::Create && (flags & O_CREAT)) {
        MessageBox::setNextAnswer(Answer::Ok);
        errno = ENOSPC;
        return -1;
    }
    return RealSafeWriteCalls().openat(directory, name, flags, mode);
}

ssize_t failingWrite(int fd, const void *data, size_t size)
{
    if (failing == Failing::Write) {
        MessageBox::setNextAnswer(Answer::Ok);
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, data, size);
}

// Answers the question that a save asks once it has opened the file.
std::optional<Answer> answerAfterOpen;
int answeringOpen(const char *path, int flags, mode_t mode)
{
    if (answerAfterOpen)
        MessageBox::setNextAnswer(*answerAfterOpen);
    answerAfterOpen.reset();
    return RealSafeWriteCalls().open(path, flags, mode);
}

}  // namespace

Q_DECLARE_METATYPE(Failing)
Q_DECLARE_METATYPE(Answer)

class TestEditaliases : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_locales;

    QByteArray aliasesPath() const { return QFile::encodeName(m_dir.filePath(QStringLiteral("aliases.conf"))); }

    void writeAliases(const QByteArray &bytes)
    {
        QFile file(QFile::decodeName(AliasesFileName));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    static std::unique_ptr<TEditaliasesFrm> openEditor()
    {
        auto editor = std::make_unique<TEditaliasesFrm>(nullptr);
        editor->show();
        return editor;
    }

    // The editor over the old content, with text typed at its end.
    std::unique_ptr<TEditaliasesFrm> openWithEdit(const QString &typed)
    {
        writeAliases(OldContent);
        auto editor = openEditor();
        typeAtEnd(memoOf(*editor), typed);
        return editor;
    }

    static QPlainTextEdit *memoOf(TEditaliasesFrm &editor)
    {
        return editor.findChild<QPlainTextEdit *>(QStringLiteral("MemoAliases"));
    }

    static void click(TEditaliasesFrm &editor, const char *buttonName)
    {
        QPushButton *button = editor.findChild<QPushButton *>(QLatin1String(buttonName));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Types at the end of the text; each "\n" is a press of Return.
    static void typeAtEnd(QPlainTextEdit *memo, const QString &text)
    {
        QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
        const QStringList lines = text.split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(memo, Qt::Key_Return);
            QTest::keyClicks(memo, lines[i]);
        }
    }

    static QString systemError(int errorNumber) { return QString::fromUtf8(std::strerror(errorNumber)); }

private slots:
    void initTestCase()
    {
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        MessageBox::clearShownBoxes();
        AliasesFileName = aliasesPath();
        QFile::remove(QFile::decodeName(AliasesFileName));
    }

    void cleanup()
    {
        failing = Failing::None;
        SafeWriteSystemCalls() = RealSafeWriteCalls();
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        const QString path = QFile::decodeName(AliasesFileName);
        QFile::remove(path);
        QDir(path).removeRecursively();
    }

    void unchangedRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("written");

        const QByteArray utf8 = "C.UTF-8";
        QTest::newRow("CR LF lines") << utf8 << QByteArray("one\r\ntwo\r\n") << QByteArray("one\ntwo");
        QTest::newRow("lone CR kept") << utf8 << QByteArray("a\rb\nc\r") << QByteArray("a\rb\nc\r");
        QTest::newRow("CR before CR LF") << utf8 << QByteArray("a\r\r\nb") << QByteArray("a\r\nb");
        QTest::newRow("no final LF") << utf8 << OldContent << OldContent;
        QTest::newRow("one final LF dropped") << utf8 << QByteArray("x\n") << QByteArray("x");
        QTest::newRow("only the last of two final LFs dropped")
            << utf8 << QByteArray("x\n\n") << QByteArray("x\n");
        QTest::newRow("empty file") << utf8 << QByteArray() << QByteArray();
        QTest::newRow("one line break") << utf8 << QByteArray("\n") << QByteArray();
        QTest::newRow("two line breaks") << utf8 << QByteArray("\n\n") << QByteArray();
        QTest::newRow("two CR LF line breaks") << utf8 << QByteArray("\r\n\r\n") << QByteArray();
        QTest::newRow("three line breaks") << utf8 << QByteArray("\n\n\n") << QByteArray("\n\n");
        QTest::newRow("Latin-1 bytes in a UTF-8 locale")
            << utf8 << QByteArray("# Pfad f\xfcr M\xfcller\nma\xdf = /db/m\xe9.cvdb")
            << QByteArray("# Pfad f\xfcr M\xfcller\nma\xdf = /db/m\xe9.cvdb");
        QTest::newRow("UTF-8 text") << utf8 << QByteArray("gr\xc3\xb6\xc3\x9f" "e = /db/\xe2\x82\xac.cvdb")
                                    << QByteArray("gr\xc3\xb6\xc3\x9f" "e = /db/\xe2\x82\xac.cvdb");
        QTest::newRow("no-break space") << utf8 << QByteArray("a\xc2\xa0" "b") << QByteArray("a\xc2\xa0" "b");
        QTest::newRow("Unicode line and paragraph separators")
            << utf8 << QByteArray("a\xe2\x80\xa8" "b\xe2\x80\xa9" "c") << QByteArray("a\xe2\x80\xa8" "b\xe2\x80\xa9" "c");
        QTest::newRow("NUL and other control bytes") << utf8 << QByteArray("a\0b\tc\x0c" "d\x1b", 8)
                                                     << QByteArray("a\0b\tc\x0c" "d\x1b", 8);
        QTest::newRow("codes beyond U+10FFFF (4-, 5- and 6-byte forms)")
            << utf8 << QByteArray("a\xf4\x90\x80\x80" "b\n\xf8\x88\x80\x80\x80 = \xfc\x84\x80\x80\x80\x80")
            << QByteArray("a\xf4\x90\x80\x80" "b\n\xf8\x88\x80\x80\x80 = \xfc\x84\x80\x80\x80\x80");
        QTest::newRow("Latin-1 text in a Latin-1 locale")
            << QByteArray("de_DE.ISO-8859-1") << QByteArray("gr\xf6\xdf" "e = /db/m\xfcller\xa0.cvdb\r\n")
            << QByteArray("gr\xf6\xdf" "e = /db/m\xfcller\xa0.cvdb");
        const QByteArray big5 = "\x88\x62 = /db/a\n\x88\x64 = /db/b\n\x88\xa3\x88\xa5\n\xa4\x40 = /db/\x88\xa7";
        QTest::newRow("BIG5-HKSCS codes of two characters, a held-back one last")
            << QByteArray("zh_HK.BIG5-HKSCS") << big5 << big5;
    }
    void unchangedRoundTrip()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, written);
        const QString reason = UseTestLocale(m_locales.path(), locale);
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        writeAliases(content);

        auto editor = openEditor();
        QVERIFY(!memoOf(*editor)->document()->isModified());
        click(*editor, "BWriteConfig");

        QCOMPARE(readBytes(AliasesFileName), written);
        QVERIFY(editor->isVisible());
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    void textShown_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CR LF lines") << QByteArray("C.UTF-8") << QByteArray("one\r\ntwo\r\n")
                                     << QStringLiteral("one\ntwo\n");
        QTest::newRow("UTF-8 text") << QByteArray("C.UTF-8") << QByteArray("gr\xc3\xb6\xc3\x9f" "e")
                                    << QStringLiteral("größe");
        QTest::newRow("Latin-1 text in a Latin-1 locale")
            << QByteArray("de_DE.ISO-8859-1") << QByteArray("gr\xf6\xdf" "e") << QStringLiteral("größe");
    }
    void textShown()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("the locale is not generated on this machine");
        writeAliases(content);
        auto editor = openEditor();
        QCOMPARE(memoOf(*editor)->toPlainText(), shown);
    }

    void typedTextSaved_data()
    {
        QTest::addColumn<QTestEventList>("typing");
        QTest::addColumn<QByteArray>("written");

        QTestEventList newLine;
        newLine.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        newLine.addKeyClick(Qt::Key_Return);
        newLine.addKeyClicks(QStringLiteral("spare = /db/spare.cvdb"));
        QTest::newRow("line added") << newLine << (OldContent + "\nspare = /db/spare.cvdb");

        QTestEventList softBreak;
        softBreak.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        softBreak.addKeyClick(Qt::Key_Return, Qt::ShiftModifier);
        softBreak.addKeyClicks(QStringLiteral("x"));
        QTest::newRow("Shift+Return is a plain line break") << softBreak << (OldContent + "\nx");

        QTestEventList finalReturn;
        finalReturn.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        finalReturn.addKeyClick(Qt::Key_Return);
        QTest::newRow("final Return dropped") << finalReturn << OldContent;

        // Far wider than the area: shown wrapped, written as one line.
        const QString longLine = QStringLiteral("word ").repeated(60) + QStringLiteral("x").repeated(200);
        QTestEventList wrapped;
        wrapped.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        wrapped.addKeyClicks(longLine);
        QTest::newRow("wrapped line stays one line") << wrapped << (OldContent + longLine.toLatin1());

        QTestEventList tab;
        tab.addKeyClick(Qt::Key_End, Qt::ControlModifier);
        tab.addKeyClick(Qt::Key_Tab);
        QTest::newRow("Tab inserts nothing") << tab << OldContent;
    }
    void typedTextSaved()
    {
        QFETCH(QTestEventList, typing);
        QFETCH(QByteArray, written);
        writeAliases(OldContent);
        auto editor = openEditor();
        QPlainTextEdit *memo = memoOf(*editor);

        typing.simulate(memo);
        click(*editor, "BWriteConfig");

        QCOMPARE(readBytes(AliasesFileName), written);
        QVERIFY(!memo->document()->isModified());
        QVERIFY(editor->isVisible());
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    void typedNonAsciiInLocaleCharset_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("UTF-8") << QByteArray("C.UTF-8") << QByteArray("# M\xc3\xbcller \xe2\x82\xac");
        QTest::newRow("Latin-1") << QByteArray("de_DE.ISO-8859-1") << QByteArray("# M\xfcller ?");
    }
    void typedNonAsciiInLocaleCharset()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, written);
        if (!setlocale(LC_ALL, locale.constData()))
            QSKIP("the locale is not generated on this machine");
        writeAliases(QByteArray());
        auto editor = openEditor();
        QPlainTextEdit *memo = memoOf(*editor);
        QTest::keyClicks(memo, QStringLiteral("# M"));
        for (const QString key : {"\u00fc", "l", "l", "e", "r", " ", "\u20ac"})
            QTest::sendKeyEvent(QTest::Click, memo, Qt::Key_unknown, key, Qt::NoModifier);
        click(*editor, "BWriteConfig");
        QCOMPARE(readBytes(AliasesFileName), written);
    }

    void abortAsksWhenModified_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("Yes saves") << Answer::Yes << (OldContent + "\nnew = /db/new.cvdb");
        QTest::newRow("No discards") << Answer::No << OldContent;
        QTest::newRow("closing the box discards") << Answer::Cancel << OldContent;
    }
    void abortAsksWhenModified()
    {
        QFETCH(Answer, answer);
        QFETCH(QByteArray, written);
        auto editor = openWithEdit(QStringLiteral("\nnew = /db/new.cvdb"));

        MessageBox::setNextAnswer(answer);
        click(*editor, "BAbort");

        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        const MessageBox::Shown &box = MessageBox::shownBoxes().first();
        QCOMPARE(box.kind, MessageBox::Kind::Confirmation);
        QCOMPARE(box.text, QStringLiteral("Data modified.  Save now?"));
        QCOMPARE(box.buttons, MessageBox::Buttons::YesNo);
        QVERIFY(!editor->isVisible());
        QCOMPARE(readBytes(AliasesFileName), written);
    }

    void abortWithoutChangesAsksNothing_data()
    {
        QTest::addColumn<bool>("saveFirst");
        QTest::newRow("untouched") << false;
        QTest::newRow("typed and saved") << true;
    }
    void abortWithoutChangesAsksNothing()
    {
        QFETCH(bool, saveFirst);
        writeAliases(OldContent);
        auto editor = openEditor();
        if (saveFirst) {
            typeAtEnd(memoOf(*editor), QStringLiteral(" # saved"));
            click(*editor, "BWriteConfig");
        }
        click(*editor, "BAbort");

        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QVERIFY(!editor->isVisible());
        QCOMPARE(readBytes(AliasesFileName), saveFirst ? OldContent + " # saved" : OldContent);
    }

    // Run modally, as the main window does; only BAbort asks.
    void titleBarCloseNeverAsks()
    {
        writeAliases(OldContent);
        TEditaliasesFrm editor(nullptr);
        QTimer::singleShot(0, &editor, [&editor] {
            typeAtEnd(memoOf(editor), QStringLiteral(" # lost"));
            editor.close();
        });
        editor.exec();

        QVERIFY(!editor.isVisible());
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(readBytes(AliasesFileName), OldContent);
    }

    void returnAndEscapeDoNotActOnTheWindow()
    {
        writeAliases(OldContent);
        auto editor = openEditor();
        QTest::keyClick(memoOf(*editor), Qt::Key_Escape);
        QTest::keyClick(editor.get(), Qt::Key_Escape);
        QTest::keyClick(editor.get(), Qt::Key_Return);
        QTest::keyClick(editor->findChild<QPushButton *>(QStringLiteral("BAbort")), Qt::Key_Return);
        QTest::keyClick(editor->findChild<QPushButton *>(QStringLiteral("BWriteConfig")), Qt::Key_Return);

        QVERIFY(editor->isVisible());
        QVERIFY(MessageBox::shownBoxes().isEmpty());
        QCOMPARE(readBytes(AliasesFileName), OldContent);
    }

    // Return on a focused button presses it, as in the main window; no
    // button becomes the window's default on the way.
    void returnPressesTheFocusedButton_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QByteArray>("savedContent");
        QTest::addColumn<bool>("staysOpen");
        const QByteArray edited = OldContent + " # edited";
        QTest::newRow("Save, Return") << QByteArray("BWriteConfig") << int(Qt::Key_Return) << edited << true;
        QTest::newRow("Save, keypad Enter") << QByteArray("BWriteConfig") << int(Qt::Key_Enter) << edited << true;
        QTest::newRow("Abort, Return, answered No") << QByteArray("BAbort") << int(Qt::Key_Return) << OldContent << false;
    }
    void returnPressesTheFocusedButton()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, key);
        QFETCH(QByteArray, savedContent);
        QFETCH(bool, staysOpen);
        auto editor = openWithEdit(QStringLiteral(" # edited"));
        auto *focused = editor->findChild<QPushButton *>(QLatin1String(button));
        focused->setFocus();
        MessageBox::setNextAnswer(Answer::No);

        QTest::keyClick(focused, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);

        QCOMPARE(readBytes(AliasesFileName), savedContent);
        QCOMPARE(editor->isVisible(), staysOpen);
        QCOMPARE(MessageBox::shownBoxes().size(), button == "BAbort" ? 1 : 0);
        for (const QPushButton *any : editor->findChildren<QPushButton *>())
            QVERIFY(!any->isDefault() && !any->autoDefault());
    }

    // A file larger than the text area opens in time, or with a line longer
    // than it lays out in time (counted in characters), is refused before the
    // window shows, and nothing is written. Otherwise each line is a paragraph
    // of its own, and an unedited save changes only line breaks.
    void longAndLargeFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("refusal");  // empty: the file opens; %1 is its path
        const QString tooLong = QStringLiteral("Line %2 of %1 has more than 16384 characters, too long for this editor. "
                                               "Please edit the file with another text editor.");
        const QString tooLarge = QStringLiteral("%1 is too large for this editor, which opens 50000 lines and 20 MB at most. "
                                                "Please edit the file with another text editor.");
        QFile demo(QStringLiteral(CV_DEMO_DIR "/aliases.conf"));
        QVERIFY(demo.open(QIODevice::ReadOnly));
        QTest::newRow("the demo file") << demo.readAll() << QString();
        const QByteArray atLimit(16384, 'x');
        QTest::newRow("a line at the limit") << "a\r\n" + atLimit + "\r\nb" << QString();
        QTest::newRow("the limit counts characters") << QByteArray("\xe5\x90\x8d").repeated(16384) << QString();
        QTest::newRow("50000 lines") << QByteArray("alias = /db/x.cvdb\n").repeated(50000) << QString();
        const QByteArray pieces[] = {"alias = /db/x.cvdb", "\r\n", "\n", "\r", "\xe2\x80\xa8", "\xff", "\xc3\xb6"};
        QRandomGenerator random(6);
        QByteArray lines;
        while (lines.size() < 200'000)
            lines += pieces[random.bounded(7)];
        QTest::newRow("mixed lines and breaks") << lines << QString();
        QTest::newRow("a line over the limit") << "a\r\nb\n" + atLimit + "y\nc" << tooLong.arg(QStringLiteral("%1"), QStringLiteral("3"));
        QTest::newRow("one line of 20 MB") << QByteArray(20'000'000, 'x') << tooLong.arg(QStringLiteral("%1"), QStringLiteral("1"));
        QTest::newRow("50001 lines") << QByteArray("\n").repeated(50000) + "x" << tooLarge;
        QTest::newRow("more than 20 MB in lines at the limit") << (atLimit + '\n').repeated(1221) << tooLarge;
    }
    void longAndLargeFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, refusal);
        writeAliases(content);
        MessageBox::setNextAnswer(Answer::Ok);
        auto editor = std::make_unique<TEditaliasesFrm>(nullptr);

        QCOMPARE(editor->FileRefused(), !refusal.isEmpty());
        if (!refusal.isEmpty()) {
            QCOMPARE(MessageBox::shownBoxes().size(), 1);
            QCOMPARE(MessageBox::shownBoxes().first().text, refusal.arg(QFile::decodeName(AliasesFileName)));
            QCOMPARE(readBytes(AliasesFileName), content);
            return;
        }
        QCOMPARE(memoOf(*editor)->document()->blockCount(), content.count('\n') + 1);
        editor->show();
        click(*editor, "BWriteConfig");
        QCOMPARE(readBytes(AliasesFileName), savedUnedited(content));
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    void reopeningShowsSavedContent()
    {
        writeAliases(OldContent);
        {
            auto first = openEditor();
            typeAtEnd(memoOf(*first), QStringLiteral("\nsecond = /db/2.cvdb"));
            click(*first, "BWriteConfig");
            typeAtEnd(memoOf(*first), QStringLiteral(" # not saved"));
            first->close();
        }
        auto second = openEditor();
        QCOMPARE(memoOf(*second)->toPlainText(), QString::fromLatin1(OldContent + "\nsecond = /db/2.cvdb"));
        QVERIFY(!memoOf(*second)->document()->isModified());
    }

    void beyondUnicodeSurvivesAnEdit()
    {
        const QByteArray content = "old = /db/\xf4\x90\x80\x80.cvdb";
        writeAliases(content);
        auto editor = openEditor();
        typeAtEnd(memoOf(*editor), QStringLiteral("\nnew = /db/new.cvdb"));
        click(*editor, "BWriteConfig");
        QCOMPARE(readBytes(AliasesFileName), content + "\nnew = /db/new.cvdb");
        QVERIFY(MessageBox::shownBoxes().isEmpty());
    }

    // A FIFO is refused at once, never waited for: as the file the editor
    // opens, and as the file swapped in before a Save.
    void fifoIsRefused_data()
    {
        QTest::addColumn<bool>("beforeOpening");
        QTest::newRow("FIFO when the editor opens") << true;
        QTest::newRow("FIFO swapped in before Save") << false;
    }
    void fifoIsRefused()
    {
        QFETCH(bool, beforeOpening);
        ::alarm(60);  // a routine that blocks ends the test instead of hanging it
        const QString path = QFile::decodeName(AliasesFileName);
        if (!beforeOpening)
            writeAliases(OldContent);
        else
            QCOMPARE(::mkfifo(AliasesFileName.constData(), 0644), 0);
        MessageBox::setNextAnswer(Answer::Ok);
        auto editor = openEditor();
        if (!beforeOpening) {
            typeAtEnd(memoOf(*editor), QStringLiteral(" # edited"));
            QVERIFY(QFile::remove(path));
            QCOMPARE(::mkfifo(AliasesFileName.constData(), 0644), 0);
            click(*editor, "BWriteConfig");
        }
        ::alarm(0);
        QCOMPARE(MessageBox::shownBoxes().size(), 1);
        const QString expected = beforeOpening
                                     ? QStringLiteral("Datei %1 kann nicht geöffnet werden. Keine reguläre Datei.").arg(path)
                                     : QStringLiteral("Datei \"%1\" kann nicht erstellt werden. Keine reguläre Datei.").arg(path);
        QCOMPARE(MessageBox::shownBoxes().first().text, expected);
        struct stat status {};
        QCOMPARE(::lstat(AliasesFileName.constData(), &status), 0);
        QVERIFY(S_ISFIFO(status.st_mode));
        QCOMPARE(memoOf(*editor)->isReadOnly(), beforeOpening);
        QCOMPARE(memoOf(*editor)->document()->isModified(), !beforeOpening);
        QFile::remove(path);
    }

    // The window opens empty and read-only, and nothing it offers replaces
    // the file that could not be read.
    void unreadableFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("errorNumber");
        QTest::newRow("missing") << "missing" << ENOENT;
        QTest::newRow("directory in its place") << "directory" << EISDIR;
        QTest::newRow("no permission") << "no permission" << EACCES;
    }
    void unreadableFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, errorNumber);
        const QString path = QFile::decodeName(AliasesFileName);
        if (kind == QLatin1String("directory"))
            QVERIFY(QDir().mkdir(path));
        if (kind == QLatin1String("no permission")) {
            writeAliases(OldContent);
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        }

        const bool denied = kind == QLatin1String("no permission");
        if (denied)
            MessageBox::setNextAnswer(Answer::No);  // not as administrator: today's error box
        MessageBox::setNextAnswer(Answer::Ok);
        const bool asNobody = denied && ::geteuid() == 0;
        if (asNobody)
            QCOMPARE(::seteuid(65534), 0);
        auto editor = openEditor();
        if (asNobody)
            QCOMPARE(::seteuid(0), 0);

        QCOMPARE(MessageBox::shownBoxes().size(), denied ? 2 : 1);
        QVERIFY(!denied || MessageBox::shownBoxes().first().text.contains(path + ". Read it as administrator?"));
        QCOMPARE(MessageBox::shownBoxes().last().kind, MessageBox::Kind::Error);
        QCOMPARE(MessageBox::shownBoxes().last().text,
                 QStringLiteral("Datei %1 kann nicht geöffnet werden. %2.").arg(path, systemError(errorNumber)));

        QPlainTextEdit *memo = memoOf(*editor);
        QVERIFY(memo->toPlainText().isEmpty());
        QVERIFY(memo->isReadOnly());
        QTest::keyClicks(memo, QStringLiteral("typed"));
        click(*editor, "BWriteConfig");
        QVERIFY(memo->toPlainText().isEmpty());

        if (kind == QLatin1String("missing"))
            QVERIFY(!QFile::exists(path));
        else if (kind == QLatin1String("directory"))
            QVERIFY(QFileInfo(path).isDir());
        else
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        if (kind == QLatin1String("no permission"))
            QCOMPARE(readBytes(AliasesFileName), OldContent);

        click(*editor, "BAbort");
        QVERIFY(!editor->isVisible());
        QCOMPARE(MessageBox::shownBoxes().size(), denied ? 2 : 1);
    }

    void failedWriteKeepsState_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<Failing>("failure");
        QTest::addColumn<QString>("message");
        const QString cannotCreate = QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2.")
                                         .arg(QFile::decodeName(aliasesPath()), systemError(ENOSPC));
        const QString writeError = QStringLiteral("Stream-Schreibfehler.");
        QTest::newRow("Save, create fails") << QByteArray("BWriteConfig") << Failing::Create << cannotCreate;
        QTest::newRow("Save, write fails") << QByteArray("BWriteConfig") << Failing::Write << writeError;
        QTest::newRow("Abort, create fails") << QByteArray("BAbort") << Failing::Create << cannotCreate;
        QTest::newRow("Abort, write fails") << QByteArray("BAbort") << Failing::Write << writeError;
    }
    void failedWriteKeepsState()
    {
        QFETCH(QByteArray, button);
        QFETCH(Failing, failure);
        QFETCH(QString, message);
        auto editor = openWithEdit(QStringLiteral(" # edited"));

        SafeWriteSystemCalls().open = failingOpen;
        SafeWriteSystemCalls().openat = failingOpenat;
        SafeWriteSystemCalls().write = failingWrite;
        failing = failure;
        if (button == "BAbort")
            MessageBox::setNextAnswer(Answer::Yes);  // "Data modified.  Save now?"; the failing call answers the error box
        click(*editor, button.constData());

        const MessageBox::Shown &error = MessageBox::shownBoxes().last();
        QCOMPARE(error.kind, MessageBox::Kind::Error);
        QCOMPARE(error.text, message);
        QVERIFY(editor->isVisible());
        QVERIFY(memoOf(*editor)->document()->isModified());
        QCOMPARE(readBytes(AliasesFileName), OldContent);

        // Once the disk recovers, the same window saves the edit.
        failing = Failing::None;
        click(*editor, "BWriteConfig");
        QCOMPARE(readBytes(AliasesFileName), OldContent + " # edited");
    }

    // Another program adds a line while the editor is open.
    void otherWriterIsAskedAbout_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("otherWrote");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("Save, nobody wrote: no question") << QByteArray("BWriteConfig") << false << Answer::Ok;
        QTest::newRow("Save, No keeps their line") << QByteArray("BWriteConfig") << true << Answer::No;
        QTest::newRow("Save, Yes overwrites it") << QByteArray("BWriteConfig") << true << Answer::Yes;
        QTest::newRow("Abort with Yes, No keeps it and the window") << QByteArray("BAbort") << true << Answer::No;
        QTest::newRow("Abort with Yes, Yes overwrites and closes") << QByteArray("BAbort") << true << Answer::Yes;
    }
    void otherWriterIsAskedAbout()
    {
        QFETCH(QByteArray, button);
        QFETCH(bool, otherWrote);
        QFETCH(Answer, answer);
        auto editor = openWithEdit(QStringLiteral(" # mine"));
        const QString path = QFile::decodeName(AliasesFileName);
        if (otherWrote)
            QCOMPARE(QProcess::execute("sh", {"-c", "echo 'theirs = /db/theirs.cvdb' >> " + path}), 0);
        const QByteArray theirs = readBytes(AliasesFileName);
        if (otherWrote)
            answerAfterOpen = answer;
        SafeWriteSystemCalls().open = answeringOpen;
        if (button == "BAbort")
            MessageBox::setNextAnswer(Answer::Yes);  // "Data modified.  Save now?"
        click(*editor, button.constData());

        const QList<MessageBox::Shown> &boxes = MessageBox::shownBoxes();
        QCOMPARE(boxes.size(), int(button == "BAbort") + int(otherWrote));
        if (otherWrote)  // built in: this window has no language file of its own
            QCOMPARE(boxes.last().text, "The file " + path + " was changed by another program after it was read. "
                                        "Overwrite that change with yours? Answer No to write nothing and keep your changes here.");
        const bool kept = otherWrote && answer != Answer::Yes;
        QCOMPARE(readBytes(AliasesFileName), kept ? theirs : OldContent + " # mine");
        QCOMPARE(memoOf(*editor)->toPlainText(), QString::fromUtf8(OldContent + " # mine"));
        QCOMPARE(memoOf(*editor)->document()->isModified(), kept || button == "BAbort");
        QCOMPARE(editor->isVisible(), button == "BWriteConfig" || kept);
    }

    void windowLayout()
    {
        writeAliases(OldContent);
        auto editor = openEditor();
        QCOMPARE(editor->objectName(), QStringLiteral("EditaliasesFrm"));
        QCOMPARE(editor->windowTitle(), QStringLiteral("Edit aliases.conf"));
        QCOMPARE(editor->pos(), QPoint(191, 46));
        QCOMPARE(editor->size(), QSize(601, 415));
        QVERIFY(!(editor->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
        QVERIFY(editor->windowFlags() & Qt::WindowMinimizeButtonHint);

        QCOMPARE(memoOf(*editor)->geometry(), QRect(0, 0, 601, 374));
        QCOMPARE(editor->findChild<QWidget *>(QStringLiteral("PanelBottom"))->geometry(), QRect(0, 374, 601, 41));
        auto *save = editor->findChild<QPushButton *>(QStringLiteral("BWriteConfig"));
        auto *abort = editor->findChild<QPushButton *>(QStringLiteral("BAbort"));
        QCOMPARE(save->geometry(), QRect(6, 11, 171, 22));
        QCOMPARE(abort->geometry(), QRect(185, 11, 170, 22));
        QCOMPARE(save->text(), QStringLiteral("Save configuration file to disk"));
        QCOMPARE(abort->text(), QStringLiteral("Abort"));

        // Resizing keeps the button bar at the bottom and gives the rest to the text.
        editor->resize(800, 600);
        QTRY_COMPARE(memoOf(*editor)->geometry(), QRect(0, 0, 800, 559));

        // More than fits either way: long lines wrap, and no scroll bar appears.
        QPlainTextEdit *memo = memoOf(*editor);
        typeAtEnd(memo, QStringLiteral("\n").repeated(60) + QStringLiteral("x").repeated(400));
        QTRY_VERIFY(memo->document()->lastBlock().layout()->lineCount() > 1);
        QTRY_VERIFY(memo->verticalScrollBar()->maximum() > 0);
        // A scroll bar would be shown from a posted event.
        QCoreApplication::processEvents();
        QVERIFY(!memo->horizontalScrollBar()->isVisible());
        QVERIFY(!memo->verticalScrollBar()->isVisible());
    }
};

QTEST_MAIN(TestEditaliases)
#include "tst_editaliases.moc"
