#include "printer/label_pdf.h"

#include "common/safe_text.h"
#include "common/whole_file.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

QString pdfPathBeside(const QString& pngPath)
{
    const QFileInfo png(pngPath);
    return png.dir().filePath(png.completeBaseName() + QStringLiteral(".pdf"));
}

QString writeLabelPdf(const QString& path, const QImage& picture, QSize dots, int dpi)
{
    if (picture.isNull() || dots.isEmpty())
        return QStringLiteral("cannot write %1: the label has no picture").arg(visibleForMessage(path));
    // Drawn in memory, then written whole like every picture the printer writes.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("quorlex-label-printer"));
        writer.setTitle(QFileInfo(path).completeBaseName());
        // One unit of the page is one dot, so the page is the label's size at the printer's resolution.
        writer.setResolution(dpi);
        const QSizeF inches(double(dots.width()) / dpi, double(dots.height()) / dpi);
        writer.setPageLayout(QPageLayout(QPageSize(inches, QPageSize::Inch, QString(), QPageSize::ExactMatch),
                                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer))
            return QStringLiteral("cannot write %1: the PDF could not be started").arg(visibleForMessage(path));
        // No SmoothPixmapTransform: the image goes in unsmoothed, so viewers draw the dots as squares.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(QPoint(0, 0), dots), picture);
        painter.end();
    }
    return writeWholeFile(path, pdf);
}
