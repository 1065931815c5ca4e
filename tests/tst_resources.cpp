#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <QtTest>

// Every picture compiled into the program: it loads, has the size its control expects, and draws something.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void picture_data();
    void picture();
    void everySvgIsListed();
};

namespace {

struct Picture
{
    const char* name;
    QSize size;
};

const Picture pictures[] = {
    {"button-item.svg", {113, 39}},     {"button-version.svg", {113, 39}},  {"button-date.svg", {113, 39}},
    {"button-checksum.svg", {113, 39}}, {"button-preview.svg", {90, 31}},   {"heading-x.svg", {90, 20}},
    {"heading-y.svg", {90, 20}},        {"heading-item.svg", {90, 20}},     {"heading-version.svg", {90, 20}},
    {"heading-date.svg", {90, 20}},     {"heading-checksum.svg", {90, 20}}, {"button-qty.svg", {90, 20}},
    {"button-print.svg", {180, 31}},    {"button-end.svg", {170, 28}},      {"company-logo.svg", {658, 138}},
    {"developer-logo.svg", {102, 37}},  {"app-icon.svg", {16, 16}},
};

} // namespace

void TestResources::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Picture& picture : pictures)
        QTest::addRow("%s", picture.name) << QStringLiteral(":/") + QLatin1String(picture.name) << picture.size;
}

void TestResources::picture()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.defaultSize(), size);
    // A viewBox that differs from the size would scale the drawing.
    QCOMPARE(renderer.viewBoxF(), QRectF(QPointF(0, 0), QSizeF(size)));

    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();

    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) != 0;
    QVERIFY2(drawn > 0, "nothing drawn");
    QVERIFY2(drawn < size.width() * size.height(), "the picture covers its whole area");
}

void TestResources::everySvgIsListed()
{
    QSet<QString> listed;
    for (const Picture& picture : pictures)
        listed.insert(QLatin1String(picture.name));
    const QStringList compiled = QDir(QStringLiteral(":/")).entryList({QStringLiteral("*.svg")}, QDir::Files);
    QCOMPARE(QSet<QString>(compiled.begin(), compiled.end()), listed);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
