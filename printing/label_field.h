#pragma once

#include <QString>

#include <array>
#include <optional>

// The four texts a label carries, in the order the window lists their boxes and a stored-form job sends
// their values.
enum class LabelField { Item, Version, Data, Checksum };

inline constexpr LabelField kLabelFields[] = {LabelField::Item, LabelField::Version, LabelField::Data,
                                              LabelField::Checksum};
inline constexpr int kLabelFieldCount = int(std::size(kLabelFields));

// One value per label field, looked up by field.
template <typename T> class PerField
{
public:
    T& operator[](LabelField field) { return values_[std::size_t(field)]; }
    const T& operator[](LabelField field) const { return values_[std::size_t(field)]; }
    auto begin() { return values_.begin(); }
    auto end() { return values_.end(); }
    auto begin() const { return values_.begin(); }
    auto end() const { return values_.end(); }

private:
    std::array<T, kLabelFieldCount> values_{};
};

// The names of a field wherever the program shows or reads one.
struct LabelFieldNames
{
    const char* heading; // the box heading the operator sees, which also starts a composition failure
    const char* name;    // the field in messages about positions and nudges
    const char* column;  // the CSV column and, after "--", the batch option
    const char* nudge;   // a shorter name --nudge also takes, or nullptr
};
const LabelFieldNames& namesOf(LabelField field);

// "Item", "Version", "Date", "Checksum".
QString fieldHeading(LabelField field);
// "Item", "Version", "Data", "Checksum".
QString fieldName(LabelField field);
// "item", "version", "data", "checksum".
QString fieldColumn(LabelField field);
// The field a lower-case --nudge name means: its column name or its shorter name ("ver").
std::optional<LabelField> fieldFromNudgeName(const QString& name);
