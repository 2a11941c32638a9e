#pragma once

#include <QStringView>
#include <QtGlobal>

#include <optional>

// The one place that reads numbers typed by the user or stored as text.
namespace NumericText {

// Value of the number the text begins with (leading blanks skipped, sign,
// decimals, exponent); 0 when the text does not begin with a number.
double LeadingValue(QStringView text);

// LeadingValue rounded to the nearest integer, halves to the even neighbour;
// empty when the result does not fit a signed 32-bit integer.
std::optional<qint32> ToInt32Checked(QStringView text);

// As ToInt32Checked, but a value out of range is clamped to the nearest bound.
qint32 ToInt32(QStringView text);

// True when the whole text, blanks around it aside, is one number.
bool IsNumeric(QStringView text);

} // namespace NumericText
