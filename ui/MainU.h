#pragma once
// The main window.
//
//   PanelTop      header: Panel1 (logo ImCv, tagline LCorvaneLabel) | Panel4 (LbVersion, LbConfFile)
//   CV_List       left: the 36 parameters, columns Property / Value / Default
//   Panel6        client: Item_Comments (description), LItemValue, ItemValue, BCancelValue, BSaveValue
//   PButtons      BReadConfig, BWriteConfig, BLanguage (opens PMLanguage), BReadAliases
//   PTools        status bar: PanVisit (LbVisit, LbUrl) | PanVersion (PModified, PLanguage)
//
// Normal state: the list and the Read, Write and Language buttons work, Save and
// Cancel are disabled. An edit typed into ItemValue reverses that until Save or
// Cancel. The window acts as its own dialog: Return presses BSaveValue and
// Escape BCancelValue while they are enabled, and a focused button otherwise.

#include <QByteArray>
#include <QString>
#include <QWidget>

class QAction;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TLinkLabel;

// The project's web page, shown by LbUrl and opened by a click on it.
extern const char ProjectWebAddress[];

// The text of a version-information entry; on this platform a fixed credit line.
QString VersionInfoValue(const QString &key);

class TMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);

    // Event handlers, named after the component and event they serve.
    void BReadConfigClick(QObject *sender);
    void CV_ListSelectItem(QObject *sender, QTreeWidgetItem *item, bool selected);
    void BWriteConfigClick(QObject *sender);
    void CV_ListKeyPress(QObject *sender, int key);
    void ItemValueChange(QObject *sender);
    void ItemValueKeyPress(QObject *sender, int key);
    void BCancelValueClick(QObject *sender);
    void BLanguageClick(QObject *sender);
    void LanguageItemClick(QAction *sender);
    void BReadAliasesClick(QObject *sender);
    void LbUrlClick(QObject *sender);
    void ApplyCaptions();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The language menu opens this much above BLanguage per entry, so each
    // entry is exactly this high.
    static constexpr int LanguageEntryHeight = 19;

    void buildComponents();
    void FormCreate();
    void buildLanguageMenu();
    // Return and Escape as a dialog's default and cancel buttons would take them.
    bool pressDialogButton(int key);
    void setEditPending(bool pending);
    QTreeWidgetItem *selectedRow() const;

    QFrame *PanelTop;
    QFrame *Panel1;
    QLabel *ImCv;
    QLabel *LCorvaneLabel;
    QFrame *Panel4;
    QLabel *LbVersion;
    QLabel *LbConfFile;
    QTreeWidget *CV_List;
    QWidget *Panel6;
    QPlainTextEdit *Item_Comments;
    QLabel *LItemValue;
    QLineEdit *ItemValue;
    QPushButton *BSaveValue;
    QPushButton *BCancelValue;
    QFrame *PButtons;
    QPushButton *BReadConfig;
    QPushButton *BWriteConfig;
    QPushButton *BLanguage;
    QPushButton *BReadAliases;
    QFrame *PTools;
    QFrame *PanVisit;
    QLabel *LbVisit;
    TLinkLabel *LbUrl;
    QFrame *PanVersion;
    QLabel *PLanguage;
    QLabel *PModified;
    QMenu *PMLanguage;
};

extern TMainForm *MainForm;
