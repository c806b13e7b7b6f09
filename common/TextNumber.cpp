#include "common/TextNumber.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace svglogger {

namespace {

// What a character can be in a number's text; one table look-up per character.
enum class CharClass : unsigned char { Other, Blank, Sign, Point, Digit };

constexpr std::array<CharClass, 256> kCharClasses = [] {
    std::array<CharClass, 256> classes{};
    classes[' '] = classes['\t'] = classes['\n'] = CharClass::Blank;
    classes['+'] = classes['-'] = CharClass::Sign;
    classes['.'] = CharClass::Point;
    for (char c = '0'; c <= '9'; ++c)
        classes[static_cast<unsigned char>(c)] = CharClass::Digit;
    return classes;
}();

// Rounded half to even; empty when not finite or beyond the type's range (both limits are
// exact in a double).
template <typename Integer>
std::optional<Integer> roundToInteger(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = roundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<Integer>::min())
        || r > static_cast<double>(std::numeric_limits<Integer>::max()))
        return std::nullopt;
    return static_cast<Integer>(r);
}

} // namespace

double readTextNumber(std::string_view text)
{
    // The significant digits go without blanks into a small buffer, the decimal point into an
    // exponent; from_chars then gives the correctly rounded double. Digits beyond what a
    // double can resolve are dropped (whole digits still count in the exponent).
    constexpr int kMaxDigits = 40;
    char buffer[kMaxDigits + 24];
    int length = 0;
    std::uint64_t mantissa = 0; // the significant digits while there are at most 15
    long exponent = 0;
    bool negative = false;
    bool signAllowed = true;
    bool seenPoint = false;
    bool anyDigit = false;

    bool more = true;
    for (auto it = text.begin(); more && it != text.end(); ++it) {
        const char c = *it;
        switch (kCharClasses[static_cast<unsigned char>(c)]) {
        case CharClass::Blank:
            continue;
        case CharClass::Sign:
            more = signAllowed; // a sign after the start ends the number
            negative = signAllowed ? c == '-' : negative;
            signAllowed = false;
            continue;
        case CharClass::Point:
            more = !seenPoint; // so does a second point
            seenPoint = true;
            signAllowed = false;
            continue;
        case CharClass::Other:
            more = false;
            continue;
        case CharClass::Digit:
            break;
        }
        signAllowed = false;
        anyDigit = true;
        if (length == 0 && c == '0') {
            if (seenPoint)
                --exponent; // a zero between the point and the first significant digit
            continue;
        }
        if (length < kMaxDigits) {
            if (length < 15)
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            buffer[length++] = c;
            if (seenPoint)
                --exponent;
        } else if (!seenPoint) {
            ++exponent;
        }
    }
    if (!anyDigit || length == 0)
        return 0.0;

    // Up to 15 digits and a power of ten up to 1e22 are both exact in a double, so one
    // multiplication or division gives the correctly rounded value directly.
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (length <= 15 && exponent >= -22 && exponent <= 22) {
        const double m = static_cast<double>(mantissa);
        const double value = exponent >= 0 ? m * kPowersOfTen[exponent] : m / kPowersOfTen[-exponent];
        return negative ? -value : value;
    }

    buffer[length++] = 'e';
    auto written = std::to_chars(buffer + length, buffer + sizeof buffer, exponent);
    double value = 0.0;
    auto parsed = std::from_chars(buffer, written.ptr, value, std::chars_format::scientific);
    if (parsed.ec == std::errc::result_out_of_range)
        value = exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

std::string atLeastOneText(std::string_view text)
{
    return readTextNumber(text) < 1.0 ? std::string("1") : std::string(text);
}

int readHexDigits(std::string_view digits)
{
    int value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            break;
        value = value * 16 + d;
    }
    return value;
}

std::optional<std::int16_t> roundToInt16(double value)
{
    return roundToInteger<std::int16_t>(value);
}

std::optional<std::int32_t> roundToInt32(double value)
{
    return roundToInteger<std::int32_t>(value);
}

std::optional<float> toSingle(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

namespace {

std::string_view withoutBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::optional<double> numberIfWholeText(std::string_view value)
{
    value = withoutBlanks(value);
    if (value.starts_with('+'))
        value.remove_prefix(1);
    double number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number,
                                              std::chars_format::fixed);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || !std::isfinite(number))
        return std::nullopt; // "nan" and "inf" are no numbers of seconds or counts
    return number;
}

std::optional<bool> switchIfWholeText(std::string_view value)
{
    value = withoutBlanks(value);
    for (std::string_view yes : {"on", "true", "yes", "1"})
        if (value == yes)
            return true;
    for (std::string_view no : {"off", "false", "no", "0"})
        if (value == no)
            return false;
    return std::nullopt;
}

std::string fixedText(double value, int decimals)
{
    char buffer[400]; // DBL_MAX in fixed notation with a few places
    const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    return std::string(buffer, static_cast<std::size_t>(end - buffer));
}

std::string significantText(double value, int digits)
{
    char buffer[64];
    const char *end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits).ptr;
    return std::string(buffer, static_cast<std::size_t>(end - buffer));
}

} // namespace svglogger
