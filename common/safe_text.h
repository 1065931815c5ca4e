#pragma once

#include <QString>
#include <QStringView>

#include <chrono>

// Showing text that came from outside (a CSV field, an option value, a path) inside a message, so that it
// can neither act on a terminal nor flood it.
//
// Printable ASCII is shown as it is. A backslash is doubled; tab, line feed and carriage return are shown
// as \t, \n and \r, every other control character as \xHH (\x1B, \x00, \x7F); every character outside
// ASCII as <U+XXXX> (<U+D55C>), so that bytes a terminal would act on never reach it. A text longer than
// `shown` characters shows its first `shown` characters, then "..." and its whole length.

// Characters of a value a message shows at most.
inline constexpr qsizetype kShownValueLength = 32;
// Characters of a path a message shows at most.
inline constexpr qsizetype kShownPathLength = 160;

// The text between double quotes, a double quote in it shown as \":
//   "AB\x1BC"    "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA..." (52428800 characters)
QString quotedForMessage(QStringView text, qsizetype shown = kShownValueLength);

// The same without the quotes, for a path at the head of a message: /tmp/labels\n.csv
QString visibleForMessage(QStringView text, qsizetype shown = kShownPathLength);

// A whole message line made safe: control characters (C0, DEL and C1) shown as above, everything else kept,
// and a line longer than `shown` characters cut like a value. Meant as the last step before a line is
// written to a terminal.
QString safeMessageLine(QStringView line, qsizetype shown = 1000);

// "U+0041", "U+D55C", "U+1F600": a code point as messages name it.
QString codePointName(char32_t codePoint);

// A count with its noun for messages: "1 label", "2 labels" (`singular` takes an "s" for any other count).
QString counted(qint64 number, const char* singular);

// "2.5" for 2500 ms: a time-out as messages say it.
QString secondsText(std::chrono::milliseconds ms);
