#include "support/code_reader.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

ReadCode readCode(const QImage& picture, const QString& formats, bool pure)
{
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
    return read;
}
