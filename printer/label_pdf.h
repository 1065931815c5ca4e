#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The PDF file beside a label's picture: label-000012.png gives label-000012.pdf.
QString pdfPathBeside(const QString& pngPath);

// Writes `picture` (the label of `dots`, at any whole number of pixels per dot) as a PDF of one page the
// label's physical size at `dpi`, every dot a sharp square: the image is embedded as it is, never smoothed.
// Whole or not at all: the file is written aside in the same folder and renamed. The cause when it cannot be.
QString writeLabelPdf(const QString& path, const QImage& picture, QSize dots, int dpi);
