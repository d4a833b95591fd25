#include "Editaliases.h"

#include "conf_core/StartupChecks.h"
#include "fileio/LocaleText.h"
#include "ui/AliasText.h"
#include "ui/ChangedFileQuestion.h"
#include "ui/ErrorHandler.h"
#include "ui/FocusedButton.h"
#include "ui/Icons.h"
#include "ui/MessageBox.h"
#include "ui/ReadAskingAdministrator.h"
#include "ui/WindowFont.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The longest line the text area takes. Its layout of a line without blanks
// grows with the square of the length: on the machine of docs/PERFORMANCE.md
// a keystroke took 142 ms in a line of 65,536 characters, 39 ms in one of
// 32,768 and 13 ms in one of 16,384, which leaves room for a machine several
// times slower (cvconf_bench_aliases --sweep).
constexpr qsizetype LongestLine = 16384;

// The largest file the text area opens within about a second, with room for
// a slower or busier machine: each line is a paragraph of its own, and their
// number sets the time to open. On the machine of docs/PERFORMANCE.md, at a
// load of 6, 100,000 lines of 80 bytes took 0.42 s to set in, 200,000 took
// 0.78 s and 400,000 1.75 s; 3,000 lines of 16,384 characters (49 MB) took
// 0.50 s (cvconf_bench_aliases --sweep).
constexpr qsizetype MostLines = 50000;
constexpr qsizetype MostMegabytes = 20;

// Counted before a byte is decoded, so that a huge file is refused at once.
QString refusalOf(const QByteArray &bytes)
{
    const qsizetype lines = bytes.count('\n') + (bytes.isEmpty() || bytes.endsWith('\n') ? 0 : 1);
    if (lines <= MostLines && bytes.size() <= MostMegabytes * 1000 * 1000)
        return QString();
    return QStringLiteral("%1 is too large for this editor, which opens %2 lines and %3 MB at most. "
                          "Please edit the file with another text editor.")
        .arg(LocaleToText(AliasesFileName), QString::number(MostLines), QString::number(MostMegabytes));
}

QPushButton *createButton(QWidget *parent, const QString &objectName, const QString &caption,
                          const QString &iconName, const QRect &geometry)
{
    auto *button = new QPushButton(ButtonIcon(iconName), caption, parent);
    button->setObjectName(objectName);
    button->setIconSize(QSize(16, 16));
    button->setGeometry(geometry);
    // No default button: Return and Escape have no window-wide meaning here.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

TEditaliasesFrm::TEditaliasesFrm(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("EditaliasesFrm"));
    setWindowTitle(QStringLiteral("Edit aliases.conf"));
    setFont(WindowFont());

    MemoAliases = new QPlainTextEdit(this);
    MemoAliases->setObjectName(QStringLiteral("MemoAliases"));
    MemoAliases->setAccessibleName(QStringLiteral("Text of aliases.conf"));
    MemoAliases->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoAliases->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    MemoAliases->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoAliases->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoAliases->setTabChangesFocus(true);

    PanelBottom = new QFrame(this);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelBottom->setFixedHeight(41);

    BWriteConfig = createButton(PanelBottom, QStringLiteral("BWriteConfig"),
                                QStringLiteral("Save configuration file to disk"), QStringLiteral("floppy"),
                                QRect(6, 11, 171, 22));
    BAbort = createButton(PanelBottom, QStringLiteral("BAbort"), QStringLiteral("Abort"),
                          QStringLiteral("abort"), QRect(185, 11, 170, 22));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MemoAliases, 1);
    layout->addWidget(PanelBottom);

    setTabOrder(MemoAliases, BWriteConfig);
    setTabOrder(BWriteConfig, BAbort);
    MemoAliases->setFocus();

    resize(601, 415);
    move(191, 46);

    connect(BWriteConfig, &QPushButton::clicked, this, [this] { RunGuarded([this] { BWriteConfigClick(); }); });
    connect(BAbort, &QPushButton::clicked, this, [this] { RunGuarded([this] { BAbortClick(); }); });

    FormCreate();
}

void TEditaliasesFrm::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel) || PressFocusedButton(this, event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TEditaliasesFrm::FileRefused() const
{
    return !m_refusal.isEmpty();
}

void TEditaliasesFrm::FormCreate()
{
    m_fileRead = RunGuarded([this] {
        const QByteArray bytes = ReadAskingAdministrator(AliasesFileName, &m_readStamp, parentWidget());
        m_refusal = refusalOf(bytes);
        if (!m_refusal.isEmpty())
            return;
        const QString text = AliasFileToText(bytes);
        if (const qsizetype line = FirstLineLongerThan(text, LongestLine)) {
            m_refusal = QStringLiteral("Line %1 of %2 has more than %3 characters, too long for this editor. "
                                       "Please edit the file with another text editor.")
                            .arg(QString::number(line), LocaleToText(AliasesFileName), QString::number(LongestLine));
            return;
        }
        MemoAliases->setPlainText(text);
        MemoAliases->document()->setModified(false);
    }) && m_refusal.isEmpty();
    if (!m_refusal.isEmpty())
        MessageBox::showError(m_refusal, parentWidget());
    // Nothing typed into the empty area could be saved over the unread file.
    MemoAliases->setReadOnly(!m_fileRead);
}

bool TEditaliasesFrm::writeAliasesFile()
{
    if (!m_fileRead)
        return true;
    const QByteArray bytes = AliasTextToFile(MemoAliases->document()->toRawText());
    return SaveAskingOverChange(AliasesFileName, {bytes}, m_readStamp, this);
}

void TEditaliasesFrm::BWriteConfigClick()
{
    if (writeAliasesFile())
        MemoAliases->document()->setModified(false);
}

void TEditaliasesFrm::BAbortClick()
{
    // Keeping another program's change keeps the window open with the text.
    if (MemoAliases->document()->isModified()
        && MessageBox::askYesNo(QStringLiteral("Data modified.  Save now?"), this) == MessageBox::Answer::Yes
        && !writeAliasesFile())
        return;
    close();
}
