// The buttons' icons and the logo: present in the resources, of the right
// size, 16 colours at most, and the disabled twins in greys only.
#include <QtTest>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSet>

#include "ui/Icons.h"

namespace {

const char *const kNames[] = {"book", "floppy", "language", "cancel", "abort"};

int colourCount(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            colours.insert(qAlpha(p) == 0 ? 0u : p);
        }
    return colours.size();
}

// Opaque pixels whose red, green and blue differ.
int saturatedPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) != 0 && (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p)))
                ++n;
        }
    return n;
}

int opaquePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                ++n;
    return n;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void buttonIcons_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : kNames)
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void buttonIcons()
    {
        QFETCH(QString, name);
        const QImage normal(QStringLiteral(":/icons/%1.xpm").arg(name));
        const QImage disabled(QStringLiteral(":/icons/%1_disabled.xpm").arg(name));
        QVERIFY2(!normal.isNull(), qPrintable(name));
        QVERIFY2(!disabled.isNull(), qPrintable(name + QStringLiteral("_disabled")));
        QCOMPARE(normal.size(), QSize(16, 16));
        QCOMPARE(disabled.size(), QSize(16, 16));
        const QImage n = normal.convertToFormat(QImage::Format_ARGB32);
        const QImage d = disabled.convertToFormat(QImage::Format_ARGB32);
        QVERIFY(colourCount(n) <= 16);
        QVERIFY(colourCount(d) <= 16);
        QVERIFY(saturatedPixels(n) > 0);
        QCOMPARE(saturatedPixels(d), 0);
        QVERIFY(opaquePixels(d) > 0);
        // something transparent around the shape in at least one of them
        QVERIFY(opaquePixels(n) < 256 || opaquePixels(d) < 256);

        const QIcon icon = ButtonIcon(name);
        QVERIFY(!icon.isNull());
        const QImage fromIconNormal = icon.pixmap(16, 16, QIcon::Normal).toImage()
                                          .convertToFormat(QImage::Format_ARGB32);
        const QImage fromIconDisabled = icon.pixmap(16, 16, QIcon::Disabled).toImage()
                                            .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(fromIconNormal, n);
        QCOMPARE(fromIconDisabled, d);
    }

    void logo()
    {
        const QPixmap logo = LogoPixmap();
        QVERIFY(!logo.isNull());
        QCOMPARE(logo.size(), QSize(32, 32));
        const QImage image = logo.toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(colourCount(image) <= 16);
        QVERIFY(saturatedPixels(image) > 0);
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
