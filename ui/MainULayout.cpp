// The main window's components: names, places, sizes and docking.

#include "ui/Icons.h"
#include "ui/LinkLabel.h"
#include "ui/MainU.h"
#include "ui/MenuEntryStyle.h"
#include "ui/SingleLineValidator.h"
#include "ui/WindowFont.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

namespace {

template <typename Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A panel with a lowered inner bevel, or none. Panels are named for screen
// readers after what they group.
QFrame *panel(QWidget *parent, const char *name, bool lowered, const QString &role)
{
    auto *frame = named(new QFrame(parent), name);
    frame->setAccessibleName(role);
    frame->setFrameStyle(lowered ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame);
    return frame;
}

QLabel *statusPanel(QWidget *parent, const char *name)
{
    auto *label = named(new QLabel(parent), name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(3);
    return label;
}

QPushButton *iconButton(QWidget *parent, const char *name, const QString &caption, const char *icon,
                        QRect geometry)
{
    auto *button = named(new QPushButton(caption, parent), name);
    button->setIcon(ButtonIcon(QLatin1String(icon)));
    button->setIconSize(QSize(16, 16));
    button->setGeometry(geometry);
    return button;
}

QHBoxLayout *rowLayout(QWidget *parent, int margin)
{
    auto *layout = new QHBoxLayout(parent);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    return layout;
}

}  // namespace

void TMainForm::buildComponents()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Corvane Configuration Manager"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    move(150, 146);
    resize(716, 401);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    PanelTop = panel(this, "PanelTop", false, QStringLiteral("Header"));
    PanelTop->setFixedHeight(40);
    auto *top = rowLayout(PanelTop, 0);
    Panel1 = panel(PanelTop, "Panel1", true, QStringLiteral("Product"));
    Panel1->setFixedWidth(150);
    ImCv = named(new QLabel(Panel1), "ImCv");
    ImCv->setPixmap(LogoPixmap());
    ImCv->setAlignment(Qt::AlignCenter);
    ImCv->setGeometry(3, 3, 32, 32);
    ImCv->setAccessibleName(QStringLiteral("Corvane logo"));
    LCorvaneLabel = named(new QLabel(QStringLiteral("Corvane Server\nConfiguration"), Panel1), "LCorvaneLabel");
    LCorvaneLabel->setAlignment(Qt::AlignCenter);
    LCorvaneLabel->setWordWrap(true);
    LCorvaneLabel->setGeometry(150 - 1 - 112, 2, 112, 36);
    top->addWidget(Panel1);
    Panel4 = panel(PanelTop, "Panel4", true, QStringLiteral("Version and configuration file"));
    LbVersion = named(new QLabel(Panel4), "LbVersion");
    LbVersion->setAlignment(Qt::AlignCenter);
    LbVersion->move(139, 4);
    LbConfFile = named(new QLabel(Panel4), "LbConfFile");
    LbConfFile->setAlignment(Qt::AlignCenter);
    LbConfFile->setTextFormat(Qt::PlainText);  // a path is never markup
    LbConfFile->setGeometry(12, 16, 289, 14);
    top->addWidget(Panel4, 1);
    root->addWidget(PanelTop);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    CV_List = named(new QTreeWidget(this), "CV_List");
    CV_List->setAccessibleName(QStringLiteral("Parameters"));
    CV_List->setFixedWidth(305);
    CV_List->setColumnCount(3);
    CV_List->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value"), QStringLiteral("Default")});
    CV_List->setRootIsDecorated(false);
    CV_List->setItemsExpandable(false);
    CV_List->setUniformRowHeights(true);
    CV_List->setAllColumnsShowFocus(true);
    CV_List->setSelectionMode(QAbstractItemView::SingleSelection);
    CV_List->setSortingEnabled(false);
    CV_List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CV_List->header()->setSectionsClickable(false);
    CV_List->header()->setSectionsMovable(false);
    CV_List->header()->setStretchLastSection(false);
    CV_List->setColumnWidth(0, 93);
    CV_List->setColumnWidth(1, 80);
    CV_List->setColumnWidth(2, 72);
    middle->addWidget(CV_List);

    Panel6 = named(new QWidget(this), "Panel6");
    Panel6->setAccessibleName(QStringLiteral("Parameter details"));
    Item_Comments = named(new QPlainTextEdit(Panel6), "Item_Comments");
    Item_Comments->setAccessibleName(QStringLiteral("Description"));
    Item_Comments->setReadOnly(true);
    Item_Comments->setFocusPolicy(Qt::ClickFocus);
    Item_Comments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Item_Comments->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Item_Comments->setGeometry(0, 0, 411, 162);
    Panel6->installEventFilter(this);  // Item_Comments is docked to its top edge
    LItemValue = named(new QLabel(QStringLiteral("New Value:"), Panel6), "LItemValue");
    LItemValue->move(8, 168);
    ItemValue = named(new QLineEdit(Panel6), "ItemValue");
    ItemValue->setGeometry(8, 183, 183, 21);
    ItemValue->setCursor(Qt::IBeamCursor);
    ItemValue->setValidator(new SingleLineValidator(ItemValue));
    // Values have no length limit; the editor's own would cut a long one.
    ItemValue->setMaxLength(std::numeric_limits<int>::max());
    LItemValue->setBuddy(ItemValue);
    BSaveValue = iconButton(Panel6, "BSaveValue", QStringLiteral("Save"), "floppy", QRect(103, 210, 71, 22));
    BCancelValue = iconButton(Panel6, "BCancelValue", QStringLiteral("Cancel"), "cancel", QRect(22, 210, 71, 22));
    middle->addWidget(Panel6, 1);
    root->addLayout(middle, 1);

    PButtons = named(new QFrame(this), "PButtons");
    PButtons->setAccessibleName(QStringLiteral("Commands"));
    PButtons->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PButtons->setFixedHeight(30);
    BReadConfig = iconButton(PButtons, "BReadConfig", QStringLiteral("Read configuration file"), "book", QRect(4, 5, 170, 22));
    BWriteConfig = iconButton(PButtons, "BWriteConfig", QStringLiteral("Save configuration file to disk"), "floppy",
                              QRect(177, 6, 170, 22));
    BLanguage = iconButton(PButtons, "BLanguage", QStringLiteral("Change language"), "language", QRect(350, 6, 170, 22));
    BReadAliases = iconButton(PButtons, "BReadAliases", QStringLiteral("Read aliases file"), "book", QRect(524, 6, 170, 22));
    root->addWidget(PButtons);

    PTools = panel(this, "PTools", false, QStringLiteral("Status bar"));
    PTools->setFixedHeight(18);
    auto *tools = rowLayout(PTools, 0);
    PanVisit = panel(PTools, "PanVisit", true, QStringLiteral("Project web page"));
    PanVisit->setFixedWidth(160);
    auto *visit = rowLayout(PanVisit, 1);
    LbVisit = named(new QLabel(QStringLiteral("Visit:"), PanVisit), "LbVisit");
    LbVisit->setIndent(2);
    // LbUrl keeps its width; the caption gets what is left, however long it is.
    LbVisit->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    visit->addWidget(LbVisit, 1);
    LbUrl = named(new TLinkLabel(QString::fromLatin1(ProjectWebAddress), PanVisit), "LbUrl");
    LbUrl->setFixedWidth(120);
    LbUrl->setCursor(Qt::PointingHandCursor);
    QFont urlFont = WindowFont();
    urlFont.setPixelSize(9);
    LbUrl->setFont(urlFont);
    QPalette urlPalette = LbUrl->palette();
    urlPalette.setColor(QPalette::WindowText, Qt::blue);
    LbUrl->setPalette(urlPalette);
    LbUrl->setToolTip(QString::fromLatin1(ProjectWebAddress));
    visit->addWidget(LbUrl);
    tools->addWidget(PanVisit);
    PanVersion = panel(PTools, "PanVersion", false, QStringLiteral("Status"));
    auto *version = rowLayout(PanVersion, 0);
    PModified = statusPanel(PanVersion, "PModified");
    PModified->setAccessibleDescription(QStringLiteral("Reminder to save the configuration file"));
    version->addWidget(PModified, 1);
    PLanguage = statusPanel(PanVersion, "PLanguage");
    PLanguage->setText(QStringLiteral("English Language"));
    PLanguage->setFixedWidth(108);
    version->addWidget(PLanguage);
    tools->addWidget(PanVersion, 1);
    root->addWidget(PTools);

    PMLanguage = named(new QMenu(this), "PMLanguage");
    // A popup is a window of its own and takes no font from this one.
    PMLanguage->setFont(WindowFont());
    auto *entryStyle = new MenuEntryStyle(LanguageEntryHeight);
    entryStyle->setParent(PMLanguage);
    PMLanguage->setStyle(entryStyle);

    setTabOrder(CV_List, ItemValue);
    setTabOrder(ItemValue, BSaveValue);
    setTabOrder(BSaveValue, BCancelValue);
    setTabOrder(BCancelValue, BReadConfig);
    setTabOrder(BReadConfig, BWriteConfig);
    setTabOrder(BWriteConfig, BLanguage);
    setTabOrder(BLanguage, BReadAliases);
}
