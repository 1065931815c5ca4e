#pragma once

#include "render/epl2_command.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// The pieces of EPL2 command lines that every command family reads the same way, and the families' readers,
// which readEpl2Command calls from its one table of commands. Each reader takes what follows its command
// letters.
namespace epl2 {

// Positions beyond this many dots either way are refused rather than carried through the arithmetic.
inline constexpr int kMaxPosition = 99999;
inline constexpr int kMaxTextLength = 1000;
inline constexpr int kMaxFormName = 8;
// Speeds differ from model to model (1.5 to 6 inches a second on desktop models, more on others); the number
// is kept as the printer's setting, so any a model may take is.
inline constexpr int kMaxSpeed = 99;
// The most dots i puts between the characters of fonts 8 and 9 (before the multipliers).
inline constexpr int kMaxAsianSpacing = 99;

// A line that is not understood, and why.
Epl2Command notUnderstood(const QString& why);
// A whole number in [lowest, highest]: digits, with "-" before them when `lowest` is negative and "+" when
// `plusAllowed`. Nothing else, not even blanks.
std::optional<int> wholeNumber(QByteArrayView text, int lowest, int highest, bool plusAllowed = false);
// Splits "a,b,c" at its first `fields - 1` commas; the last part keeps any further commas.
QList<QByteArrayView> splitParameters(QByteArrayView text, int fields);
// A text in double quotes with \" for a quote and \\ for a backslash (a backslash before any other
// character stands for that character). Nothing may follow the closing quote.
std::optional<QByteArray> unquote(QByteArrayView text, QString* why, int limit = kMaxTextLength);
// A quoted name of a form or graphic, 1 to kMaxFormName characters.
Epl2Command formName(Epl2Command::Kind kind, QByteArrayView text);
// A command that takes nothing after it.
Epl2Command single(Epl2Command::Kind kind, QByteArrayView rest, const char* what);
// A command that takes one whole number.
Epl2Command number(Epl2Command::Kind kind, QByteArrayView text, int lowest, int highest, const char* what);
// The data of a field: a quoted text, a variable Vnn or a counter Cn. Empty, or what is wrong with it.
QString fieldData(QByteArrayView data, TextSource* source, QByteArray* text, int* number, int limit);

// Text (epl2_text_commands.cpp).
Epl2Command textCommand(QByteArrayView rest);
Epl2Command variableCommand(QByteArrayView rest);
Epl2Command counterCommand(QByteArrayView rest);
// ES"name" and EK"name" (epl2_text_commands.cpp).
Epl2Command softFontCommand(Epl2Command::Kind kind, QByteArrayView rest);
// One-dimensional bar codes (epl2_barcode_commands.cpp).
Epl2Command barcodeCommand(QByteArrayView rest);
// Two-dimensional codes (epl2_matrix_commands.cpp).
Epl2Command matrixCommand(QByteArrayView rest);
// Lines and boxes (epl2_shape_commands.cpp).
Epl2Command shapeCommand(Epl2Command::Kind kind, QByteArrayView rest, const char* name);
// Graphics (epl2_graphic_commands.cpp); GW takes its header and its data.
Epl2Command graphicWrite(QByteArrayView line);
Epl2Command graphicStore(QByteArrayView rest);
Epl2Command graphicRecall(QByteArrayView rest);
// Settings and the print (epl2_setting_commands.cpp).
Epl2Command lengthCommand(QByteArrayView rest);
Epl2Command printCommand(QByteArrayView rest);
Epl2Command codePageCommand(QByteArrayView rest);
Epl2Command referenceCommand(QByteArrayView rest);
Epl2Command optionsCommand(QByteArrayView rest);

} // namespace epl2
