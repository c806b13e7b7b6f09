#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svglogger {

// The number in a text box or a decimal field of a measurement line: blanks, tabs and line
// feeds are ignored wherever they stand; then an optional sign, digits and an optional decimal
// part are read up to the first character that cannot continue the number. Text that does not
// begin with a number reads as 0. A number too large for a double reads as +/-infinity.
double readTextNumber(std::string_view text);

// The number when the whole text is one ("12", "-3.5", " 2.5 ", "+2"), else empty: unlike
// readTextNumber nothing may follow it, and "nan", "inf" and exponents are no numbers here.
std::optional<double> numberIfWholeText(std::string_view text);
// on/off, true/false, yes/no, 1/0 (blanks around allowed); empty when the text is none of them.
std::optional<bool> switchIfWholeText(std::string_view text);

// A box that must hold at least 1, as it loses the focus: text whose number is below 1 (also
// empty or non-numeric text) becomes "1"; anything else stays as typed.
std::string atLeastOneText(std::string_view text);

// `value` with exactly `decimals` places ("6600.2"), or to `digits` significant digits as
// printf's %g ("92" for 0.92 × 100): a point whatever the C locale says (a German system's
// comma would break a CSV file's fields).
std::string fixedText(double value, int decimals);
std::string significantText(double value, int digits = 6);

// Hexadecimal digits read from the start of `digits` until the first non-hex character.
// At most four digits are passed by the callers, so the result is 0 to 0xFFFF.
int readHexDigits(std::string_view digits);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Adding and taking away 1.5 x 2^52 leaves no fraction bits, so the hardware's default
// rounding (to nearest, ties to even) does the work; larger magnitudes are whole already.
// Relies on strict IEEE double arithmetic: never build this with -ffast-math.
inline double roundHalfEven(double value)
{
    constexpr double kShift = 6755399441055744.0;
    if (!(value > -kShift && value < kShift))
        return value;
    const double shifted = value + kShift;
    return shifted - kShift;
}

// Rounded (halves to even) into a 16-bit or 32-bit signed integer; empty when the rounded
// value lies outside the type's range or is not a number.
std::optional<std::int16_t> roundToInt16(double value);
std::optional<std::int32_t> roundToInt32(double value);

// A double stored as a 32-bit float; empty when it is not finite or beyond the float range.
std::optional<float> toSingle(double value);

} // namespace svglogger
