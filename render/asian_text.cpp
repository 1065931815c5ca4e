#include "render/asian_text.h"

#include "render/message_words.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace {

struct Language
{
    AsianLanguage language;
    const char* name;
    const char* title;
    const char* charset; // glibc's iconv name
    int font8;           // dots of a whole cell of font 8, square; 0 when there is none
    int font9;           // and of font 9
};

// Korean and Japanese printers have two Asian fonts, Chinese ones one.
constexpr std::array<Language, 4> kLanguages = {{
    {AsianLanguage::Korean, "korean", "Korean", "EUC-KR", 16, 24},
    {AsianLanguage::Japanese, "japanese", "Japanese", "SHIFT_JIS", 16, 24},
    {AsianLanguage::SimplifiedChinese, "simplified-chinese", "Simplified Chinese", "GB2312", 24, 0},
    {AsianLanguage::TraditionalChinese, "traditional-chinese", "Traditional Chinese", "BIG5", 24, 0},
}};

const Language* find(AsianLanguage language)
{
    for (const Language& each : kLanguages) {
        if (each.language == language)
            return &each;
    }
    return nullptr;
}

bool within(uchar byte, int lowest, int highest)
{
    return byte >= lowest && byte <= highest;
}

// Whether `lead` starts a pair of bytes in the language, and `trail` may end it.
bool leadByte(AsianLanguage language, uchar lead)
{
    switch (language) {
    case AsianLanguage::Korean:
        return within(lead, 0xA1, 0xFE);
    case AsianLanguage::Japanese:
        return within(lead, 0x81, 0x9F) || within(lead, 0xE0, 0xFC);
    case AsianLanguage::SimplifiedChinese:
        return within(lead, 0xA1, 0xF7);
    case AsianLanguage::TraditionalChinese:
        return within(lead, 0x81, 0xFE);
    case AsianLanguage::None:
        break;
    }
    return false;
}

bool trailByte(AsianLanguage language, uchar trail)
{
    switch (language) {
    case AsianLanguage::Japanese:
        return within(trail, 0x40, 0x7E) || within(trail, 0x80, 0xFC);
    case AsianLanguage::TraditionalChinese:
        return within(trail, 0x40, 0x7E) || within(trail, 0xA1, 0xFE);
    default:
        break;
    }
    return within(trail, 0xA1, 0xFE);
}

// One character of 1 or 2 bytes through iconv; U+FFFD when the character set has none there.
class Converter
{
public:
    explicit Converter(const char* charset) : m_handle(iconv_open("UTF-16LE", charset)) {}
    ~Converter()
    {
        if (m_handle != iconv_t(-1))
            iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    char16_t convert(const char* bytes, size_t count)
    {
        if (m_handle == iconv_t(-1))
            return 0xFFFD;
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char in[2] = {bytes[0], count > 1 ? bytes[1] : '\0'};
        char out[8] = {};
        char* from = in;
        char* to = out;
        size_t left = count;
        size_t room = sizeof out;
        if (iconv(m_handle, &from, &left, &to, &room) == size_t(-1) || left != 0 || to - out != 2)
            return 0xFFFD;
        const char16_t unit = char16_t(uchar(out[0]) | uchar(out[1]) << 8);
        return unit >= 0xD800 && unit <= 0xDFFF ? char16_t(0xFFFD) : unit;
    }

private:
    iconv_t m_handle;
};

} // namespace

QString asianLanguageName(AsianLanguage language)
{
    const Language* found = find(language);
    return found ? QLatin1String(found->name) : QString();
}

std::optional<AsianLanguage> asianLanguageNamed(QStringView name)
{
    for (const Language& each : kLanguages) {
        if (name == QLatin1String(each.name))
            return each.language;
    }
    return std::nullopt;
}

QString asianLanguageTitle(AsianLanguage language)
{
    const Language* found = find(language);
    return found ? QLatin1String(found->title) : QString();
}

std::optional<QSize> asianCell(AsianLanguage language, int font)
{
    const Language* found = find(language);
    const int side = !found ? 0 : font == 8 ? found->font8 : font == 9 ? found->font9 : 0;
    if (side == 0)
        return std::nullopt;
    return QSize(side, side);
}

QString decodeAsian(AsianLanguage language, QByteArrayView data, QList<AsianCharacter>* characters)
{
    characters->clear();
    const Language* found = find(language);
    if (!found)
        return QStringLiteral("the printer has no Asian character set");
    Converter converter(found->charset);
    QString why;
    // `what` names the bytes as %1 and the language as %2.
    const auto refuse = [&](QByteArrayView bytes, const char* what) {
        if (why.isEmpty())
            why = QString::fromLatin1(what).arg(hexBytes(bytes), QLatin1String(found->title));
    };
    for (qsizetype i = 0; i < data.size(); ++i) {
        const uchar byte = uchar(data[i]);
        if (byte < 0x80) {
            characters->append({char16_t(byte), false});
            continue;
        }
        if (language == AsianLanguage::Japanese && within(byte, 0xA1, 0xDF)) { // half-width katakana
            characters->append({converter.convert(data.data() + i, 1), false});
            continue;
        }
        if (!leadByte(language, byte)) {
            refuse(data.sliced(i, 1), "byte %1 is no %2 character");
            characters->append({0xFFFD, false});
            continue;
        }
        if (i + 1 >= data.size()) {
            refuse(data.sliced(i, 1), "byte %1 at the end is half a %2 character");
            characters->append({0xFFFD, false});
            continue;
        }
        if (!trailByte(language, uchar(data[i + 1]))) {
            refuse(data.sliced(i, 2), "bytes %1 are no %2 character");
            characters->append({0xFFFD, false});
            continue;
        }
        const char16_t character = converter.convert(data.data() + i, 2);
        if (character == 0xFFFD)
            refuse(data.sliced(i, 2), "bytes %1 are no %2 character");
        characters->append({character, true});
        ++i;
    }
    return why;
}

QString asianFieldProblem(const TextField& field, AsianLanguage language)
{
    if (language == AsianLanguage::None)
        return QStringLiteral("fonts 8 and 9 print only on a printer with an Asian character set");
    if (!asianCell(language, field.font))
        return QStringLiteral("the %1 character set has no font %2").arg(asianLanguageTitle(language)).arg(field.font);
    QList<AsianCharacter> characters;
    return field.source == TextSource::Quoted ? decodeAsian(language, field.text, &characters) : QString();
}
