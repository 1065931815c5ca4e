#include "render/qr_model1.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Error correction of each version (1 to 14) and level (L, M, Q, H): blocks, data codewords and correction
// codewords of each block. All blocks of a symbol are alike; codewords past them are left unused (0).
struct Blocks
{
    int count, data, check;
};
constexpr Blocks kBlocks[14][4] = {
    {{1, 19, 7}, {1, 16, 10}, {1, 13, 13}, {1, 9, 17}},    {{1, 36, 10}, {1, 30, 16}, {1, 24, 22}, {1, 16, 30}},
    {{1, 57, 15}, {1, 44, 28}, {1, 36, 36}, {1, 24, 48}},  {{1, 80, 20}, {1, 60, 40}, {1, 50, 50}, {1, 34, 66}},
    {{1, 108, 26}, {1, 82, 52}, {1, 68, 66}, {2, 23, 44}}, {{1, 136, 34}, {2, 53, 32}, {2, 43, 42}, {2, 29, 56}},
    {{1, 170, 42}, {2, 66, 40}, {2, 54, 52}, {3, 24, 46}}, {{2, 104, 24}, {2, 80, 48}, {2, 64, 64}, {3, 29, 56}},
    {{2, 123, 30}, {2, 93, 60}, {3, 52, 50}, {3, 34, 68}}, {{2, 145, 34}, {2, 111, 68}, {3, 61, 58}, {4, 31, 58}},
    {{2, 168, 40}, {4, 64, 40}, {4, 52, 52}, {5, 29, 54}}, {{2, 192, 46}, {4, 73, 46}, {4, 61, 58}, {5, 33, 62}},
    {{3, 144, 36}, {4, 83, 52}, {4, 69, 66}, {6, 32, 58}}, {{3, 163, 40}, {4, 92, 60}, {5, 62, 60}, {6, 35, 66}}};

constexpr char kAlphanumeric[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";

struct Bits
{
    std::vector<bool> bits;
    void add(int value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            bits.push_back(((value >> i) & 1) != 0);
    }
};

// The mode of the whole data and its indicator: numeric, alphanumeric or bytes, whichever takes every character.
enum class Mode { Numeric = 1, Alphanumeric = 2, Bytes = 4, Kanji = 8 };

Mode modeOf(const QByteArray& data, bool kanji)
{
    if (kanji)
        return Mode::Kanji;
    if (std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Mode::Numeric;
    if (std::all_of(data.begin(), data.end(), [](char c) { return c != '\0' && std::strchr(kAlphanumeric, c); }))
        return Mode::Alphanumeric;
    return Mode::Bytes;
}

// Bits of the character count: versions 1 to 9, then 10 to 14.
int countBits(Mode mode, int version)
{
    const bool large = version >= 10;
    switch (mode) {
    case Mode::Numeric:
        return large ? 12 : 10;
    case Mode::Alphanumeric:
        return large ? 11 : 9;
    case Mode::Bytes:
        return large ? 16 : 8;
    case Mode::Kanji:
        break;
    }
    return large ? 10 : 8;
}

// The data's bits: four 0 bits (the symbol's bottom right corner), structured append, the one segment.
Bits dataBits(const QrModel1Input& in, Mode mode, int version)
{
    Bits out;
    out.add(0, 4);
    if (in.symbolCount > 1) {
        out.add(3, 4);
        out.add(in.symbolIndex - 1, 4);
        out.add(in.symbolCount - 1, 4);
        out.add(in.parity & 0xFF, 8);
    }
    const QByteArray& d = in.data;
    const qsizetype characters = mode == Mode::Kanji ? d.size() / 2 : d.size();
    out.add(int(mode), 4);
    out.add(int(characters), countBits(mode, version));
    for (qsizetype i = 0; i < d.size();) {
        if (mode == Mode::Numeric) {
            const qsizetype n = std::min<qsizetype>(3, d.size() - i);
            out.add(d.mid(i, n).toInt(), n == 3 ? 10 : (n == 2 ? 7 : 4));
            i += n;
        } else if (mode == Mode::Alphanumeric) {
            const int first = int(std::strchr(kAlphanumeric, d[i]) - kAlphanumeric);
            if (i + 1 < d.size())
                out.add(first * 45 + int(std::strchr(kAlphanumeric, d[i + 1]) - kAlphanumeric), 11);
            else
                out.add(first, 6);
            i += 2;
        } else if (mode == Mode::Kanji) {
            const int pair = (uchar(d[i]) << 8 | uchar(d[i + 1])) - (uchar(d[i]) < 0xE0 ? 0x8140 : 0xC140);
            out.add((pair >> 8) * 0xC0 + (pair & 0xFF), 13);
            i += 2;
        } else {
            out.add(uchar(d[i++]), 8);
        }
    }
    return out;
}

// Arithmetic in the field of 256 elements of x^8 + x^4 + x^3 + x^2 + 1.
struct Field
{
    std::array<int, 512> exp{};
    std::array<int, 256> log{};
    Field()
    {
        int x = 1;
        for (int i = 0; i < 255; ++i) {
            exp[i] = x;
            log[x] = i;
            x = (x << 1) ^ (x & 0x80 ? 0x11D : 0);
        }
        for (int i = 255; i < 512; ++i)
            exp[i] = exp[i - 255];
    }
    int times(int a, int b) const { return a && b ? exp[log[a] + log[b]] : 0; }
};

// The error correction codewords of `data`: the remainder of data(x) x^n divided by (x - 1)(x - a)...(x - a^(n-1)).
std::vector<int> correction(const std::vector<int>& data, int n)
{
    static const Field field;
    std::vector<int> generator{1};
    for (int i = 0; i < n; ++i) {
        std::vector<int> next(generator.size() + 1, 0);
        for (size_t j = 0; j < generator.size(); ++j) {
            next[j] ^= generator[j];
            next[j + 1] ^= field.times(generator[j], field.exp[i]);
        }
        generator = next;
    }
    std::vector<int> rest(size_t(n), 0);
    for (const int codeword : data) {
        const int factor = codeword ^ rest.front();
        rest.erase(rest.begin());
        rest.push_back(0);
        for (int j = 0; j < n; ++j)
            rest[size_t(j)] ^= field.times(generator[size_t(j) + 1], factor);
    }
    return rest;
}

bool masked(int mask, int x, int y)
{
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
        return (x * y) % 2 + (x * y) % 3 == 0;
    case 6:
        return ((x * y) % 2 + (x * y) % 3) % 2 == 0;
    default:
        break;
    }
    return ((x + y) % 2 + (x * y) % 3) % 2 == 0;
}

struct Matrix
{
    int size;
    std::vector<char> dark;
    std::vector<char> fixed; // function patterns, which carry no data
    explicit Matrix(int n) : size(n), dark(size_t(n * n), 0), fixed(size_t(n * n), 0) {}
    void set(int x, int y, bool isDark)
    {
        dark[size_t(y * size + x)] = isDark;
        fixed[size_t(y * size + x)] = 1;
    }
    bool isFixed(int x, int y) const { return fixed[size_t(y * size + x)] != 0; }
};

// Finder patterns with their separators, timing patterns, the corner, the extension patterns and the dark
// module; the format information's modules are reserved (light).
Matrix functionPatterns(int version)
{
    const int n = 17 + 4 * version;
    Matrix m(n);
    for (const auto& [left, top] : {std::pair{0, 0}, {n - 7, 0}, {0, n - 7}}) {
        for (int y = -1; y <= 7; ++y) {
            for (int x = -1; x <= 7; ++x) {
                if (left + x < 0 || left + x >= n || top + y < 0 || top + y >= n)
                    continue;
                const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
                m.set(left + x, top + y, ring != 2 && ring < 4);
            }
        }
    }
    for (int i = 0; i < 9; ++i) {
        m.set(8, i, false);
        m.set(i, 8, false);
        if (i < 8) {
            m.set(n - 1 - i, 8, false);
            m.set(8, n - 1 - i, false);
        }
    }
    for (int i = 8; i < n - 8; ++i) {
        m.set(i, 6, i % 2 == 0);
        m.set(6, i, i % 2 == 0);
    }
    m.set(8, n - 8, true);
    m.set(n - 1, n - 1, true);
    m.set(n - 2, n - 1, false);
    m.set(n - 1, n - 2, false);
    m.set(n - 2, n - 2, false);
    // Extension patterns: 4 modules long, dark on the edge and light inside, one pair every 8 modules.
    for (int i = 0; i < version / 2; ++i) {
        const int at = (version % 2 == 0 ? 13 : 17) + 8 * i;
        for (int k = 0; k < 4; ++k) {
            m.set(at + k, n - 1, true);
            m.set(at + k, n - 2, false);
            m.set(n - 1, at + k, true);
            m.set(n - 2, at + k, false);
        }
    }
    return m;
}

// The codewords' bits into the free modules, most significant first, from the right: column pairs, then columns
// of four between the finder patterns, then column pairs left of the vertical timing pattern; each from the
// bottom up, every row of it right to left. The first four bits (always 0) are the corner's.
void place(Matrix& m, const std::vector<int>& codewords, int mask)
{
    const int n = m.size;
    size_t bit = 4;
    const auto next = [&]() {
        const bool one = bit / 8 < codewords.size() && ((codewords[bit / 8] >> (7 - bit % 8)) & 1) != 0;
        ++bit;
        return one;
    };
    int x = n - 1;
    while (x >= 0) {
        const int width = x <= 8 || x >= n - 4 ? 2 : 4;
        for (int y = n - 1; y >= 0; --y) {
            for (int k = 0; k < width; ++k) {
                if (!m.isFixed(x - k, y))
                    m.dark[size_t(y * n + x - k)] = char(next() != masked(mask, x - k, y));
            }
        }
        x -= width;
        if (x == 6)
            x = 5;
    }
}

// Model 2's penalty rules: runs of 5 or more, 2 by 2 blocks, finder-like runs and the share of dark modules.
int penalty(const Matrix& m)
{
    const int n = m.size;
    int points = 0;
    int darkCount = 0;
    for (int line = 0; line < n; ++line) {
        for (const bool across : {true, false}) {
            const auto at = [&](int i) { return m.dark[size_t(across ? line * n + i : i * n + line)] != 0; };
            int run = 1;
            for (int i = 1; i <= n; ++i) {
                if (i < n && at(i) == at(i - 1)) {
                    ++run;
                    continue;
                }
                if (run >= 5)
                    points += run - 2;
                run = 1;
            }
            for (int i = 0; i + 7 <= n; ++i) {
                const bool core = at(i) && !at(i + 1) && at(i + 2) && at(i + 3) && at(i + 4) && !at(i + 5) && at(i + 6);
                const auto light = [&](int from) {
                    for (int k = from; k < from + 4; ++k) {
                        if (k >= 0 && k < n && at(k))
                            return false;
                    }
                    return true;
                };
                if (core && (light(i - 4) || light(i + 7)))
                    points += 40;
            }
        }
        for (int i = 0; i < n; ++i) {
            darkCount += m.dark[size_t(line * n + i)];
            if (line + 1 < n && i + 1 < n) {
                const int sum = m.dark[size_t(line * n + i)] + m.dark[size_t(line * n + i + 1)] +
                                m.dark[size_t((line + 1) * n + i)] + m.dark[size_t((line + 1) * n + i + 1)];
                if (sum == 0 || sum == 4)
                    points += 3;
            }
        }
    }
    return points + std::abs(darkCount * 20 / (n * n) - 10) * 10;
}

// The format information: level and mask with their 10 check bits, masked with model 1's pattern, in both places.
void putFormat(Matrix& m, int level, int mask)
{
    const int n = m.size;
    const int data = (QByteArrayView("\1\0\3\2", 4)[level] << 3) | mask;
    int rest = data << 10;
    for (int i = 14; i >= 10; --i) {
        if (rest & (1 << i))
            rest ^= 0x537 << (i - 10);
    }
    const int format = ((data << 10) | rest) ^ 0x2825;
    const std::array<std::pair<int, int>, 15> first = {{{0, 8},
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
                                                        {8, 0}}};
    for (int i = 0; i < 15; ++i) {
        const bool one = ((format >> (14 - i)) & 1) != 0;
        m.dark[size_t(first[size_t(i)].second * n + first[size_t(i)].first)] = one;
        const int x = i < 7 ? 8 : n - 15 + i;
        const int y = i < 7 ? n - 1 - i : 8;
        m.dark[size_t(y * n + x)] = one;
    }
}

QrModel1Symbol refused(const QString& why)
{
    QrModel1Symbol symbol;
    symbol.error = why;
    return symbol;
}

} // namespace

QrModel1Symbol makeQrModel1(const QrModel1Input& in)
{
    if (in.data.isEmpty())
        return refused(QStringLiteral("there is no data to encode"));
    if (in.level < 0 || in.level > 3 || in.mask < -1 || in.mask > 7 || (in.kanji && in.data.size() % 2 != 0) ||
        (in.symbolCount > 1 && (in.symbolIndex < 1 || in.symbolIndex > in.symbolCount || in.symbolCount > 16)))
        return refused(QStringLiteral("the options of a QR Code model 1 symbol are not valid"));
    const Mode mode = modeOf(in.data, in.kanji);
    const qsizetype characters = mode == Mode::Kanji ? in.data.size() / 2 : in.data.size();
    int version = 0;
    Bits bits;
    for (int v = 1; v <= 14 && !version; ++v) {
        if (characters >= qsizetype(1) << countBits(mode, v))
            continue;
        bits = dataBits(in, mode, v);
        const Blocks& b = kBlocks[v - 1][in.level];
        if (bits.bits.size() <= size_t(b.count * b.data) * 8)
            version = v;
    }
    if (!version)
        return refused(QStringLiteral("the data does not fit in a QR Code model 1 symbol (version 14 at most) at "
                                      "level %1")
                           .arg(QLatin1Char("LMQH"[in.level])));
    // The terminator (up to 4 bits), 0 bits to a whole codeword, then the pad codewords by turns.
    const Blocks& blocks = kBlocks[version - 1][in.level];
    const size_t capacity = size_t(blocks.count * blocks.data);
    bits.add(0, int(std::min<size_t>(4, capacity * 8 - bits.bits.size())));
    while (bits.bits.size() % 8 != 0)
        bits.add(0, 1);
    std::vector<int> data;
    for (size_t i = 0; i < bits.bits.size(); i += 8) {
        int value = 0;
        for (size_t k = 0; k < 8; ++k)
            value = value << 1 | int(bits.bits[i + k]);
        data.push_back(value);
    }
    for (int pad = 0; data.size() < capacity; pad ^= 1)
        data.push_back(pad ? 0x11 : 0xEC);
    // Each block's correction codewords; then the blocks interleaved, a codeword of each in turn: the data
    // codewords, then the correction codewords, as scanners of model 1 read them.
    std::vector<std::vector<int>> checks;
    for (int b = 0; b < blocks.count; ++b) {
        const auto from = data.begin() + b * blocks.data;
        checks.push_back(correction(std::vector<int>(from, from + blocks.data), blocks.check));
    }
    std::vector<int> codewords;
    for (int i = 0; i < blocks.data; ++i) {
        for (int b = 0; b < blocks.count; ++b)
            codewords.push_back(data[size_t(b * blocks.data + i)]);
    }
    for (int i = 0; i < blocks.check; ++i) {
        for (const std::vector<int>& check : checks)
            codewords.push_back(check[size_t(i)]);
    }

    const Matrix blank = functionPatterns(version);
    QrModel1Symbol best;
    int fewest = 0;
    for (int mask = 0; mask < 8; ++mask) {
        if (in.mask >= 0 && mask != in.mask)
            continue;
        Matrix m = blank;
        place(m, codewords, mask);
        putFormat(m, in.level, mask);
        const int points = in.mask >= 0 ? 0 : penalty(m);
        if (best.mask < 0 || points < fewest) {
            fewest = points;
            best.mask = mask;
            best.dark = QByteArray(m.dark.data(), qsizetype(m.dark.size()));
        }
    }
    best.size = blank.size;
    best.version = version;
    return best;
}
