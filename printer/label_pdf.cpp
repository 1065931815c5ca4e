#include "printer/label_pdf.h"

#include "common/safe_text.h"

#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

QString pdfPathBeside(const QString& pngPath)
{
    const QFileInfo png(pngPath);
    return png.dir().filePath(png.completeBaseName() + QStringLiteral(".pdf"));
}

QString writeLabelPdf(const QString& path, const QImage& picture, QSize dots, int dpi)
{
    const auto cannot = [&](const QString& why) {
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), why);
    };
    if (picture.isNull() || dots.isEmpty())
        return cannot(QStringLiteral("the label has no picture"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cannot(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("quorlex-label-printer"));
        writer.setTitle(QFileInfo(path).completeBaseName());
        // One unit of the page is one dot, so the page is the label's size at the printer's resolution.
        writer.setResolution(dpi);
        const QSizeF inches(double(dots.width()) / dpi, double(dots.height()) / dpi);
        writer.setPageLayout(QPageLayout(QPageSize(inches, QPageSize::Inch, QString(), QPageSize::ExactMatch),
                                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer))
            return cannot(file.error() != QFileDevice::NoError ? file.errorString()
                                                               : QStringLiteral("the PDF could not be started"));
        // No SmoothPixmapTransform: the image goes in unsmoothed, so viewers draw the dots as squares.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), dots), picture);
        painter.end();
    }
    // QPdfWriter does not report a failed write; the file does, and commit() refuses a file that failed.
    if (file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.cancelWriting();
        return cannot(why);
    }
    if (!file.commit())
        return cannot(file.errorString());
    return QString();
}
