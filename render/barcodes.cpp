#include "render/barcodes.h"
#include "render/linear_selections.h"
#include "render/qr_model1.h"

#include <zint.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

struct SymbolDeleter
{
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

Symbol newSymbol(int symbology)
{
    Symbol symbol(ZBarcode_Create());
    if (symbol) {
        symbol->symbology = symbology;
        symbol->input_mode = DATA_MODE;
        symbol->show_hrt = 1;
    }
    return symbol;
}

bool moduleSet(const zint_symbol& symbol, int row, int column)
{
    return ((symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1) != 0;
}

// zint's own message, as printable ASCII of bounded length.
QString zintError(const zint_symbol& symbol)
{
    QString text;
    for (const char* c = symbol.errtxt; *c && text.size() < 90; ++c)
        text += uchar(*c) >= 0x20 && uchar(*c) < 0x7F ? QLatin1Char(*c) : QLatin1Char('?');
    return text.isEmpty() ? QStringLiteral("the data cannot be encoded") : text;
}

// Encodes; an error text when zint refuses (warnings are taken).
QString encode(zint_symbol& symbol, const QByteArray& data)
{
    if (data.isEmpty())
        return QStringLiteral("there is no data to encode");
    const int status =
        ZBarcode_Encode(&symbol, reinterpret_cast<const unsigned char*>(data.constData()), int(data.size()));
    if (status >= ZINT_ERROR)
        return zintError(symbol);
    if (symbol.rows < 1 || symbol.width < 1)
        return QStringLiteral("the data cannot be encoded");
    return QString();
}

bool code39Standard(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || QByteArrayView("-. $/+%").contains(c);
    });
}

// Data Matrix sizes as rows by columns, in zint's order of symbol sizes (option_2 1 to 30).
constexpr int kDataMatrixSizes[30][2] = {
    {10, 10},   {12, 12},   {14, 14},   {16, 16},   {18, 18}, {20, 20}, {22, 22}, {24, 24}, {26, 26}, {32, 32},
    {36, 36},   {40, 40},   {44, 44},   {48, 48},   {52, 52}, {64, 64}, {72, 72}, {80, 80}, {88, 88}, {96, 96},
    {104, 104}, {120, 120}, {132, 132}, {144, 144}, {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36}, {16, 48}};

MatrixCode failed(const QString& why)
{
    MatrixCode code;
    code.error = why;
    return code;
}

MatrixCode modulesOf(const zint_symbol& symbol, int moduleWidth, int moduleHeight)
{
    MatrixCode code;
    code.columns = symbol.width;
    code.rows = symbol.rows;
    code.moduleWidth = moduleWidth;
    code.moduleHeight = moduleHeight;
    code.dark = QByteArray(qsizetype(code.columns) * code.rows, '\0');
    for (int row = 0; row < code.rows; ++row) {
        for (int column = 0; column < code.columns; ++column)
            code.dark[row * code.columns + column] = moduleSet(symbol, row, column) ? 1 : 0;
    }
    return code;
}

MatrixCode dataMatrix(const MatrixField& field, const QByteArray& data)
{
    Symbol symbol = newSymbol(BARCODE_DATAMATRIX);
    if (field.rows || field.columns) {
        int chosen = 0;
        for (int i = 0; i < 30 && !chosen; ++i) {
            const bool rows = !field.rows || kDataMatrixSizes[i][0] == field.rows;
            const bool columns = !field.columns || kDataMatrixSizes[i][1] == field.columns;
            const bool square = field.rows && field.columns ? true : kDataMatrixSizes[i][0] == kDataMatrixSizes[i][1];
            if (rows && columns && square)
                chosen = i + 1;
        }
        if (!chosen)
            return failed(QStringLiteral("Data Matrix has no symbol of %1 rows and %2 columns")
                              .arg(field.rows)
                              .arg(field.columns));
        symbol->option_2 = chosen;
    } else {
        symbol->option_3 = DM_SQUARE;
    }
    const QString why = encode(*symbol, data);
    if (!why.isEmpty())
        return failed(why);
    const int module = field.module ? field.module : 5;
    MatrixCode code = modulesOf(*symbol, module, module);
    code.quietModules = 1;
    return code;
}

// Whole characters of QR Code's Kanji mode: Shift JIS pairs whose second byte is 40 to FC but 7F.
bool shiftJisKanji(QByteArrayView data)
{
    if (data.isEmpty() || data.size() % 2 != 0)
        return false;
    for (qsizetype i = 0; i < data.size(); i += 2) {
        const int pair = uchar(data.at(i)) << 8 | uchar(data.at(i + 1));
        const int second = pair & 0xFF;
        if (!((pair >= 0x8140 && pair <= 0x9FFC) || (pair >= 0xE040 && pair <= 0xEAA4)) || second < 0x40 ||
            second == 0x7F || second > 0xFC)
            return false;
    }
    return true;
}

MatrixCode qrCode(const MatrixField& field, QByteArray data)
{
    bool kanji = false;
    if (field.manualInput) {
        // The first character names the data's mode; B is followed by four digits of byte count.
        const char mode = data.isEmpty() ? '\0' : data.at(0);
        if (mode == 'N' || mode == 'A') {
            data.remove(0, 1);
        } else if (mode == 'B' && data.size() >= 5 && allDigits(QByteArrayView(data).sliced(1, 4))) {
            const int count = data.mid(1, 4).toInt();
            data = data.mid(5, count);
        } else if (mode == 'K') {
            data.remove(0, 1);
            if (!shiftJisKanji(data))
                return failed(QStringLiteral("QR Code Kanji data is pairs of Shift JIS bytes, 8140 to 9FFC and E040 "
                                             "to EAA4"));
            kanji = true;
        } else {
            return failed(QStringLiteral("with iM the data of a QR Code starts with N, A or B"));
        }
    }
    const int module = field.module ? field.module : 3;
    if (field.model == 1) {
        const QrModel1Symbol made = makeQrModel1(QrModel1Input{data, field.errorLevel >= 0 ? field.errorLevel : 1,
                                                               kanji, field.symbolCount > 1 ? field.symbolIndex : 0,
                                                               field.symbolCount, std::max(field.parity, 0)});
        if (!made.error.isEmpty())
            return failed(made.error);
        MatrixCode code;
        code.columns = code.rows = made.size;
        code.dark = made.dark;
        code.moduleWidth = code.moduleHeight = module;
        return code;
    }
    Symbol symbol = newSymbol(BARCODE_QRCODE);
    symbol->option_1 = (field.errorLevel >= 0 ? field.errorLevel : 1) + 1;
    if (kanji)
        symbol->option_3 = ZINT_FULL_MULTIBYTE; // the byte pairs go into Kanji mode, 13 bits each
    if (field.symbolCount > 1) {
        symbol->structapp.index = field.symbolIndex;
        symbol->structapp.count = field.symbolCount;
        if (field.parity >= 0)
            std::snprintf(symbol->structapp.id, sizeof symbol->structapp.id, "%d", field.parity);
    }
    const QString why = encode(*symbol, data);
    if (!why.isEmpty())
        return failed(why);
    return modulesOf(*symbol, module, module);
}

// The largest module width (and then the most columns) whose symbol fits the most dots across and along.
MatrixCode pdf417(const MatrixField& given, const QByteArray& data)
{
    // Turned a quarter, the symbol's rows run along the label: the most dots across and along trade places.
    MatrixField field = given;
    if (field.rotation % 2 == 1)
        std::swap(field.maxWidth, field.maxHeight);
    const int widest = field.module ? field.module : 6;
    const int narrowest = field.module ? field.module : 2;
    const int overhead = field.truncated ? 35 : 69; // start, stop and row indicators, in modules
    QString why = QStringLiteral("the data does not fit in %1 by %2 dots").arg(field.maxWidth).arg(field.maxHeight);
    for (int module = widest; module >= narrowest; --module) {
        const int rowHeight = field.rowHeight ? field.rowHeight : 4 * module;
        const int columns = std::min(field.columns ? field.columns : 30, (field.maxWidth / module - overhead) / 17);
        if (columns < 1)
            continue;
        Symbol symbol = newSymbol(field.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417);
        symbol->option_1 = field.errorLevel;
        symbol->option_2 = columns;
        const QString refused = encode(*symbol, data);
        if (!refused.isEmpty()) {
            if (refused.contains(QLatin1String("too long"), Qt::CaseInsensitive) ||
                refused.contains(QLatin1String("Input")))
                why = refused;
            continue;
        }
        if (symbol->width * module > field.maxWidth || symbol->rows * rowHeight > field.maxHeight)
            continue;
        if (field.rows && symbol->rows > field.rows)
            continue;
        return modulesOf(*symbol, module, rowHeight);
    }
    return failed(why);
}

// The primary message of MaxiCode modes 2 and 3 and the message after it.
struct MaxiPrimary
{
    QByteArray postal;
    QByteArray country;
    QByteArray serviceClass;
    QByteArray message;
};

// "class,country,postal code[,ZIP+4],message", or the AIM format "[)>RS01GSyy" followed by postal code, country
// and class, each ended by GS, and the rest of the message. Empty, with `why`, when the data is neither.
std::optional<MaxiPrimary> maxiPrimary(const QByteArray& data, int mode, QString* why)
{
    MaxiPrimary primary;
    const QByteArray aimHeader("[)>\x1e"
                               "01\x1d");
    if (data.startsWith(aimHeader) && data.size() >= 9 && allDigits(data.mid(7, 2))) {
        QList<QByteArray> fields;
        qsizetype start = 9;
        for (int i = 0; i < 3; ++i) {
            const qsizetype separator = data.indexOf('\x1d', start);
            if (separator < 0) {
                *why = QStringLiteral("a MaxiCode in the AIM format has its postal code, country and class each "
                                      "ended by GS");
                return std::nullopt;
            }
            fields << data.mid(start, separator - start);
            start = separator + 1;
        }
        primary.postal = fields[0];
        primary.country = fields[1];
        primary.serviceClass = fields[2];
        // The header stays in the message: a reader puts the primary message back after it.
        primary.message = data.left(9) + data.mid(start);
    } else {
        QList<QByteArray> fields;
        qsizetype start = 0;
        for (int i = 0; i < 3; ++i) {
            const qsizetype comma = data.indexOf(',', start);
            if (comma < 0) {
                *why = QStringLiteral("MaxiCode modes 2 and 3 take class, country, postal code and message");
                return std::nullopt;
            }
            fields << data.mid(start, comma - start);
            start = comma + 1;
        }
        primary.serviceClass = fields[0];
        primary.country = fields[1];
        primary.postal = fields[2];
        primary.message = data.mid(start);
        // A US ZIP code of 5 digits followed by its ZIP+4 of 4 digits as a field of its own: one postal code of
        // 9 digits.
        const qsizetype plusEnd = primary.message.indexOf(',');
        const QByteArray plus = plusEnd < 0 ? primary.message : primary.message.left(plusEnd);
        if (mode != 3 && primary.postal.size() == 5 && allDigits(primary.postal) && plus.size() == 4 &&
            allDigits(plus)) {
            primary.postal += plus;
            primary.message = plusEnd < 0 ? QByteArray() : primary.message.mid(plusEnd + 1);
        }
    }
    if (primary.serviceClass.size() != 3 || !allDigits(primary.serviceClass) || primary.country.size() != 3 ||
        !allDigits(primary.country)) {
        *why = QStringLiteral("the class and the country of a MaxiCode are 3 digits each");
        return std::nullopt;
    }
    return primary;
}

MatrixCode maxiCode(const MatrixField& field, const QByteArray& data)
{
    Symbol symbol = newSymbol(BARCODE_MAXICODE);
    QByteArray message = data;
    int mode = field.mode;
    if (mode == 0 || mode == 2 || mode == 3) {
        QString why;
        const std::optional<MaxiPrimary> primary = maxiPrimary(data, mode, &why);
        if (!primary)
            return failed(why);
        message = primary->message;
        QByteArray postal = primary->postal;
        if (mode == 0)
            mode = !postal.isEmpty() && allDigits(postal) ? 2 : 3;
        if (mode == 2) {
            if (!allDigits(postal) || postal.isEmpty() || postal.size() > 9)
                return failed(QStringLiteral("a MaxiCode mode 2 postal code is 1 to 9 digits"));
            postal = postal.leftJustified(9, '0');
        } else {
            postal = postal.left(6);
        }
        const QByteArray text = postal + primary->country + primary->serviceClass;
        std::copy(text.begin(), text.end(), symbol->primary);
        symbol->primary[text.size()] = '\0';
    }
    symbol->option_1 = mode;
    if (field.symbolCount > 1) {
        symbol->structapp.index = field.symbolIndex;
        symbol->structapp.count = field.symbolCount;
    }
    if (message.isEmpty())
        message = " "; // zint wants a message; the printer's is blank
    const QString why = encode(*symbol, message);
    if (!why.isEmpty())
        return failed(why);
    // A MaxiCode is about 1.1 inch across: modules 7 dots wide in rows 6 dots apart at 203 dots per inch.
    MatrixCode code = modulesOf(*symbol, 7, 6);
    code.hexagonal = true;
    return code;
}

// Aztec: e0 is 23% and 3 check words; e1 to e99 at least that share of check words, in libzint's levels of 10, 23,
// 36 and 50% (above 50, 50); e101 to e104 a compact symbol of 1 to 4 layers, e201 to e232 a full one of 1 to 32;
// e300 a rune, a number from 0 to 255. With f an ECI at the start of the data (ESC, n from 1 to 6, n digits)
// chooses the character set the data is read in.
MatrixCode aztec(const MatrixField& field, QByteArray data)
{
    const int e = std::max(field.errorLevel, 0);
    Symbol symbol = newSymbol(e == 300 ? BARCODE_AZRUNE : BARCODE_AZTEC);
    if (e == 300) {
        if (!allDigits(data) || data.size() > 3 || data.toInt() > 255)
            return failed(QStringLiteral("an Aztec rune (e300) is a number from 0 to 255"));
        if (field.menu)
            return failed(QStringLiteral("an Aztec rune (e300) cannot be a menu symbol (m)"));
    } else if (e > 200) {
        symbol->option_2 = e - 200 + 4;
    } else if (e > 100) {
        symbol->option_2 = e - 100;
    } else if (e > 0) {
        symbol->option_1 = e <= 10 ? 1 : e <= 23 ? 2 : e <= 36 ? 3 : 4;
    }
    if (field.menu)
        symbol->output_options |= READER_INIT;
    if (field.flags && data.contains('\x1b')) {
        const int digits = data.size() >= 2 ? data.at(1) - '0' : 0;
        const QByteArray eci = data.mid(2, digits);
        if (data.at(0) != '\x1b' || digits < 1 || digits > 6 || eci.size() != digits || !allDigits(eci) ||
            data.indexOf('\x1b', 1) >= 0)
            return failed(QStringLiteral("with f an ESC is drawn only as an ECI at the start of the data: ESC, n "
                                         "from 1 to 6 and n digits"));
        symbol->eci = eci.toInt();
        data.remove(0, 2 + digits);
    }
    const QString why = encode(*symbol, data);
    if (!why.isEmpty())
        return failed(why);
    const int module = field.module ? field.module : 3;
    MatrixCode code = modulesOf(*symbol, module, module);
    code.quietModules = field.inverse ? 1 : 0; // white on black inside a dark margin a reader finds the edge of
    return code;
}

// The part of the height a postal bar covers, from the rows of the symbol it is in: Postnet and Planet have
// full bars and bars of 2/5 of the height on the baseline; Japanese Postnet bars have a middle third and reach
// to the top, the bottom or both.
std::pair<int, int> postalSpan(const zint_symbol& symbol, int column)
{
    const int twoRows[] = {0, 9, 15};
    const int threeRows[] = {0, 5, 10, 15};
    const int* edges = symbol.rows == 3 ? threeRows : twoRows;
    int top = -1;
    int bottom = 0;
    for (int row = 0; row < std::min(symbol.rows, 3); ++row) {
        if (moduleSet(symbol, row, column)) {
            top = top < 0 ? edges[row] : top;
            bottom = edges[row + 1];
        }
    }
    return {std::max(top, 0), bottom};
}

// Every row of a stacked symbol as zint lays it out, the separator pattern between its rows included: the rows
// share the bar code's height in the proportions of zint's row heights.
LinearCode stackedRows(const zint_symbol& symbol, const BarcodeField& field, LinearCode code)
{
    float total = 0;
    for (int row = 0; row < symbol.rows; ++row)
        total += symbol.row_height[row];
    if (total <= 0) {
        code.error = QStringLiteral("the data cannot be encoded");
        return code;
    }
    float above = 0;
    for (int row = 0; row < symbol.rows; ++row) {
        QByteArray modules(symbol.width, '\0');
        for (int column = 0; column < symbol.width; ++column)
            modules[column] = moduleSet(symbol, row, column) ? 1 : 0;
        const int top = int(field.height * above / total + 0.5f);
        above += symbol.row_height[row];
        code.rows << modules;
        code.rowSpans << std::pair<int, int>(top, int(field.height * above / total + 0.5f));
    }
    code.elements = {symbol.width * field.narrow};
    for (const unsigned char* c = symbol.text; *c && code.readable.size() < 120; ++c)
        code.readable += char(*c);
    return code;
}

} // namespace

LinearCode encodeLinear(const BarcodeField& field, const QByteArray& data)
{
    LinearCode code;
    const QByteArray& type = field.symbology;
    // How zint is to encode it: set by the selections below, or by linearRecipe() for the rest.
    LinearRecipe r;
    r.input = data;
    r.inputMode = DATA_MODE;
    bool withAddOn = false;
    const auto digitsOf = [&](int count, int symbol) {
        if (!allDigits(data) || (data.size() != count && data.size() != count + 1)) {
            code.error = QStringLiteral("%1 takes %2 digits (the printer adds the check digit)")
                             .arg(QString::fromLatin1(type))
                             .arg(count);
            return;
        }
        r.input = data.left(count); // a check digit sent with the data is replaced by the computed one
        r.symbology = symbol;
    };
    if (type == "3" || type == "3C") {
        r.symbology = code39Standard(data) ? BARCODE_CODE39 : BARCODE_EXCODE39;
        r.option2 = type == "3C" ? 1 : 0;
        r.twoWidths = true;
    } else if (type == "9") {
        r.symbology = BARCODE_CODE93;
    } else if (type == "1" || type == "1A") {
        r.symbology = BARCODE_CODE128;
    } else if (type == "1B") {
        r.symbology = BARCODE_CODE128B;
    } else if (type == "1C") {
        if (!allDigits(data))
            code.error = QStringLiteral("1C (Code 128 set C) takes digits only");
        r.symbology = BARCODE_CODE128;
    } else if (type == "1E") {
        if (data.size() < 3 || !allDigits(QByteArrayView(data).first(2)) || data.contains('[') || data.contains(']'))
            code.error = QStringLiteral("1E (UCC/EAN-128) takes an application identifier of digits and its data");
        // The printer starts the symbol with FNC1 and encodes the data as it is.
        r.input = '[' + data.left(2) + ']' + data.mid(2);
        r.symbology = BARCODE_GS1_128;
        r.inputMode = GS1_MODE | GS1NOCHECK_MODE;
    } else if (type == "E30") {
        digitsOf(12, BARCODE_EANX);
    } else if (type == "E80") {
        digitsOf(7, BARCODE_EANX);
    } else if (type == "UA0") {
        digitsOf(11, BARCODE_UPCA);
    } else if (type == "UE0") {
        digitsOf(6, BARCODE_UPCE);
    } else if (type.size() == 3 && (type.endsWith('2') || type.endsWith('5')) &&
               (type.startsWith("E3") || type.startsWith("E8") || type.startsWith("UA") || type.startsWith("UE"))) {
        // The main digits as for E30, E80, UA0 and UE0 (a check digit among them replaced), then the add-on's.
        const int addOn = type.endsWith('2') ? 2 : 5;
        const int main = type.startsWith("E3") ? 12 : type.startsWith("E8") ? 7 : type.startsWith("UA") ? 11 : 6;
        if (!allDigits(data) || (data.size() != main + addOn && data.size() != main + 1 + addOn)) {
            code.error = QStringLiteral("%1 takes %2 digits (the printer adds the check digit) and the %3 of its "
                                        "add-on")
                             .arg(QString::fromLatin1(type))
                             .arg(main)
                             .arg(addOn);
        }
        r.input = data.left(main) + '+' + data.right(addOn);
        withAddOn = true;
        r.symbology = type.startsWith('E') ? BARCODE_EANX : type.startsWith("UA") ? BARCODE_UPCA : BARCODE_UPCE;
    } else if (type == "2" || type == "2C") {
        if (!allDigits(data))
            code.error = QStringLiteral("Interleaved 2 of 5 takes digits only");
        r.symbology = BARCODE_C25INTER;
        r.option2 = type == "2C" ? 2 : 0; // 2C encodes its check digit without printing it (2D prints it)
        r.twoWidths = true;
    } else if (type == "K") {
        r.symbology = BARCODE_CODABAR;
        r.twoWidths = true;
    } else if (LinearRecipe recipe = linearRecipe(type, data); recipe.known) {
        code.error = recipe.error;
        r = std::move(recipe);
    } else {
        code.error = QStringLiteral("bar code type %1 is not drawn").arg(QString::fromLatin1(type.left(8)));
    }
    if (!code.error.isEmpty())
        return code;

    Symbol symbol = newSymbol(r.symbology);
    if (!symbol) {
        code.error = QStringLiteral("out of memory");
        return code;
    }
    symbol->option_2 = r.option2;
    symbol->input_mode = r.inputMode;
    code.error = encode(*symbol, r.input);
    if (!code.error.isEmpty())
        return code;

    if (r.stacked)
        return stackedRows(*symbol, field, code);

    // Runs of modules across the symbol: bars and spaces alternate, a bar first (a guard space before the first
    // bar, as DataBar has, is quiet zone). A postal code's bars lie in different rows: a column with any is a bar.
    const auto barAt = [&](int column) {
        for (int row = 0; row < (r.postal ? symbol->rows : 1); ++row) {
            if (moduleSet(*symbol, row, column))
                return true;
        }
        return false;
    };
    int run = 0;
    bool dark = true;
    int first = 0;
    while (first < symbol->width && !barAt(first))
        ++first;
    for (int column = first; column <= symbol->width; ++column) {
        const bool set = column < symbol->width && barAt(column);
        if (column < symbol->width && set == dark) {
            ++run;
            continue;
        }
        if (run > 0 || !code.elements.isEmpty()) {
            const int dots = r.twoWidths ? (run > 1 ? field.wide : field.narrow)
                             : r.postal  ? (dark ? field.narrow : field.wide)
                                         : run * field.narrow;
            if (r.postal && dark)
                code.spans << postalSpan(*symbol, column - 1);
            code.elements << dots;
        }
        dark = !dark;
        run = 1;
    }
    if (code.elements.size() % 2 == 0 && !code.elements.isEmpty())
        code.elements.removeLast(); // a symbol ends with its last bar; trailing space is quiet zone
    for (const unsigned char* c = symbol->text; *c && code.readable.size() < 120; ++c)
        code.readable += char(*c);
    if (withAddOn)
        code.readable.replace('+', ' '); // the add-on's digits stand apart, with no sign between
    return code;
}

MatrixCode encodeMatrix(const MatrixField& field, const QByteArray& data)
{
    if (data.isEmpty())
        return failed(QStringLiteral("there is no data to encode"));
    switch (field.type) {
    case 'D':
        return dataMatrix(field, data);
    case 'P':
        return pdf417(field, data);
    case 'M':
        return maxiCode(field, data);
    case 'A':
        return aztec(field, data);
    default:
        break;
    }
    return qrCode(field, data);
}
