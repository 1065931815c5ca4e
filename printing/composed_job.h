#pragma once

#include "printing/label_field.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The values a job is composed from besides the four field texts.
enum class JobSetting {
    Darkness,
    Gap,
    Quantity,
    ItemY,       // the Item Y position
    VersionY,    // the Version Y position
    ItemXOffset, // the panel offsets the five-across job reads
    ItemYOffset,
    VersionXOffset,
    VersionYOffset,
};

// What is wrong with a value that stops a job from being composed.
enum class JobProblem {
    LineBreak,          // a text holds CR or LF
    OutsideAscii,       // a text holds `character`, outside ASCII
    ControlCharacter,   // a text holds `character`, a control character (tab included)
    NotAQuantity,       // the quantity `value` is not a whole number in kQuantityRange
    NotANumber,         // a number is needed
    OutOfRange,         // a number that does not fit
    TooLargeAfterShift, // a Y position passes 32767 once `shift` is added
    NotFinite,          // an offset sum that is not a finite number
};

// Why a job could not be composed: the value at fault and what is wrong with it. Turned into words only
// where it is shown.
struct JobFault
{
    std::optional<LabelField> field; // the field text at fault; empty when `setting` is
    JobSetting setting = JobSetting::Darkness;
    JobProblem problem = JobProblem::NotANumber;
    char32_t character = 0; // for OutsideAscii and ControlCharacter
    int shift = 0;          // for TooLargeAfterShift
    QString value{};        // for NotAQuantity: the text as it would have been sent
};

// The bounds of a whole number that a box, an option or a CSV column takes, both included.
struct WholeNumberRange
{
    int lowest;
    int highest;
};
// Labels per job: the printer's P command takes 1 to 65535.
inline constexpr WholeNumberRange kQuantityRange{1, 65535};

// Whether `text` is one to nine digits and nothing else, from `range.lowest` to `range.highest`. Leading
// zeros are allowed, and sent as they stand.
bool isWholeNumberIn(QStringView text, WholeNumberRange range);
// The one rule for a quantity, in the window, the label picture and the batch: a whole number in
// kQuantityRange, blanks around it already trimmed.
bool isQuantity(QStringView text);
// "0 to 15"
QString rangeText(WholeNumberRange range);
// ""16" is not a whole number from 0 to 15": what a value outside `range` is, the value shown safely.
QString notInRange(QStringView value, WholeNumberRange range);

// The first character of a text that must not reach the printer, and why: a line break, a character outside
// ASCII (a surrogate pair taken as its code point) or another control character, tab included. Empty when
// every character may go.
struct UnprintableCharacter
{
    JobProblem problem;
    char32_t character;
};
std::optional<UnprintableCharacter> firstUnprintable(QStringView text);

// The value as the window names it: the field's box heading ("Date"), "Gap", "Item Y position".
QString faultSubject(const JobFault& fault);
// What is wrong, in words: "contains a line break", "not a number".
QString faultProblem(const JobFault& fault);
// The one line a message shows: "<subject>: <what is wrong>".
QString describeFault(const JobFault& fault);

// A text line of a job and the field it prints: what ties a field drawn from the job's bytes back to the box
// it came from, also for the lines of a stored form and the five copies of a five-across label.
struct PrintedField
{
    int line = 0; // the job line of its A command, 1 for the first line of the job
    LabelField field = LabelField::Item;
    int copy = 0; // 1 to 5 from the left on a five-across label; 0 where the field prints once
};

// The field as the operator knows it: "Item", "Version", "Data", "Checksum"; "Item (copy 3)" on a
// five-across label.
QString printedFieldName(const PrintedField& printed);

// A job as the composer hands it to the Print press: the bytes to send, or why there are none.
struct ComposedJob
{
    QByteArray bytes;
    std::optional<JobFault> fault; // empty when the job was composed
    QList<PrintedField> fields{};  // every text line of the job in order; empty when there is no job
    bool ok() const { return !fault; }
    QString cause() const { return fault ? describeFault(*fault) : QString(); }
    // The field printed by the A command on job line `line`; empty for any other line.
    std::optional<PrintedField> fieldOnLine(int line) const;
};
