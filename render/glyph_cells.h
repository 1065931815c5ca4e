#pragma once

#include "render/epl2_command.h"

#include <QByteArray>
#include <QString>

// Letters of a monospace font drawn into character cells of a given size: one bit per dot. The printer's own
// letter bitmaps are not public, so these only look like its letters; each fills its cell the way the
// font's letters fill their advance and line height.
struct GlyphBitmap
{
    int width = 0;
    int height = 0;
    QByteArray ink; // width * height bytes, row by row: 1 where the letter prints
    bool at(int x, int y) const { return ink.at(y * width + x) != 0; }
};

// Whether a character puts ink on the label: not a blank, not a control character, not undefined (U+0000).
inline bool printsInk(char16_t character)
{
    return character > 0x20 && !(character >= 0x7F && character <= 0xA0) && character != 0xFFFD;
}

class CellGlyphs
{
public:
    // The letters of DejaVu Sans Mono, or the system's fixed-pitch font when that file is missing. Null, with
    // `why` set, when there is no QGuiApplication or no usable font. Loaded once; use from one thread.
    static CellGlyphs* instance(QString* why);

    // The letter for a character of any code page in a cell of the given size; all blank for a blank or a
    // character the font has no letter for. With an Asian language, the character of fonts 8 and 9 from a font
    // of that language, its em square filling the cell. Valid until the next call.
    const GlyphBitmap& glyph(char16_t character, int cellWidth, int cellHeight,
                             AsianLanguage language = AsianLanguage::None);
    // Whether a font for the characters of `language` is installed; `why` names what to install when not.
    bool hasAsianFont(AsianLanguage language, QString* why);

private:
    CellGlyphs() = default;
    struct Impl;
    Impl* d = nullptr;
};
