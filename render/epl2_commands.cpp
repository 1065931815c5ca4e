#include "render/epl2_commands.h"

#include "render/epl2_syntax.h"

#include <iterator>

namespace {

using namespace epl2;

using Reader = Epl2Command (*)(QByteArrayView rest);

// ZT, ZB, JF, JB and JC: the letter after the first one is the setting.
Epl2Command letter(Epl2Command::Kind kind, QByteArrayView rest, const char* command)
{
    Epl2Command result = single(kind, rest, command);
    if (result.error.isEmpty())
        result.data = QByteArray(command + 1);
    return result;
}

// Every command line the drawing reads, by the letters it starts with: the longer ones first, so that "GW" is
// found before any one-letter command starting with G would be.
struct CommandReader
{
    const char* letters;
    Reader read;
};

constexpr CommandReader kCommands[] = {
    {"FK", [](QByteArrayView rest) { return formName(Epl2Command::FormDelete, rest); }},
    {"FS", [](QByteArrayView rest) { return formName(Epl2Command::FormStore, rest); }},
    {"FR", [](QByteArrayView rest) { return formName(Epl2Command::FormRecall, rest); }},
    {"FE", [](QByteArrayView rest) { return single(Epl2Command::FormEnd, rest, "FE"); }},
    {"GW", graphicWrite},
    {"GM", graphicStore},
    {"GK",
     [](QByteArrayView rest) {
         Epl2Command result = formName(Epl2Command::GraphicDelete, rest);
         return result.error.isEmpty() ? result : notUnderstood(QStringLiteral("GK: ") + result.error);
     }},
    {"GI", [](QByteArrayView rest) { return single(Epl2Command::GraphicList, rest, "GI"); }},
    {"GG", graphicRecall},
    {"ES", [](QByteArrayView rest) { return softFontCommand(Epl2Command::FontStore, rest); }},
    {"EK", [](QByteArrayView rest) { return softFontCommand(Epl2Command::FontDelete, rest); }},
    {"EI", [](QByteArrayView rest) { return single(Epl2Command::FontList, rest, "EI"); }},
    {"LO", [](QByteArrayView rest) { return shapeCommand(Epl2Command::LineBlack, rest, "LO"); }},
    {"LW", [](QByteArrayView rest) { return shapeCommand(Epl2Command::LineWhite, rest, "LW"); }},
    {"LE", [](QByteArrayView rest) { return shapeCommand(Epl2Command::LineXor, rest, "LE"); }},
    {"LS", [](QByteArrayView rest) { return shapeCommand(Epl2Command::LineDiagonal, rest, "LS"); }},
    {"ZT", [](QByteArrayView rest) { return letter(Epl2Command::Direction, rest, "ZT"); }},
    {"ZB", [](QByteArrayView rest) { return letter(Epl2Command::Direction, rest, "ZB"); }},
    {"JF", [](QByteArrayView rest) { return letter(Epl2Command::FormBackup, rest, "JF"); }},
    {"JB", [](QByteArrayView rest) { return letter(Epl2Command::FormBackup, rest, "JB"); }},
    {"JC", [](QByteArrayView rest) { return letter(Epl2Command::FormBackup, rest, "JC"); }},
    {"N", [](QByteArrayView rest) { return single(Epl2Command::Clear, rest, "N"); }},
    {"O", optionsCommand},
    {"B", barcodeCommand},
    {"b", matrixCommand},
    {"X", [](QByteArrayView rest) { return shapeCommand(Epl2Command::Box, rest, "X"); }},
    {"I", codePageCommand},
    {"i",
     [](QByteArrayView rest) { return number(Epl2Command::Spacing, rest, 0, kMaxAsianSpacing, "the spacing of i"); }},
    {"R", referenceCommand},
    {"?", [](QByteArrayView rest) { return single(Epl2Command::DataFollows, rest, "?"); }},
    {"D", [](QByteArrayView rest) { return number(Epl2Command::Density, rest, 0, 15, "the darkness of D"); }},
    {"S", [](QByteArrayView rest) { return number(Epl2Command::Speed, rest, 0, kMaxSpeed, "the speed of S"); }},
    {"q",
     [](QByteArrayView rest) { return number(Epl2Command::Width, rest, 1, kMaxLabelDots, "the label width of q"); }},
    {"Q", lengthCommand},
    {"P", printCommand},
    {"A", textCommand},
    {"V", variableCommand},
    {"C", counterCommand},
};

} // namespace

Epl2Command readEpl2Command(QByteArrayView line)
{
    if (line.isEmpty())
        return Epl2Command();
    for (const CommandReader& each : kCommands) {
        const QByteArrayView letters(each.letters);
        if (line.startsWith(letters))
            return each.read(line.sliced(letters.size()));
    }
    return notUnderstood(QStringLiteral("unknown command"));
}

bool drawsIntoImageBuffer(Epl2Command::Kind kind)
{
    switch (kind) {
    case Epl2Command::Text:
    case Epl2Command::Barcode:
    case Epl2Command::Code2D:
    case Epl2Command::LineBlack:
    case Epl2Command::LineWhite:
    case Epl2Command::LineXor:
    case Epl2Command::LineDiagonal:
    case Epl2Command::Box:
    case Epl2Command::GraphicWrite:
    case Epl2Command::GraphicRecall:
        return true;
    default:
        break;
    }
    return false;
}
