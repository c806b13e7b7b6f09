#include "recording/CsvText.h"

#include "common/TextNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace svglogger {

namespace {

constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};

// Removes trailing zeros of a fraction and a trailing point: "12.20000" -> "12.2".
void trimFraction(std::string &text)
{
    if (text.find('.') == std::string::npos)
        return;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
}

// Writes |k| / 10^decimals exactly, without trailing zeros: the fast path for values whose
// rounded form has at most seven significant digits.
void appendExactDecimal(std::string &text, std::int64_t k, int decimals)
{
    const bool negative = k < 0;
    std::uint64_t magnitude = negative ? static_cast<std::uint64_t>(-k) : static_cast<std::uint64_t>(k);
    while (decimals > 0 && magnitude % 10 == 0) {
        magnitude /= 10;
        --decimals;
    }
    // Digits are laid out from the right end of a small buffer, then appended at once.
    char buffer[40];
    char *end = buffer + sizeof buffer;
    char *p = end;
    int written = 0;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        if (++written == decimals)
            *--p = '.';
    } while (magnitude != 0);
    if (written < decimals) {
        while (written++ < decimals)
            *--p = '0';
        *--p = '.';
    }
    if (*p == '.')
        *--p = '0';
    if (negative)
        *--p = '-';
    text.append(p, static_cast<std::size_t>(end - p));
}

// The fast path's form: a value rounded to `decimals` places (unrounded but integral for a
// negative count) with at most seven digits is k / 10^places exactly, k returned; none else.
std::optional<std::int64_t> scaledDigits(float value, int decimals)
{
    const double x = value;
    const int places = decimals < 0 ? 0 : decimals;
    if (places > 6 || !std::isfinite(x) || std::fabs(x) >= 1e7)
        return std::nullopt;
    const double scaled = x * kPowersOfTen[places];
    const double k = decimals < 0 ? scaled : roundHalfEven(scaled);
    if (k != std::floor(k) || std::fabs(k) >= 1e7)
        return std::nullopt;
    return static_cast<std::int64_t>(k);
}

// The general form: seven significant digits, scientific beyond them.
std::string generalText(float value, int decimals)
{
    double x = value;
    if (decimals >= 0 && decimals <= 6 && std::isfinite(x)) {
        // Float times a power of ten up to 10^6 is exact in a double, so ties are true ties.
        const double scale = kPowersOfTen[decimals];
        x = roundHalfEven(x * scale) / scale;
    }
    if (!std::isfinite(x))
        return x != x ? "NaN" : (x > 0 ? "Infinity" : "-Infinity");
    if (x == 0.0)
        return "0"; // also for a value that rounds to -0

    // std::to_chars, unlike printf, never takes the decimal comma of the C locale.
    char buffer[48];
    const char *const begin = buffer;
    const char *end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific, 6).ptr;
    const char *mark = std::find(begin, end, 'e'); // 7 significant digits
    int exponent = 0;
    std::from_chars(mark + 1 + (mark[1] == '+'), end, exponent);
    std::string text;
    if (exponent >= 7 || exponent < -5) {
        // Scientific form, as a single-precision value is written beyond seven digits.
        std::string mantissa(begin, mark);
        trimFraction(mantissa);
        text = mantissa + (exponent < 0 ? "E-" : "E+");
        if (std::abs(exponent) < 10)
            text += '0';
        text += std::to_string(std::abs(exponent));
    } else {
        end = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, 6 - exponent).ptr;
        text.assign(begin, end);
        trimFraction(text);
    }
    return text;
}

} // namespace

void appendNumberText(std::string &text, float value, int decimals)
{
    // Fast path: written exactly from its scaled integer.
    if (const std::optional<std::int64_t> k = scaledDigits(value, decimals)) {
        if (*k == 0)
            text += '0';
        else
            appendExactDecimal(text, *k, decimals < 0 ? 0 : decimals);
        return;
    }
    text += generalText(value, decimals);
}

double rowNumber(float value, int decimals)
{
    // The text's fast path as a number: k / 10^places is the double nearest to the decimal the
    // text writes. Anything else is read from the text itself, so the number always equals
    // what the row says.
    if (const std::optional<std::int64_t> k = scaledDigits(value, decimals))
        return static_cast<double>(*k) / kPowersOfTen[decimals < 0 ? 0 : decimals];
    const std::string text = generalText(value, decimals);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

std::string numberText(float value, int decimals)
{
    std::string text;
    appendNumberText(text, value, decimals);
    return text;
}

std::string dateTimeText(const LocalDateTime &time)
{
    std::string text;
    appendDateTimeText(text, time);
    return text;
}

void appendDateTimeText(std::string &text, const LocalDateTime &time)
{
    if (time.year < 0 || time.year > 9999) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d %d:%02d:%02d", time.year, time.month, time.day,
                      time.hour, time.minute, time.second); // integers only: the same in every locale
        text += buffer;
        return;
    }
    const std::size_t start = text.size();
    text += "0000/00/00";
    auto put = [&text, start](std::size_t at, int value, int width) {
        at += start;
        for (int i = width - 1; i >= 0; --i) {
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, time.year, 4);
    put(5, time.month, 2);
    put(8, time.day, 2);
    if (time.hour == 0 && time.minute == 0 && time.second == 0)
        return;
    text += ' ';
    if (time.hour >= 10)
        text += static_cast<char>('0' + time.hour / 10 % 10);
    text += static_cast<char>('0' + time.hour % 10);
    text += ":00:00";
    put(text.size() - start - 5, time.minute, 2);
    put(text.size() - start - 2, time.second, 2);
}

} // namespace svglogger
