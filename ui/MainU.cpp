#include "MainU.h"

#include "conf_core/ConfLines.h"
#include "conf_core/ParamCatalogue.h"
#include "conf_core/StartupChecks.h"
#include "desktop/QWindows.h"
#include "fileio/FileError.h"
#include "fileio/LocaleText.h"
#include "fileio/ReadFile.h"
#include "localisation/Captions.h"
#include "localisation/Description.h"
#include "localisation/LangIni.h"
#include "localisation/LanguageChoice.h"
#include "ui/AccessibleRoles.h"
#include "ui/ChangedFileQuestion.h"
#include "ui/Editaliases.h"
#include "ui/ErrorHandler.h"
#include "ui/FocusedButton.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBox.h"
#include "ui/ReadAskingAdministrator.h"
#include "ui/VisibleText.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>

TMainForm *MainForm = nullptr;
const char ProjectWebAddress[] = "https://cvconf.example.org";

QString VersionInfoValue(const QString &)
{
    return QStringLiteral("Qt 6 port for Linux desktops, 1.1.0");
}

namespace {

constexpr int CharReturn = 13;

bool isReturn(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Connects a click to a handler run under the general error handler.
template <typename Handler>
void onClick(QPushButton *button, Handler handler)
{
    QObject::connect(button, &QPushButton::clicked, button, [button, handler] { RunGuarded([&] { handler(button); }); });
}

}  // namespace

TMainForm::TMainForm(QWidget *parent) : QWidget(parent)
{
    InstallAccessibleRoles();
    buildComponents();

    connect(CV_List, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (QTreeWidgetItem *row = selectedRow())
            RunGuarded([&] { CV_ListSelectItem(CV_List, row, true); });
    });
    CV_List->installEventFilter(this);
    connect(ItemValue, &QLineEdit::textChanged, this, [this] { RunGuarded([&] { ItemValueChange(ItemValue); }); });
    ItemValue->installEventFilter(this);
    onClick(BSaveValue, [this](QObject *sender) { BCancelValueClick(sender); });
    onClick(BCancelValue, [this](QObject *sender) { BCancelValueClick(sender); });
    onClick(BReadConfig, [this](QObject *sender) { BReadConfigClick(sender); });
    onClick(BWriteConfig, [this](QObject *sender) { BWriteConfigClick(sender); });
    onClick(BLanguage, [this](QObject *sender) { BLanguageClick(sender); });
    onClick(BReadAliases, [this](QObject *sender) { BReadAliasesClick(sender); });
    connect(LbUrl, &TLinkLabel::clicked, this, [this] { RunGuarded([this] { LbUrlClick(LbUrl); }); });

    setEditPending(false);
    RunGuarded([this] { FormCreate(); });
    CV_List->setFocus();
}

void TMainForm::FormCreate()
{
    LbVersion->setText(QStringLiteral("Version: ") + VersionInfoValue(QStringLiteral("ProductVersion")));
    LbVersion->adjustSize();
    // The file name matters most: a path too wide loses its beginning; the
    // tooltip holds it whole.
    const QString confFile = WithVisibleControls(LocaleToText(ConfFileName));
    LbConfFile->setText(LbConfFile->fontMetrics().elidedText(confFile, Qt::ElideLeft, LbConfFile->width()));
    LbConfFile->setToolTip(LiteralToolTip(confFile));
    BReadConfigClick(BReadConfig);
    buildLanguageMenu();
    ApplyCaptions();
    BCancelValue->move(BCancelValue->x(), BCancelValue->y() + 10);
    BSaveValue->move(BSaveValue->x(), BCancelValue->y());
    CV_List->setColumnWidth(0, CV_List->columnWidth(0) + 30);
}

void TMainForm::buildLanguageMenu()
{
    const qsizetype count = Languages.size();
    for (qsizetype i = 0; i < count; ++i) {
        const QString name = LocaleToText(Languages[i]);
        if (!IsComponentName(Languages[i]))
            throw ErrorText(QStringLiteral("''%1'' ist kein gültiger Komponentenname.").arg(name));
        // "&&" shows a literal "&": the menu adds no accelerators of its own.
        QAction *entry = PMLanguage->addAction(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        entry->setObjectName(name);
        entry->setData(QVariant::fromValue(i));
        connect(entry, &QAction::triggered, this, [this, entry] { RunGuarded([&] { LanguageItemClick(entry); }); });
    }
}

void TMainForm::ApplyCaptions()
{
    for (const CaptionKey &caption : CaptionKeys) {
        const QString text = CaptionText(CurrentLanguage, caption);
        QWidget *target = findChild<QWidget *>(QLatin1String(caption.component));
        if (auto *button = qobject_cast<QPushButton *>(target))
            button->setText(text);
        else if (auto *label = qobject_cast<QLabel *>(target); label && (label != PModified || !label->text().isEmpty()))
            label->setText(text);
    }
    LItemValue->adjustSize();
    PLanguage->setText(LanguagePanelCaption(CurrentLanguage));
}

void TMainForm::BReadConfigClick(QObject *)
{
    LoadConfFile(*ConfLines, ConfFileName, [this](const QByteArray &path, FileStamp *stamp) {
        return ReadAskingAdministrator(path, stamp, this);
    });
    CV_List->setUpdatesEnabled(false);
    {
        const QSignalBlocker quiet(CV_List);
        CV_List->clear();
        QList<QTreeWidgetItem *> rows;
        for (const ParamEntry &entry : ParamCatalogue) {
            rows.append(new QTreeWidgetItem(
                {QString::fromLatin1(entry.Name), LocaleToText(GetConfValue(*ConfLines, entry.Name)),
                 QString::fromLatin1(entry.Default)}));
        }
        CV_List->addTopLevelItems(rows);
    }
    CV_List->setUpdatesEnabled(true);

    QTreeWidgetItem *top = CV_List->itemAt(QPoint(1, 1));
    if (!top)
        top = CV_List->topLevelItem(0);
    CV_List->setCurrentItem(top);
    if (isVisible())
        CV_List->setFocus();
}

void TMainForm::CV_ListSelectItem(QObject *, QTreeWidgetItem *item, bool)
{
    Item_Comments->clear();
    QStringList lines;
    ShowDescription(lines, item->text(0));
    Item_Comments->setPlainText(lines.join(QLatin1Char('\n')));
    ItemValue->setText(LocaleToText(GetConfValue(*ConfLines, TextToLocale(item->text(0)))));
}

void TMainForm::BWriteConfigClick(QObject *)
{
    FileStamp stamp = ConfLines->fileStamp();
    if (!SaveAskingOverChange(ConfFileName, SavedConfContent(*ConfLines, ConfFileName), stamp, this))
        return;
    ConfLines->setFileStamp(stamp);
    CV_List->setFocus();
    PModified->clear();
}

void TMainForm::CV_ListKeyPress(QObject *, int key)
{
    if (key == CharReturn)
        ItemValue->setFocus();
}

void TMainForm::ItemValueChange(QObject *sender)
{
    // Text the program puts into the editor while the focus is elsewhere starts no edit.
    if (sender != focusWidget())
        return;
    setEditPending(true);
}

void TMainForm::ItemValueKeyPress(QObject *, int key)
{
    if (key == CharReturn && !BSaveValue->isEnabled())
        CV_List->setFocus();
}

void TMainForm::BCancelValueClick(QObject *sender)
{
    QTreeWidgetItem *row = selectedRow();
    if (sender == BSaveValue && row) {
        const QString value = ItemValue->text();
        SetConfValue(*ConfLines, TextToLocale(row->text(0)), TextToLocale(value));
        row->setText(1, value);
        PModified->setText(ModifiedReminderText(CurrentLanguage));
    }
    // Finished from the keyboard, the editor still has the focus here, so
    // refilling it enters the pending state once more; the steps after undo that.
    if (row)
        CV_ListSelectItem(CV_List, row, true);
    CV_List->setEnabled(true);
    CV_List->setFocus();
    BReadConfig->setEnabled(true);
    BWriteConfig->setEnabled(true);
    BLanguage->setEnabled(true);
    BSaveValue->setEnabled(false);
    BCancelValue->setEnabled(false);
}

void TMainForm::setEditPending(bool pending)
{
    CV_List->setEnabled(!pending);
    BReadConfig->setEnabled(!pending);
    BWriteConfig->setEnabled(!pending);
    BLanguage->setEnabled(!pending);
    BSaveValue->setEnabled(pending);
    BCancelValue->setEnabled(pending);
}

void TMainForm::BLanguageClick(QObject *)
{
    const int entries = int(PMLanguage->actions().size());
    if (entries == 0)
        return;
    const QPoint corner = BLanguage->mapToGlobal(QPoint(0, 0));
    PMLanguage->popup(QPoint(corner.x(), corner.y() - LanguageEntryHeight * entries));
}

void TMainForm::LanguageItemClick(QAction *sender)
{
    const QByteArray language = Languages.value(sender->data().toLongLong(), TextToLocale(sender->objectName()));
    try {
        StoreLanguageChoice(*LangIni, language);
    } catch (const FileError &error) {
        // The choice still applies to this run; only the next start forgets it.
        ShowGeneralError(error.message());
    }
    CurrentLanguage = language;
    ApplyCaptions();
    if (QTreeWidgetItem *row = selectedRow()) {
        CV_ListSelectItem(CV_List, row, true);
    } else {
        Item_Comments->clear();
        ItemValue->clear();
    }
}

void TMainForm::BReadAliasesClick(QObject *)
{
    if (!PathExists(AliasesFileName)) {
        const QString name = LocaleToText(AliasesFileName);
        MessageBox::showError(QStringLiteral("Missing ") + name + QStringLiteral(" file. Please copy ") + name
                                  + QStringLiteral(" in the same directory as the application."),
                              this);
        return;
    }
    const std::unique_ptr<TEditaliasesFrm> editor = std::make_unique<TEditaliasesFrm>(this);
    if (!editor->FileRefused())
        editor->exec();
}

void TMainForm::LbUrlClick(QObject *sender)
{
    if (!qobject_cast<QLabel *>(sender))
        return;
    const QString address = QString::fromLatin1(ProjectWebAddress);
    if (LaunchDocument(QStringLiteral("open"), address) == LaunchNotAsRoot)
        MessageBox::show(MessageBox::Kind::Information,
                         QStringLiteral("This program runs as root and starts no web browser as root. "
                                        "Please open %1 in your own browser.")
                             .arg(address),
                         MessageBox::Buttons::Ok, this);
}

QTreeWidgetItem *TMainForm::selectedRow() const
{
    const QList<QTreeWidgetItem *> rows = CV_List->selectedItems();
    return rows.isEmpty() ? nullptr : rows.first();
}

bool TMainForm::pressDialogButton(int key)
{
    QPushButton *button = isReturn(key) ? BSaveValue : key == Qt::Key_Escape ? BCancelValue : nullptr;
    if (!button || !button->isEnabled() || !button->isVisible())
        return false;
    button->click();
    return true;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Panel6 && event->type() == QEvent::Resize) {
        Item_Comments->setGeometry(0, 0, Panel6->width(), Item_Comments->height());
    } else if (event->type() == QEvent::KeyPress && (watched == CV_List || watched == ItemValue)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (watched == CV_List && isReturn(key)) {
            RunGuarded([&] { CV_ListKeyPress(CV_List, CharReturn); });
            return true;
        }
        if (watched == ItemValue && (isReturn(key) || key == Qt::Key_Escape)) {
            if (!pressDialogButton(key) && isReturn(key))
                RunGuarded([&] { ItemValueKeyPress(ItemValue, CharReturn); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::keyPressEvent(QKeyEvent *event)
{
    // Keys no control consumed: a focused button takes Return itself, as in a dialog.
    if (!PressFocusedButton(this, event) && !pressDialogButton(event->key()))
        QWidget::keyPressEvent(event);
}
