#include "recording/LogFileName.h"

#include <array>
#include <cassert>
#include <charconv>
#include <utility>

namespace svglogger {

namespace {

constexpr std::string_view kPrefix = "Tarmin";
constexpr std::string_view kExtension = ".csv";
constexpr int kCopyCap = 1'000'000'000; // an n of more digits reads as this

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One or two digits at the front of `text`, consumed; none where there is no digit.
std::optional<int> number(std::string_view &text)
{
    std::size_t digits = 0;
    int value = 0;
    while (digits < text.size() && digits < 2 && isDigit(text[digits]))
        value = value * 10 + (text[digits++] - '0');
    if (digits == 0)
        return std::nullopt;
    text.remove_prefix(digits);
    return value;
}

// `c` at the front of `text`, consumed.
bool mark(std::string_view &text, char c)
{
    if (!text.starts_with(c))
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

std::string LogFileName::text() const
{
    // Built in place: the recorder names a file at every line while the trigger is on.
    assert(day >= 0 && hour >= 0 && minute >= 0 && second >= 0 && copy >= 1);
    std::array<char, 96> name{};
    char *at = name.data();
    char *const end = name.data() + name.size();
    at += kPrefix.copy(at, kPrefix.size());
    const std::pair<int, char> parts[4] = {{day, 'D'}, {hour, 'H'}, {minute, 'M'}, {second, '\0'}};
    for (const auto &[value, unit] : parts) {
        at = std::to_chars(at, end, value).ptr;
        if (unit != '\0')
            *at++ = unit;
    }
    if (powerFlow)
        *at++ = 'G';
    if (copy != 1) {
        *at++ = '-';
        at = std::to_chars(at, end, copy).ptr;
    }
    at += kExtension.copy(at, kExtension.size());
    return std::string(name.data(), at);
}

bool LogFileName::onTheClock() const
{
    return day >= 1 && day <= 31 && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0
        && second <= 59;
}

std::optional<ParsedLogFileName> parseLogFileName(std::string_view text)
{
    if (!text.starts_with(kPrefix) || !text.ends_with(kExtension)) // the two cannot overlap
        return std::nullopt;
    text.remove_prefix(kPrefix.size());
    text.remove_suffix(kExtension.size());
    ParsedLogFileName parsed;
    LogFileName &name = parsed.name;
    for (const auto &[field, unit] : {std::pair{&name.day, 'D'}, std::pair{&name.hour, 'H'}, std::pair{&name.minute, 'M'}}) {
        const std::optional<int> value = number(text);
        if (!value || !mark(text, unit))
            return std::nullopt;
        *field = *value;
    }
    const std::optional<int> second = number(text);
    if (!second)
        return std::nullopt;
    name.second = *second;
    // What follows the second: an optional G, then an optional "-n".
    name.powerFlow = mark(text, 'G');
    if (mark(text, '-')) {
        name.copy = 0;
        while (parsed.copyDigits < text.size() && isDigit(text[parsed.copyDigits])) {
            const int digit = text[parsed.copyDigits++] - '0';
            name.copy = name.copy >= kCopyCap / 10 ? kCopyCap : name.copy * 10 + digit;
        }
        text.remove_prefix(parsed.copyDigits);
        parsed.exact = parsed.copyDigits != 0 && text.empty();
    } else {
        parsed.exact = text.empty();
    }
    return parsed;
}

} // namespace svglogger
