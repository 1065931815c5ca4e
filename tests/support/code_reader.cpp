#include "support/code_reader.h"
#include "support/qr_model1_reader.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

ReadCode readCode(const QImage& picture, const QString& formats, bool pure)
{
    if (formats == QLatin1String("QRCodeModel1")) {
        // ZXing 1.4 does not read model 1: the test's own reader does, upright and alone in the picture.
        const QrModel1Read model1 = readQrModel1(qrModel1Modules(picture));
        ReadCode read;
        if (!model1.error.isEmpty()) {
            if (model1.version > 0)
                qWarning("QR Code model 1 not read: %s", qPrintable(model1.error));
            return read;
        }
        read.format = formats;
        read.text = QString::fromLatin1(model1.data);
        read.sequenceIndex = model1.symbolCount ? model1.symbolIndex - 1 : -1;
        read.sequenceSize = model1.symbolCount ? model1.symbolCount : -1;
        read.sequenceId = model1.symbolCount ? QString::number(model1.parity) : QString();
        return read;
    }
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                int(grey.bytesPerLine()));
    ZXing::DecodeHints hints;
    if (!formats.isEmpty())
        hints.setFormats(ZXing::BarcodeFormatsFromString(formats.toStdString()));
    hints.setIsPure(pure);
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    hints.setTryCode39ExtendedMode(true);
    // An EAN or UPC add-on is read with its symbol ("5901234123457 12"); a symbol without one reads as before.
    hints.setEanAddOnSymbol(ZXing::EanAddOnSymbol::Read);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    ReadCode read;
    if (!result.isValid())
        return read;
    read.format = QString::fromLatin1(ZXing::ToString(result.format()));
    read.text = QString::fromStdString(result.text());
    read.symbologyIdentifier = QString::fromStdString(result.symbologyIdentifier());
    read.sequenceIndex = result.sequenceIndex();
    read.sequenceSize = result.sequenceSize();
    read.sequenceId = QString::fromStdString(result.sequenceId());
    read.readerInit = result.readerInit();
    return read;
}

QString readByWidths(const QString& format, const QList<int>& widths, int narrow, int wide)
{
    QString bits; // '1' for each wide element, '0' for each narrow one
    for (const int dots : widths)
        bits += dots == wide ? QLatin1Char('1') : dots == narrow ? QLatin1Char('0') : QLatin1Char('?');
    QString text;
    if (format == QLatin1String("MSI")) {
        // A wide bar to start, a narrow bar, wide space and narrow bar to stop; a digit is four bits, most
        // significant first, each a bar and a space: wide bar for 1, wide space for 0.
        if (!bits.startsWith(QLatin1String("10")) || !bits.endsWith(QLatin1String("010")) || (bits.size() - 5) % 8)
            return QString();
        for (qsizetype at = 2; at + 8 <= bits.size() - 3; at += 8) {
            int digit = 0;
            for (qsizetype bit = at; bit < at + 8; bit += 2) {
                if (bits.mid(bit, 2) != QLatin1String("10") && bits.mid(bit, 2) != QLatin1String("01"))
                    return QString();
                digit = digit * 2 + (bits.at(bit) == QLatin1Char('1') ? 1 : 0);
            }
            if (digit > 9)
                return QString();
            text += QChar(u'0' + digit);
        }
        return text;
    }
    // Matrix 2 of 5: a wide bar and five narrow elements to start (four to stop); a digit is three bars and two
    // spaces, two of them wide, of weights 1, 2, 4, 7 and 0 (4 + 7 is 0), and a narrow space.
    if (!bits.startsWith(QLatin1String("100000")) || !bits.endsWith(QLatin1String("10000")) || (bits.size() - 11) % 6)
        return QString();
    constexpr int kWeights[5] = {1, 2, 4, 7, 0};
    for (qsizetype at = 6; at + 6 <= bits.size() - 5; at += 6) {
        int sum = 0;
        if (bits.mid(at, 6).count(QLatin1Char('1')) != 2 || bits.at(at + 5) != QLatin1Char('0'))
            return QString();
        for (int i = 0; i < 5; ++i)
            sum += bits.at(at + i) == QLatin1Char('1') ? kWeights[i] : 0;
        text += QChar(u'0' + (sum == 11 ? 0 : sum));
    }
    return text;
}
