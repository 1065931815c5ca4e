#include "render/pcx_picture.h"

#include "render/epl2_commands.h"

// A 1-bit PCX file (run-length encoded or not) as a picture: 0 bits print, as in the black and white files
// of paint programs. Null, with `why`, when it is not one.
QImage pcxPicture(const QByteArray& file, QString* why)
{
    const auto word = [&file](int at) { return int(uchar(file.at(at))) | (int(uchar(file.at(at + 1))) << 8); };
    if (file.size() < 128 || uchar(file.at(0)) != 0x0A || file.at(2) > 1 || file.at(3) != 1 || file.at(65) != 1) {
        *why = QStringLiteral("the data is not a 1-bit (black and white) PCX file");
        return QImage();
    }
    const int width = word(8) - word(4) + 1;
    const int height = word(10) - word(6) + 1;
    const int bytesPerLine = word(66);
    if (width < 1 || height < 1 || width > kMaxLabelDots || height > kMaxLabelDots || bytesPerLine * 8 < width ||
        bytesPerLine > kMaxLabelDots) {
        *why = QStringLiteral("the PCX picture is not 1 to %1 dots each way").arg(kMaxLabelDots);
        return QImage();
    }
    const bool compressed = file.at(2) == 1;
    QImage picture(width, height, QImage::Format_Grayscale8);
    picture.fill(255);
    qsizetype at = 128;
    QByteArray line(bytesPerLine, char(0xFF));
    for (int y = 0; y < height; ++y) {
        int filled = 0;
        while (filled < bytesPerLine) {
            if (at >= file.size()) {
                *why = QStringLiteral("the PCX file ends before its picture");
                return QImage();
            }
            uchar byte = uchar(file.at(at++));
            int count = 1;
            if (compressed && (byte & 0xC0) == 0xC0) {
                count = byte & 0x3F;
                if (at >= file.size()) {
                    *why = QStringLiteral("the PCX file ends before its picture");
                    return QImage();
                }
                byte = uchar(file.at(at++));
            }
            // A run may carry on into the next line; the rest of it is dropped with the padding.
            for (; count > 0 && filled < bytesPerLine; --count)
                line[filled++] = char(byte);
        }
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = (uchar(line.at(x / 8)) & (0x80 >> (x % 8))) ? 255 : 0;
    }
    return picture;
}
