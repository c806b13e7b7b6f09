#include "recording/LogFileName.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

namespace svglogger {
namespace {

// The names the recorder writes read back as they were made.
TEST(LogFileNames, WrittenAndReadBack)
{
    const struct Case {
        LogFileName name;
        const char *text;
    } cases[] = {
        {{7, 11, 40, 31, false, 1}, "Tarmin7D11H40M31.csv"},
        {{24, 0, 0, 0, true, 1}, "Tarmin24D0H0M0G.csv"},
        {{1, 9, 5, 3, false, 2}, "Tarmin1D9H5M3-2.csv"},
        {{31, 23, 59, 59, true, 9999}, "Tarmin31D23H59M59G-9999.csv"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.name.text(), c.text);
        const std::optional<ParsedLogFileName> parsed = parseLogFileName(c.text);
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_TRUE(parsed->exact) << c.text;
        EXPECT_TRUE(parsed->name.onTheClock()) << c.text;
        const LogFileName &n = parsed->name;
        EXPECT_EQ((std::tuple{n.day, n.hour, n.minute, n.second, n.powerFlow, n.copy}),
                  (std::tuple{c.name.day, c.name.hour, c.name.minute, c.name.second, c.name.powerFlow, c.name.copy}))
            << c.text;
    }
}

// Every other name: none where the moment cannot be read, else what is out of the form.
TEST(LogFileNames, RefusedOrOutOfTheForm)
{
    const struct Case {
        const char *text;
        bool parsed;          // "Tarmin", a moment of 1- or 2-digit numbers and ".csv"
        bool exact = false;   // nothing but [G][-n] after the second
        bool onTheClock = false;
        std::size_t copyDigits = 0;
        int second = 0;
    } cases[] = {
        {"xTarmin7D11H40M31.csv", false},
        {"tarmin7D11H40M31.csv", false},
        {"Tarmin7d11h40m31.csv", false},
        {"notes.csv", false},
        {"Tarmin7D11H40.csv", false},
        {"Tarmin7D11H40M.csv", false},
        {"TarminDHMS.csv", false},
        {"Tarmin.csv", false},
        {"Tarmin123D1H1M1.csv", false},
        {"Tarmin7D11H40M31.txt", false},
        {"Tarmin7D11H40M31.CSV", false},
        {"Tarmin7D11H40M31.csv.bak", false},
        {"Tarmin32D0H0M0.csv", true, true, false, 0, 0},
        {"Tarmin0D0H0M0.csv", true, true, false, 0, 0},
        {"Tarmin7D24H0M0.csv", true, true, false, 0, 0},
        {"Tarmin7D0H60M0.csv", true, true, false, 0, 0},
        {"Tarmin7D0H0M60.csv", true, true, false, 0, 60},
        {"Tarmin07D09H05M03.csv", true, true, true, 0, 3},
        {"Tarmin7D11H40M31-.csv", true, false, true, 0, 31},
        {"Tarmin7D11H40M31-2a.csv", true, false, true, 1, 31},
        {"Tarmin7D11H40M31GG.csv", true, false, true, 0, 31},
        {"Tarmin7D11H40M31g.csv", true, false, true, 0, 31},
        {"Tarmin7D11H40M31-12345.csv", true, true, true, 5, 31},
        {"Tarmin7D11H40M312.csv", true, false, true, 0, 31},
        {"Tarmin7D11H40M31 (copy).csv", true, false, true, 0, 31},
    };
    for (const Case &c : cases) {
        const std::optional<ParsedLogFileName> parsed = parseLogFileName(c.text);
        ASSERT_EQ(parsed.has_value(), c.parsed) << c.text;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->exact, c.exact) << c.text;
        EXPECT_EQ(parsed->name.onTheClock(), c.onTheClock) << c.text;
        EXPECT_EQ(parsed->copyDigits, c.copyDigits) << c.text;
        EXPECT_EQ(parsed->name.second, c.second) << c.text;
    }
}

} // namespace
} // namespace svglogger
