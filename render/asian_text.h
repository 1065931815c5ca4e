#pragma once

#include "render/epl2_command.h"

#include <QByteArrayView>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringView>

#include <optional>

// The characters of fonts 8 and 9, which a printer with an Asian character set prints: bytes 00 to 7F are
// ASCII in a cell half as wide, and a pair of bytes is one character of the printer's language (Korean
// KS X 1001 as EUC-KR, Japanese Shift JIS, Simplified Chinese GB2312, Traditional Chinese Big5) in a whole
// cell; Shift JIS also has its half-width katakana A1 to DF.

struct AsianCharacter
{
    char16_t character = 0; // U+FFFD for bytes that are no character of the language
    bool wide = false;      // a whole cell (a pair of bytes) or half of one (a single byte)
};

// "korean", "japanese", "simplified-chinese" and "traditional-chinese"; empty for none.
QString asianLanguageName(AsianLanguage language);
// The language of a name above; nullopt for any other.
std::optional<AsianLanguage> asianLanguageNamed(QStringView name);
// "Korean", "Japanese", "Simplified Chinese", "Traditional Chinese", as messages name them.
QString asianLanguageTitle(AsianLanguage language);

// The dots of a whole cell of `font` (8 or 9) at 203 dots per inch; nullopt when the language has no such font.
std::optional<QSize> asianCell(AsianLanguage language, int font);

// The characters of `data`. Empty when every byte was understood; otherwise why (the first bytes that are not,
// in hexadecimal), and those bytes are in `characters` as U+FFFD, so that they print as blank cells.
QString decodeAsian(AsianLanguage language, QByteArrayView data, QList<AsianCharacter>* characters);

// Why an A line of font 8 or 9 cannot print on a printer of `language` (empty when it can): the printer has no
// Asian character set, its language has no such font, or the quoted data has bytes that are no character of it.
QString asianFieldProblem(const TextField& field, AsianLanguage language);
