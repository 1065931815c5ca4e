// Draws the windows' SVG pictures at the pixel sizes the windows show them, at build time, so that a start
// of the program copies finished pixels instead of parsing and rasterising SVG.
//
//   draw_pictures OUTDIR SVGDIR NAME.svg:WxH ...
//
// writes OUTDIR/NAME-WxH.argb for each entry: W times H pixels, premultiplied ARGB, 32 bits each in the
// machine's order, top row first; exactly what QImage::Format_ARGB32_Premultiplied holds.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: draw_pictures OUTDIR SVGDIR NAME.svg:WxH ...\n");
        return 2;
    }
    const QDir out(arguments.at(1));
    const QDir sources(arguments.at(2));
    const QRegularExpression entryPattern(QStringLiteral("^([A-Za-z0-9_-]+)\\.svg:([0-9]+)x([0-9]+)$"));
    for (const QString& entry : arguments.mid(3)) {
        const QRegularExpressionMatch match = entryPattern.match(entry);
        if (!match.hasMatch()) {
            std::fprintf(stderr, "draw_pictures: %s is not NAME.svg:WxH\n", qPrintable(entry));
            return 2;
        }
        const QString name = match.captured(1);
        const QSize size(match.captured(2).toInt(), match.captured(3).toInt());
        QSvgRenderer renderer(sources.filePath(name + QLatin1String(".svg")));
        if (!renderer.isValid() || size.isEmpty()) {
            std::fprintf(stderr, "draw_pictures: cannot draw %s\n", qPrintable(entry));
            return 1;
        }
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();

        QSaveFile file(out.filePath(QStringLiteral("%1-%2x%3.argb").arg(name).arg(size.width()).arg(size.height())));
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "draw_pictures: %s\n", qPrintable(file.errorString()));
            return 1;
        }
        for (int y = 0; y < image.height(); ++y)
            file.write(reinterpret_cast<const char*>(image.constScanLine(y)), qsizetype(size.width()) * 4);
        if (!file.commit()) {
            std::fprintf(stderr, "draw_pictures: %s\n", qPrintable(file.errorString()));
            return 1;
        }
    }
    return 0;
}
