#include "recording/ShiftJisText.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace svglogger {

namespace {

struct Code {
    char32_t character;
    std::uint16_t shiftJis;
};

// Every non-ASCII character of the four CSV headers, sorted by code point.
constexpr std::array<Code, 24> kHeaderCharacters{{
    {U'令', 0x97DF}, {U'出', 0x8F6F}, {U'刻', 0x8D8F}, {U'力', 0x97CD}, {U'効', 0x8CF8}, {U'圧', 0x88B3},
    {U'態', 0x91D4}, {U'指', 0x8E77}, {U'数', 0x9094}, {U'時', 0x8E9E}, {U'無', 0x96B3}, {U'状', 0x8FF3},
    {U'相', 0x918A}, {U'系', 0x8C6E}, {U'統', 0x939D}, {U'荷', 0x89D7}, {U'負', 0x9589}, {U'軸', 0x8EB2},
    {U'逆', 0x8B74}, {U'進', 0x9069}, {U'電', 0x9364}, {U'Ｇ', 0x8266}, {U'Ｓ', 0x8272}, {U'Ｖ', 0x8275},
}};

static_assert(std::is_sorted(kHeaderCharacters.begin(), kHeaderCharacters.end(),
                             [](const Code &a, const Code &b) { return a.character < b.character; }));

// The code point of the UTF-8 sequence at `at` (which moves past it); 0 when it is broken.
char32_t nextCodePoint(std::string_view text, std::size_t &at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + static_cast<std::size_t>(length) > text.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    at += static_cast<std::size_t>(length);
    return code;
}

} // namespace

std::optional<std::string> toShiftJis(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[at]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++at;
            continue;
        }
        const char32_t code = nextCodePoint(utf8, at);
        const auto found = std::lower_bound(kHeaderCharacters.begin(), kHeaderCharacters.end(), code,
                                            [](const Code &entry, char32_t wanted) { return entry.character < wanted; });
        if (code == 0 || found == kHeaderCharacters.end() || found->character != code)
            return std::nullopt;
        out += static_cast<char>(found->shiftJis >> 8);
        out += static_cast<char>(found->shiftJis & 0xFF);
    }
    return out;
}

} // namespace svglogger
