// Every caption of both windows and the language menu fits its widget, in each
// language of the shipped language file and with the built-in English texts,
// on a machine that has only the fonts the package depends on. The test runs
// with a fontconfig setup of its own that knows nothing but those fonts.

#include "localisation/LangIni.h"
#include "ui/Editaliases.h"
#include "MainFormFixture.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QStyleOptionButton>
#include <clocale>

namespace {

// The font directories of the package's dependencies: fonts-liberation, and
// fonts-dejavu-core, which Qt's fontconfig brings along.
const QStringList PackageFontDirectories{QStringLiteral("/usr/share/fonts/truetype/liberation"),
                                         QStringLiteral("/usr/share/fonts/truetype/dejavu")};

const QString ShippedLangPath = QStringLiteral(CV_DEMO_DIR "/CVConfManager.lang");

// The gap Qt's styles draw between a button's icon and its text.
constexpr int IconTextGap = 4;

QString describe(const QWidget *widget, const QString &text, QSize needed, QSize room)
{
    return QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
        .arg(widget->objectName(), text)
        .arg(needed.width())
        .arg(needed.height())
        .arg(room.width())
        .arg(room.height());
}

// The room the style leaves for a button's icon and text, and what they need.
QString buttonClipping(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    if (button->autoDefault() || button->isDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QFontMetrics metrics = button->fontMetrics();
    QSize needed = metrics.boundingRect(room, Qt::AlignVCenter | Qt::TextShowMnemonic, option.text).size();
    if (!option.icon.isNull()) {
        needed.rwidth() += option.iconSize.width() + IconTextGap;
        needed.setHeight(qMax(needed.height(), option.iconSize.height()));
    }
    if (needed.width() > room.width() || needed.height() > room.height())
        return describe(button, option.text, needed, room.size());
    return QString();
}

// A label draws its text in its contents rectangle less margin and indent.
QString labelClipping(const QLabel *label)
{
    QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const QFontMetrics metrics = label->fontMetrics();
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)
        indent = metrics.horizontalAdvance(QLatin1Char('x')) / 2 - label->margin();
    const Qt::Alignment alignment = label->alignment();
    if (indent > 0) {
        if (alignment & Qt::AlignLeft)
            room.setLeft(room.left() + indent);
        if (alignment & Qt::AlignRight)
            room.setRight(room.right() - indent);
        if (alignment & Qt::AlignTop)
            room.setTop(room.top() + indent);
        if (alignment & Qt::AlignBottom)
            room.setBottom(room.bottom() - indent);
    }
    // Measured from the top: centring in the probe rectangle would round up.
    int flags = int(alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
    if (label->wordWrap())
        flags |= Qt::TextWordWrap;
    if (label->buddy())
        flags |= Qt::TextShowMnemonic;
    const QSize needed = metrics.boundingRect(QRect(0, 0, room.width(), 1000), flags, label->text()).size();
    if (needed.width() > room.width() || needed.height() > room.height())
        return describe(label, label->text(), needed, room.size());
    return QString();
}

QString outsideParent(const QWidget *widget)
{
    const QWidget *parent = widget->parentWidget();
    if (parent->rect().contains(widget->geometry()))
        return QString();
    return QStringLiteral("%1 at %2,%3 %4x%5 lies outside %6 (%7x%8)")
        .arg(widget->objectName())
        .arg(widget->x())
        .arg(widget->y())
        .arg(widget->width())
        .arg(widget->height())
        .arg(parent->objectName())
        .arg(parent->width())
        .arg(parent->height());
}

// Every button and label of the window whose caption does not fit. A label
// named in except may be clipped by design (a long path).
QStringList clippedCaptions(const QWidget *window, const QStringList &except = {})
{
    QStringList clipped;
    for (const QPushButton *button : window->findChildren<QPushButton *>()) {
        if (!button->isVisibleTo(window) || button->text().isEmpty())
            continue;
        clipped << buttonClipping(button) << outsideParent(button);
    }
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty() || except.contains(label->objectName()))
            continue;
        clipped << labelClipping(label) << outsideParent(label);
    }
    clipped.removeAll(QString());
    return clipped;
}

QStringList clippedHeaders(const QTreeWidget *list)
{
    QStringList clipped;
    const QHeaderView *header = list->header();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    for (int column = 0; column < list->columnCount(); ++column) {
        const QString text = list->headerItem()->text(column);
        const int needed = header->fontMetrics().horizontalAdvance(text) + 2 * margin;
        if (needed > header->sectionSize(column))
            clipped << QStringLiteral("column \"%1\" needs %2, has %3").arg(text).arg(needed).arg(header->sectionSize(column));
    }
    return clipped;
}

QByteArray shippedLanguageFile()
{
    QFile file(ShippedLangPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The shipped file without any caption, so every caption is its built-in text.
QByteArray withoutCaptions(const QByteArray &file)
{
    QList<QByteArray> lines = file.split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("CVConf_"); });
    return lines.join('\n');
}

}  // namespace

class TestCaptionsFit : public QObject {
    Q_OBJECT

    MainFormFixture f;

    // The window in a language section, with the reminder shown so that it
    // is measured too.
    void showLanguage(const QByteArray &language)
    {
        f.child<QLabel>("PModified")->setText(QStringLiteral("shown"));
        CurrentLanguage = language;
        f.form->ApplyCaptions();
        QApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(setlocale(LC_ALL, "C.UTF-8"));
        // Besides the fonts, Qt lists the generic names that fontconfig maps to them.
        const QStringList generic{QStringLiteral("Monospace"), QStringLiteral("Sans Serif"), QStringLiteral("Serif")};
        for (const QString &family : QFontDatabase::families())
            QVERIFY2(family.startsWith(QLatin1String("Liberation")) || family.startsWith(QLatin1String("DejaVu"))
                         || generic.contains(family),
                     qPrintable(QStringLiteral("font outside the package's dependencies: ") + family));
        QVERIFY2(QFontDatabase::families().contains(QStringLiteral("Liberation Sans")),
                 "Liberation Sans missing: install fonts-liberation (scripts/setup-machine.sh)");
        QVERIFY(!shippedLanguageFile().isEmpty());
    }

    void init()
    {
        f.reset();
        f.write("CVConfManager.lang", shippedLanguageFile());
        f.write("corvane.conf", "RootDirectory = /opt/corvane\n");
        f.write("aliases.conf", "employee = /var/lib/corvane/employee.cdb\n");
    }
    void cleanup() { f.form.reset(); }

    void mainWindow_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("language");
        const QByteArray shippedFile = shippedLanguageFile();
        const LangIniFile shipped = LangIniFile::fromBytes(QByteArray(), shippedFile);
        for (const QByteArray &language : shipped.SectionNames()) {
            if (language != "GENERAL")
                QTest::newRow(language.constData()) << shippedFile << language;
        }
        QTest::newRow("built-in English") << withoutCaptions(shippedFile) << QByteArray("ENGLISH");
    }
    void mainWindow()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, language);
        f.write("CVConfManager.lang", file);
        QVERIFY(f.open());
        showLanguage(language);

        const QStringList clipped = clippedCaptions(f.form.get(), {QStringLiteral("LbConfFile")}) + clippedHeaders(f.list());
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1String("; "))));
        QCOMPARE(QFontInfo(f.button("BWriteConfig")->font()).family(), QStringLiteral("Liberation Sans"));

        // The link keeps its place at the right of its panel whatever the
        // caption beside it: 160 less the bevel and a pixel of margin.
        QCOMPARE(f.child("LbUrl")->geometry().left(), 160 - 1 - 1 - 120);
        QCOMPARE(f.child("LbUrl")->width(), 120);
    }

    // Entries exactly as high as BLanguageClick counts, so the open menu ends
    // where the button begins, and no entry is cut.
    void languageMenu()
    {
        QVERIFY(f.open());
        auto *menu = f.child<QMenu>("PMLanguage");
        QTest::mouseClick(f.button("BLanguage"), Qt::LeftButton);
        QTRY_VERIFY(menu->isVisible());
        const QList<QAction *> entries = menu->actions();
        QCOMPARE(entries.size(), Languages.size());
        for (QAction *entry : entries) {
            const QRect place = menu->actionGeometry(entry);
            QCOMPARE(place.height(), 19);
            QVERIFY(menu->fontMetrics().horizontalAdvance(entry->text()) < place.width());
        }
        QCOMPARE(menu->height(), 19 * int(entries.size()));
        QCOMPARE(menu->geometry().bottom() + 1, f.button("BLanguage")->mapToGlobal(QPoint(0, 0)).y());
        QCOMPARE(QFontInfo(menu->font()).family(), QStringLiteral("Liberation Sans"));
        menu->hide();
    }

    void aliasesEditor()
    {
        QVERIFY(f.open());
        TEditaliasesFrm editor(f.form.get());
        editor.show();
        QApplication::processEvents();
        const QStringList clipped = clippedCaptions(&editor);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1String("; "))));
        QCOMPARE(QFontInfo(editor.font()).family(), QStringLiteral("Liberation Sans"));
    }

    // The check sees a caption that does not fit: in DejaVu Sans, which a
    // usual fontconfig setup substitutes for a family it lacks, the editor's
    // save caption is cut.
    void detectsAWiderFont()
    {
        QVERIFY(f.open());
        TEditaliasesFrm editor(f.form.get());
        QFont wider(QStringLiteral("DejaVu Sans"));
        wider.setPixelSize(11);
        editor.setFont(wider);
        editor.show();
        QApplication::processEvents();
        QCOMPARE(QFontInfo(editor.font()).family(), QStringLiteral("DejaVu Sans"));
        const QStringList clipped = clippedCaptions(&editor);
        QCOMPARE(clipped.size(), 1);
        QVERIFY2(clipped.first().startsWith(QLatin1String("BWriteConfig ")), qPrintable(clipped.first()));
    }
};

// fontconfig reads its setup when the application object loads the fonts.
int main(int argc, char **argv)
{
    QTemporaryDir fontSetup;
    QString directories;
    for (const QString &directory : PackageFontDirectories)
        directories += QStringLiteral("<dir>%1</dir>").arg(directory);
    QFile conf(fontSetup.filePath(QStringLiteral("fonts.conf")));
    if (!fontSetup.isValid() || !conf.open(QIODevice::WriteOnly))
        return 1;
    conf.write(QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                              "<fontconfig>%1<cachedir>%2</cachedir></fontconfig>\n")
                   .arg(directories, fontSetup.filePath(QStringLiteral("cache")))
                   .toUtf8());
    conf.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(conf.fileName()));

    QApplication application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    TestCaptionsFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_captionsfit.moc"
