#include "support/qr_model1_reader.h"

#include <array>
#include <vector>

namespace {

// Error correction of each version (1 to 14) and level (L, M, Q, H): correction codewords per block, blocks,
// data codewords per block, as scanners that read model 1 list them. Codewords past the blocks are unused.
constexpr int kBlocks[14][4][3] = {
    {{7, 1, 19}, {10, 1, 16}, {13, 1, 13}, {17, 1, 9}},    {{10, 1, 36}, {16, 1, 30}, {22, 1, 24}, {30, 1, 16}},
    {{15, 1, 57}, {28, 1, 44}, {36, 1, 36}, {48, 1, 24}},  {{20, 1, 80}, {40, 1, 60}, {50, 1, 50}, {66, 1, 34}},
    {{26, 1, 108}, {52, 1, 82}, {66, 1, 68}, {44, 2, 23}}, {{34, 1, 136}, {32, 2, 53}, {42, 2, 43}, {56, 2, 29}},
    {{42, 1, 170}, {40, 2, 66}, {52, 2, 54}, {46, 3, 24}}, {{24, 2, 104}, {48, 2, 80}, {64, 2, 64}, {56, 3, 29}},
    {{30, 2, 123}, {60, 2, 93}, {50, 3, 52}, {68, 3, 34}}, {{34, 2, 145}, {68, 2, 111}, {58, 3, 61}, {58, 4, 31}},
    {{40, 2, 168}, {40, 4, 64}, {52, 4, 52}, {54, 5, 29}}, {{46, 2, 192}, {46, 4, 73}, {58, 4, 61}, {62, 5, 33}},
    {{36, 3, 144}, {52, 4, 83}, {66, 4, 69}, {58, 6, 32}}, {{40, 3, 163}, {60, 4, 92}, {60, 5, 62}, {66, 6, 35}}};

bool maskBit(int mask, int x, int y)
{
    const int product = x * y;
    switch (mask) {
    case 0:
        return (x + y) % 2 == 0;
    case 1:
        return y % 2 == 0;
    case 2:
        return x % 3 == 0;
    case 3:
        return (x + y) % 3 == 0;
    case 4:
        return (y / 2 + x / 3) % 2 == 0;
    case 5:
        return product % 6 == 0;
    case 6:
        return product % 6 < 3;
    default:
        return (x + y + product % 3) % 2 == 0;
    }
}

struct Grid
{
    QList<QByteArray> rows;
    int n = 0;
    bool at(int x, int y) const { return rows[y][x] == '#' || rows[y][x] == '1'; }
};

// Where a codeword of model 1 lies: its bottom right module and its width (2: 2 by 4 modules, 4: 4 by 2); and
// where extension patterns lie instead (the slots skipped).
struct Slot
{
    int x, y, width;
    bool extension;
};

std::vector<Slot> codewordSlots(int n)
{
    std::vector<Slot> out;
    const int columns = n / 4 + 3;
    for (int j = 0; j < columns; ++j) {
        if (j <= 1) {
            const int count = (n - 8) / 4;
            for (int i = 0; i < count; ++i)
                out.push_back({n - 1 - 2 * j, n - 1 - 4 * i, 2, j == 0 && i % 2 == 0 && i > 0 && i < count - 1});
        } else if (columns - j <= 4) {
            for (int i = 0; i < (n - 16) / 4; ++i)
                out.push_back({(columns - j - 1) * 2 + 1 + (columns - j == 4 ? 1 : 0), n - 9 - 4 * i, 2, false});
        } else {
            const int count = n / 2;
            for (int i = 0; i < count; ++i) {
                if (j == 2 && i >= count - 4)
                    continue;
                out.push_back({n - 5 - (j - 2) * 4, n - 1 - 2 * i - (i >= count - 3 ? 1 : 0), 4,
                               i == 0 && j % 2 == 1 && j + 1 != columns - 4});
            }
        }
    }
    return out;
}

int bch(int data)
{
    int rest = data << 10;
    for (int i = 14; i >= 10; --i) {
        if (rest & (1 << i))
            rest ^= 0x537 << (i - 10);
    }
    return (data << 10) | rest;
}

QString functionPatternsError(const Grid& g)
{
    const int n = g.n;
    for (const auto& [left, top] : {std::pair{0, 0}, {n - 7, 0}, {0, n - 7}}) {
        for (int y = -1; y <= 7; ++y) {
            for (int x = -1; x <= 7; ++x) {
                if (left + x < 0 || left + x >= n || top + y < 0 || top + y >= n)
                    continue;
                const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                if (g.at(left + x, top + y) != (ring != 2 && ring < 4))
                    return QStringLiteral("finder pattern or separator at %1,%2").arg(left).arg(top);
            }
        }
    }
    for (int i = 8; i < n - 8; ++i) {
        if (g.at(i, 6) != (i % 2 == 0) || g.at(6, i) != (i % 2 == 0))
            return QStringLiteral("timing pattern at %1").arg(i);
    }
    if (!g.at(8, n - 8))
        return QStringLiteral("the dark module");
    if (!g.at(n - 1, n - 1) || g.at(n - 2, n - 1) || g.at(n - 1, n - 2) || g.at(n - 2, n - 2))
        return QStringLiteral("the corner");
    for (const Slot& s : codewordSlots(n)) {
        for (int b = 0; s.extension && b < 8; ++b) {
            const int x = s.x - b % s.width;
            const int y = s.y - b / s.width;
            if (g.at(x, y) != (s.width == 2 ? x == n - 1 : y == n - 1))
                return QStringLiteral("extension pattern at %1,%2").arg(x).arg(y);
        }
    }
    return QString();
}

struct BitReader
{
    const QByteArray& bytes;
    int at = 0;
    int left() const { return int(bytes.size()) * 8 - at; }
    int take(int count)
    {
        int value = 0;
        for (int i = 0; i < count; ++i, ++at)
            value = value << 1 | ((uchar(bytes[at / 8]) >> (7 - at % 8)) & 1);
        return value;
    }
};

QString decodeSegments(const QByteArray& bytes, QrModel1Read& r)
{
    static const char alphanumeric[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    BitReader bits{bytes};
    if (bits.take(4) != 0)
        return QStringLiteral("the data does not start with four 0 bits");
    const bool large = r.version >= 10;
    while (bits.left() >= 4) {
        const int mode = bits.take(4);
        if (mode == 0)
            break;
        if (mode == 3) {
            if (bits.left() < 16)
                return QStringLiteral("structured append cut short");
            r.symbolIndex = bits.take(4) + 1;
            r.symbolCount = bits.take(4) + 1;
            r.parity = bits.take(8);
            continue;
        }
        const int countBits = mode == 1   ? (large ? 12 : 10)
                              : mode == 2 ? (large ? 11 : 9)
                              : mode == 4 ? (large ? 16 : 8)
                              : mode == 8 ? (large ? 10 : 8)
                                          : 0;
        if (countBits == 0 || bits.left() < countBits)
            return QStringLiteral("mode %1 is not one of model 1").arg(mode);
        int count = bits.take(countBits);
        const auto need = [&](int n) { return bits.left() >= n; };
        while (count > 0) {
            if (mode == 1) {
                const int digits = std::min(count, 3);
                const int width = digits == 3 ? 10 : digits == 2 ? 7 : 4;
                if (!need(width))
                    return QStringLiteral("numeric segment cut short");
                const int value = bits.take(width);
                if (value >= (digits == 3 ? 1000 : digits == 2 ? 100 : 10))
                    return QStringLiteral("numeric group out of range");
                r.data += QByteArray::number(value).rightJustified(digits, '0');
                count -= digits;
            } else if (mode == 2) {
                const bool pair = count >= 2;
                if (!need(pair ? 11 : 6))
                    return QStringLiteral("alphanumeric segment cut short");
                const int value = bits.take(pair ? 11 : 6);
                if (value >= (pair ? 45 * 45 : 45))
                    return QStringLiteral("alphanumeric value out of range");
                if (pair)
                    r.data += alphanumeric[value / 45];
                r.data += alphanumeric[value % 45];
                count -= pair ? 2 : 1;
            } else if (mode == 4) {
                if (!need(8))
                    return QStringLiteral("byte segment cut short");
                r.data += char(bits.take(8));
                --count;
            } else {
                if (!need(13))
                    return QStringLiteral("Kanji segment cut short");
                const int value = bits.take(13);
                const int pair = (value / 0xC0) << 8 | (value % 0xC0);
                const int sjis = pair + (pair + 0x8140 <= 0x9FFC ? 0x8140 : 0xC140);
                r.data += char(sjis >> 8);
                r.data += char(sjis & 0xFF);
                --count;
            }
        }
    }
    return QString();
}

// Galois field of 256 elements modulo x^8 + x^4 + x^3 + x^2 + 1.
int gfTimes(int a, int b)
{
    int product = 0;
    for (; b; b >>= 1, a = (a << 1) ^ (a & 0x80 ? 0x11D : 0)) {
        if (b & 1)
            product ^= a;
    }
    return product & 0xFF;
}

// Whether every syndrome of a block (data then correction codewords) is 0: c(a^j) = 0 for j below `ec`.
bool syndromesZero(const std::vector<int>& block, int ec)
{
    int alpha = 1;
    for (int j = 0; j < ec; ++j) {
        int value = 0;
        for (const int c : block)
            value = gfTimes(value, alpha) ^ c;
        if (value != 0)
            return false;
        alpha = gfTimes(alpha, 2);
    }
    return true;
}

} // namespace

QrModel1Read readQrModel1(const QList<QByteArray>& rows)
{
    QrModel1Read r;
    Grid g{rows, int(rows.size())};
    if (g.n < 21 || g.n > 73 || g.n % 4 != 1) {
        r.error = QStringLiteral("%1 modules is no model 1 size").arg(g.n);
        return r;
    }
    for (const QByteArray& row : rows) {
        if (row.size() != g.n) {
            r.error = QStringLiteral("the symbol is not square");
            return r;
        }
    }
    r.version = (g.n - 17) / 4;
    r.error = functionPatternsError(g);
    if (!r.error.isEmpty())
        return r;

    // Both copies of the format information, read as scanners read them, must be one valid word.
    const int n = g.n;
    int first = 0;
    int second = 0;
    for (const auto& [x, y] : {std::pair{0, 8},
                               {1, 8},
                               {2, 8},
                               {3, 8},
                               {4, 8},
                               {5, 8},
                               {7, 8},
                               {8, 8},
                               {8, 7},
                               {8, 5},
                               {8, 4},
                               {8, 3},
                               {8, 2},
                               {8, 1},
                               {8, 0}})
        first = first << 1 | int(g.at(x, y));
    for (int y = n - 1; y >= n - 7; --y)
        second = second << 1 | int(g.at(8, y));
    for (int x = n - 8; x < n; ++x)
        second = second << 1 | int(g.at(x, 8));
    for (int data = 0; data < 32 && r.mask < 0; ++data) {
        if ((bch(data) ^ 0x2825) == first && first == second) {
            r.mask = data & 7;
            r.level = std::array{1, 0, 3, 2}[size_t(data >> 3)];
        }
    }
    if (r.mask < 0) {
        r.error = QStringLiteral("no model 1 format information");
        return r;
    }

    std::vector<int> codewords;
    for (const Slot& s : codewordSlots(n)) {
        if (s.extension)
            continue;
        int value = 0;
        for (int b = 0; b < 8; ++b) {
            const int x = s.x - b % s.width;
            const int y = s.y - b / s.width;
            value = value << 1 | int(g.at(x, y) != maskBit(r.mask, x, y));
        }
        codewords.push_back(value);
    }
    codewords[0] &= 0x0F; // the corner's four modules are no data
    const auto& [ec, blockCount, dataPerBlock] = kBlocks[r.version - 1][r.level];
    if (int(codewords.size()) < blockCount * (ec + dataPerBlock)) {
        r.error = QStringLiteral("%1 codewords are too few").arg(codewords.size());
        return r;
    }
    // Blocks interleaved codeword by codeword: data first, then correction.
    QByteArray data;
    std::vector<std::vector<int>> blocks(static_cast<size_t>(blockCount));
    for (int i = 0; i < dataPerBlock + ec; ++i) {
        for (int b = 0; b < blockCount; ++b)
            blocks[size_t(b)].push_back(codewords[size_t(i * blockCount + b)]);
    }
    for (int b = 0; b < blockCount; ++b) {
        if (!syndromesZero(blocks[size_t(b)], ec)) {
            r.error = QStringLiteral("block %1 fails its error correction check").arg(b + 1);
            return r;
        }
    }
    for (int b = 0; b < blockCount; ++b) {
        for (int i = 0; i < dataPerBlock; ++i)
            data += char(blocks[size_t(b)][size_t(i)]);
    }
    r.error = decodeSegments(data, r);
    return r;
}

QList<QByteArray> qrModel1Modules(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const auto dark = [&](int x, int y) { return grey.constScanLine(y)[x] < 128; };
    int left = grey.width();
    int top = grey.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            if (dark(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    int run = 0; // the top edge of the top left finder pattern: 7 modules
    while (left + run <= right && dark(left + run, top))
        ++run;
    const int module = run / 7;
    if (module < 1 || run % 7 != 0 || (right - left + 1) % module != 0 || right - left != bottom - top)
        return {};
    const int n = (right - left + 1) / module;
    QList<QByteArray> rows;
    for (int y = 0; y < n; ++y) {
        QByteArray row;
        for (int x = 0; x < n; ++x)
            row += dark(left + x * module + module / 2, top + y * module + module / 2) ? '#' : '.';
        rows << row;
    }
    return rows;
}
