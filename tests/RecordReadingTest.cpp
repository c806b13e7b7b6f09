#include "common/Settings.h"
#include "quality/PowerQualityReport.h"
#include "reading/ClockBlocks.h"
#include "reading/MappedFile.h"
#include "reading/MinMaxPyramid.h"
#include "reading/PreTriggerRows.h"
#include "reading/RecordExport.h"
#include "reading/RecordReader.h"
#include "reading/RecordSet.h"
#include "reading/RecordStats.h"
#include "reading/RecordTime.h"
#include "reading/TriggerReplay.h"
#include "reading/ViewWindow.h"
#include "recording/CsvLayout.h"
#include "recording/TriggerSettings.h"
#include "recording/ShiftJisText.h"
#include "support/ClockZoneGuard.h"
#include "support/EngineRig.h"
#include "support/RecordSets.h"
#include "support/Split.h"
#include "tools/EuropeanSummerTime.h"
#include "tools/MeasurementGenerator.h"
#include "tools/RecordedDay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace svglogger {
namespace {

namespace c = recordColumn;
using Sample = MeasurementSample;
const ControllerVersion kOlder = ControllerVersion::Older;
const ControllerVersion kV2 = ControllerVersion::Version2;

std::string sjisHeader(SamplingMode mode, ControllerVersion version)
{
    return *toShiftJis(headerLine(mode, version));
}

// A continuous file of an older controller, as the logger writes it.
std::string olderFile(const std::vector<std::string> &rows, const std::string &lineEnd = "\r\n")
{
    std::string bytes = sjisHeader(SamplingMode::Continuous, kOlder) + lineEnd;
    for (const std::string &row : rows)
        bytes += row + lineEnd;
    return bytes;
}

// An interval file of an older controller, as the logger writes it.
std::string olderIntervalFile(const std::vector<std::string> &rows)
{
    std::string bytes = sjisHeader(SamplingMode::Interval, kOlder) + "\r\n";
    for (const std::string &row : rows)
        bytes += row + "\r\n";
    return bytes;
}

// An older controller's interval row stamped `time`: the voltage's average, maximum and
// minimum `volts`, the other three quantities 1, 0, 0, `count` samples.
std::string olderIntervalRow(std::int64_t time, int volts, int count = 50)
{
    const std::string quantities = std::to_string(volts) + ",1,0,0";
    return rowTimeText(time) + "," + quantities + "," + quantities + "," + quantities + "," + std::to_string(count) + ",0";
}

// Rows of one interval file every `step` seconds from `first`.
std::vector<std::string> everyStep(std::int64_t first, int step, int rows, int count = 50)
{
    std::vector<std::string> out;
    for (int r = 0; r < rows; ++r)
        out.push_back(olderIntervalRow(first + std::int64_t{r} * step, 6600 + r, count));
    return out;
}

// --- Times ---------------------------------------------------------------------------------

TEST(RowTime, TheLoggersAndASpreadsheetsTextsAndNothingElse)
{
    struct Case {
        const char *text;
        bool readable;
        std::int64_t seconds; // since 1970-01-01 of the local clock
    };
    const Case cases[] = {
        {"1970/01/01 0:00:01", true, 1},
        {"2016/06/24 9:05:03", true, 1466759103},
        {"2016/06/24 09:05:03", true, 1466759103},
        {"2016/06/24", true, 1466726400}, // midnight: the date alone
        {"2024/02/29 23:59:59", true, 1709251199},
        {"2023/02/29 1:00:00", false, 0},
        {"2016/06/24 24:00:00", false, 0},
        {"2016/06/24 9:60:00", false, 0},
        // As a spreadsheet saves the times back.
        {"2016/6/24 9:05", true, 1466759100},
        {"2016/06/24 9:05", true, 1466759100},
        {"2016/6/4 0:00", true, 1464998400},
        {"2016-06-24T09:05:03", true, 1466759103},
        {"2016-06-24 9:05:03", true, 1466759103},
        {"2016-06-24", true, 1466726400},
        {"2016/06-24 9:05:03", false, 0},
        {"2016/06/24 9:5:03", false, 0},
        {"2016/06/24 9:05:3", false, 0},
        {"2016/06/24 9:05:03.5", false, 0},
        {"2016/006/24", false, 0},
        {"20160624", false, 0},
        {"", false, 0},
        {"2016/06/24 9:05:03 ", false, 0},
    };
    for (const Case &k : cases) {
        const std::optional<std::int64_t> seconds = parseRowTime(k.text);
        ASSERT_EQ(seconds.has_value(), k.readable) << k.text;
        if (!k.readable)
            continue;
        EXPECT_EQ(*seconds, k.seconds) << k.text;
        const std::string back = rowTimeText(*seconds);
        EXPECT_EQ(parseRowTime(back), seconds) << back;
    }
    EXPECT_EQ(rowTimeText(1466759103), "2016/06/24 9:05:03");
    EXPECT_EQ(rowTimeText(1466726400), "2016/06/24");
    EXPECT_EQ(rowTimeText(-1), "1969/12/31 23:59:59");
    EXPECT_EQ(rowTimeText(-86400), "1969/12/31");
}

// Blocks of ten minutes, an hour, a day start on the clock's multiples, before 1970 too; a
// fraction of a second belongs to its whole second.
TEST(RowTimes, ClockAlignedBlocks)
{
    struct Case {
        double time;
        std::int64_t length, start;
    } cases[] = {
        {1466759103.0, 600, 1466758800},  {1466759103.9, 86400, 1466726400}, {1466726400.0, 86400, 1466726400},
        {1466726399.999, 86400, 1466640000}, {0.5, 3600, 0}, {-0.5, 3600, -3600}, {-3600.0, 3600, -3600},
        {-3599.0, 600, -3600},
    };
    for (const Case &c : cases)
        EXPECT_EQ(blockStart(c.time, c.length), c.start) << c.time << " in " << c.length;
}

// The blocks of a range, or of the rows in it: each block's start, its part of the range and
// its rows. M is a midnight (2016/06/25 0:00:00); the blocks of rows leave out those without.
TEST(RowTimes, TheClockBlocksOfARangeAndOfRows)
{
    constexpr double M = 1466812800.0;
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Block {
        double start, from, to;
        std::size_t firstRow, endRow;
        bool operator==(const Block &) const = default;
    };
    struct Case {
        const char *name;
        bool overRows;
        std::vector<double> times;
        std::int64_t length;
        double from, to;
        std::vector<Block> blocks;
    } cases[] = {
        {"ten minutes across midnight", false, {}, 600, M - 600, M + 1200,
         {{M - 600, M - 600, M, 0, 0}, {M, M, M + 600, 0, 0}, {M + 600, M + 600, M + 1200, 0, 0}}},
        {"days across midnight, cut to the range", false, {}, 86400, M - 600, M + 1200,
         {{M - 86400, M - 600, M, 0, 0}, {M, M, M + 1200, 0, 0}}},
        {"hours before 1970", false, {}, 3600, -5000.5, -1000.0,
         {{-7200, -5000.5, -3600, 0, 0}, {-3600, -3600, -1000, 0, 0}}},
        {"hours across 1970", false, {}, 3600, -0.5, 0.5, {{-3600, -0.5, 0, 0, 0}, {0, 0, 0.5, 0, 0}}},
        {"from mid-block to a block's end", false, {}, 600, M + 303.5, M + 600, {{M, M + 303.5, M + 600, 0, 0}}},
        {"an empty range mid-block", false, {}, 600, M + 303.5, M + 303.5, {}},
        {"a range backwards", false, {}, 600, M + 1200, M, {}},
        {"rows across midnight, a block without rows left out", true,
         {M - 2.0, M - 0.5, M, M + 599.8, M + 600.0, M + 1800.2}, 600, -inf, inf,
         {{M - 600, M - 600, M, 0, 2}, {M, M, M + 600, 2, 4}, {M + 600, M + 600, M + 1200, 4, 5},
          {M + 1800, M + 1800, M + 2400, 5, 6}}},
        {"the rows of a range from mid-block", true, {M - 2.0, M - 0.5, M, M + 599.8, M + 600.0, M + 1800.2}, 600,
         M - 1.0, M + 1800.0, {{M - 600, M - 1.0, M, 1, 2}, {M, M, M + 600, 2, 4}, {M + 600, M + 600, M + 1200, 4, 5}}},
        {"rows before 1970", true, {-3600.5, -0.5, -0.2, 0.0}, 3600, -inf, inf,
         {{-7200, -7200, -3600, 0, 1}, {-3600, -3600, 0, 1, 3}, {0, 0, 3600, 3, 4}}},
        {"no rows", true, {}, 600, -inf, inf, {}},
        {"no row in the range", true, {M, M + 1.0}, 600, M + 2.0, M + 600.0, {}},
        {"an empty range over rows", true, {M, M + 1.0}, 600, M + 1.0, M + 1.0, {}},
    };
    for (const Case &c : cases) {
        const ClockBlocks blocks = c.overRows ? ClockBlocks(c.times, c.length, c.from, c.to) : ClockBlocks(c.from, c.to, c.length);
        std::vector<Block> got;
        for (const ClockBlock &b : blocks)
            got.push_back({static_cast<double>(b.start), b.from, b.to, b.firstRow, b.endRow});
        ASSERT_EQ(got.size(), c.blocks.size()) << c.name;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], c.blocks[i]) << c.name << ", block " << i << " starts " << std::fixed << got[i].start
                                           << " from " << got[i].from << " to " << got[i].to << " rows "
                                           << got[i].firstRow << "-" << got[i].endRow;
    }
}

// A column of times in one format: midnight with its time too, the date alone apart.
TEST(RowTimes, MidnightWithItsTimeAndTheDateAlone)
{
    EXPECT_EQ(fullRowTimeText(1466726400.0), "2016/06/24 0:00:00");
    EXPECT_EQ(fullRowTimeText(1466759103.7), "2016/06/24 9:05:03");
    EXPECT_EQ(rowDateText(1466759103), "2016/06/24");
    EXPECT_EQ(rowDateText(1466726400), "2016/06/24");
}

// --- Layouts and headers -------------------------------------------------------------------

TEST(RecordLayout, EachHeaderInShiftJisOrUtf8NamesItsColumns)
{
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        for (ControllerVersion version : {kOlder, kV2}) {
            std::string names = "時刻";
            for (int slot : columnsOf({mode, version}))
                names += "," + columnName(slot);
            EXPECT_EQ(names, headerLine(mode, version));
            const RowLayout expected{mode, version};
            EXPECT_EQ(layoutOfHeader(sjisHeader(mode, version)), expected);
            EXPECT_EQ(layoutOfHeader(headerLine(mode, version) + "\r"), expected);
            EXPECT_EQ(layoutOfHeader("\xEF\xBB\xBF" + headerLine(mode, version)), expected); // a spreadsheet's save
        }
    }
    EXPECT_FALSE(layoutOfHeader("time,value").samplingMode);
    EXPECT_FALSE(layoutOfHeader(headerLine(SamplingMode::Continuous, kOlder) + ",extra").samplingMode);
}

// --- Reading files -------------------------------------------------------------------------

TEST(RecordRead, RowsOfEveryLayoutAsTheLoggerWroteThem)
{
    MeasurementSample s;
    s[MeasurementSample::GridVoltage] = 6600;
    s[MeasurementSample::LoadActivePower] = 12.25f;
    s[MeasurementSample::NegSeqCommandQ] = -3.5f;
    s[MeasurementSample::StatusWord] = -1;
    for (ControllerVersion version : {kOlder, kV2}) {
        const std::string row = continuousRow({2016, 6, 24, 9, 5, 3}, s, version);
        const RecordFile file = readRecord("f.csv", olderFile({}).substr(0, 0) + sjisHeader(SamplingMode::Continuous, version) + "\r\n" + row + "\r\n");
        ASSERT_TRUE(file.readable()) << file.error;
        ASSERT_EQ(file.table.rows(), 1u);
        EXPECT_EQ(file.table.value(c::value(Sample::GridVoltage), 0), 6600.0f);
        EXPECT_EQ(file.table.value(c::value(Sample::LoadActivePower), 0), 12.2f);
        EXPECT_EQ(file.table.value(c::kStatus, 0), -1.0f);
        if (version == kV2)
            EXPECT_EQ(file.table.value(c::value(Sample::NegSeqCommandQ), 0), -3.5f);
        else
            EXPECT_TRUE(std::isnan(file.table.value(c::value(Sample::NegSeqCommandQ), 0)));
    }
    // An interval file of a version-2 controller, its header saved as UTF-8 with a mark and LF.
    const std::string v2 = "\xEF\xBB\xBF" + headerLine(SamplingMode::Interval, kV2) + "\n"
        + "2016/06/24 9:05:01,6600,1,2,3,4,5,6,7,6612,1,2,3,4,5,6,7.5,6588,1,2,3,4,5,6,6.5,5,0\n";
    const RecordFile utf8 = readRecord("u.csv", v2);
    ASSERT_TRUE(utf8.readable()) << utf8.error;
    EXPECT_EQ(utf8.layout, (RowLayout{SamplingMode::Interval, kV2}));
    EXPECT_EQ(utf8.table.value(c::max(Sample::NegSeqCommandQ), 0), 7.5f);
    EXPECT_EQ(utf8.table.value(c::min(Sample::NegSeqCommandQ), 0), 6.5f);
    // An interval file: average, maximum, minimum and the count.
    const std::string interval = sjisHeader(SamplingMode::Interval, kOlder) + "\r\n"
        + "2016/06/24 9:05:01,6600,1,2,3,6612,1.5,2.5,3.5,6588,0.5,1.5,2.5,5,0\r\n";
    const RecordFile file = readRecord("i.csv", interval);
    ASSERT_TRUE(file.readable()) << file.error;
    EXPECT_EQ(file.table.value(c::max(Sample::GridVoltage), 0), 6612.0f);
    EXPECT_EQ(file.table.value(c::min(Sample::SvgOutput), 0), 2.5f);
    EXPECT_EQ(file.table.value(c::kCount, 0), 5.0f);
}

TEST(RecordRead, RowsOfOneSecondSpreadOverItAndTheMidnightRowReadsItsDate)
{
    const RecordFile file = readRecord("f.csv", olderFile({"2016/06/24 23:59:59,6600,0,0,0,0", "2016/06/24 23:59:59,6601,0,0,0,0",
                                                           "2016/06/24 23:59:59,6602,0,0,0,0", "2016/06/25,6603,0,0,0,0",
                                                           "2016/06/25 0:00:01,6604,0,0,0,0"}));
    ASSERT_TRUE(file.readable());
    const std::vector<double> &t = file.table.times();
    const double second = static_cast<double>(*parseRowTime("2016/06/24 23:59:59"));
    ASSERT_EQ(t.size(), 5u);
    EXPECT_DOUBLE_EQ(t[0], second);
    EXPECT_DOUBLE_EQ(t[1], second + 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(t[2], second + 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(t[3], second + 1.0);
    EXPECT_DOUBLE_EQ(t[4], second + 2.0);
}

TEST(RecordRead, MalformedRowsAreLeftOutAndNamedTheRestIsRead)
{
    struct Case {
        std::string name;
        std::string bytes;
        std::size_t rows;
        std::vector<std::string> problems; // each problem's start
        std::string error;                 // the start of the file's error
    };
    const std::string good = "2016/06/24 9:05:03,6600,10,5,-3,0";
    const Case cases[] = {
        {"LF line ends", olderFile({good, good}, "\n"), 2, {}, ""},
        // A spreadsheet's save: fields in double quotes, its own time texts.
        {"quoted fields", olderFile({"\"2016/6/24 9:05\",\"6600\",\"10\",5,\"-3\",0", "2016-06-24T09:05:04,6600,10,5,-3,0"}),
         2, {}, ""},
        {"a comma inside quotes", olderFile({good, "2016/06/24 9:05:04,\"6,600\",10,5,-3,0"}), 1,
         {"f.csv:3: field 2 is no number ('6,600')"}, ""},
        {"no final line end", olderFile({good}) + good, 2, {}, ""},
        {"a field short", olderFile({good, "2016/06/24 9:05:04,6600,10,5,0", good}), 2,
         {"f.csv:3: wrong field count (5, the header has 6)"}, ""},
        {"a field over", olderFile({good + ",1"}), 0, {},
         "f.csv: no readable row (1 rows left out; the first: f.csv:2: wrong field count (7"},
        {"a field no number", olderFile({good, "2016/06/24 9:05:04,66x0,10,5,-3,0"}), 1,
         {"f.csv:3: field 2 is no number ('66x0')"}, ""},
        {"no time", olderFile({"24/06/2016 9:05:04,6600,10,5,-3,0", good}), 1, {"f.csv:2: no time in field 1"}, ""},
        {"nan and inf", olderFile({"2016/06/24 9:05:04,nan,10,5,-3,0", "2016/06/24 9:05:04,inf,10,5,-3,0"}), 0, {},
         "f.csv: no readable row (2 rows left out; the first: f.csv:2: field 2"},
        // A header that fits none of a day's rows: one message for the file, not one a row.
        {"a wrong header", olderFile(std::vector<std::string>(5000, good + ",1,2,3,4")), 0, {},
         "f.csv: no readable row (5000 rows left out; the first: f.csv:2: wrong field count (10, the header has 6)"},
        // Among readable rows: ten named, the rest counted.
        {"many bad rows", olderFile([&] {
             std::vector<std::string> rows(30, good + ",1");
             rows.push_back(good);
             return rows;
         }()),
         1, {"f.csv:2: ", "f.csv:3: ", "f.csv:4: ", "f.csv:5: ", "f.csv:6: ", "f.csv:7: ", "f.csv:8: ", "f.csv:9: ",
             "f.csv:10: ", "f.csv:11: ", "f.csv: 20 more rows left out"}, ""},
        // Bytes of the file that are no UTF-8 are escaped in the message; UTF-8 stays.
        {"Shift-JIS in a field", olderFile({good, "2016/06/24 9:05:04,\x93\x64\x88\xb3,10,5,-3,0"}), 1,
         {"f.csv:3: field 2 is no number ('\\x93d\\x88\\xB3')"}, ""},
        {"UTF-8 in a field", olderFile({good, "2016/06/24 9:05:04,電圧,10,5,-3,0"}), 1,
         {"f.csv:3: field 2 is no number ('電圧')"}, ""},
        {"last row cut short", olderFile({good}) + "2016/06/24 9:05:0", 1, {"f.csv:3: last line cut short"}, ""},
        {"an empty line", olderFile({good, "", good}), 2, {"f.csv:3: wrong field count (1"}, ""},
        {"empty file", "", 0, {}, "f.csv: empty"},
        {"another program's CSV", "a,b,c\r\n1,2,3\r\n", 0, {}, "f.csv: not a log file of the logger"},
        {"junk", std::string("\x00\xff\x01garbage", 10), 0, {}, "f.csv: not a log file of the logger"},
        {"a header only", olderFile({}), 0, {}, "f.csv: no readable row"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const RecordFile file = readRecord("f.csv", k.bytes);
        EXPECT_EQ(file.table.rows(), k.rows);
        ASSERT_EQ(file.problems.size(), k.problems.size());
        for (std::size_t i = 0; i < k.problems.size(); ++i)
            EXPECT_TRUE(file.problems[i].starts_with(k.problems[i])) << file.problems[i];
        EXPECT_TRUE(file.error.starts_with(k.error)) << file.error;
        EXPECT_EQ(file.error.empty(), k.error.empty()) << file.error;
    }
}

// --- Sets of files -------------------------------------------------------------------------

struct FolderFixture : ::testing::Test {
    std::filesystem::path dir;
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path()
            / ("svg-reading-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string &name, const std::string &bytes)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

// A logger in Central Europe on the days of both changes of 2026, its files as it writes them
// by the wall clock (no 2 o'clock file on 29 March; both 2 o'clock hours in one file on 25
// October), read by the same rules. By hand: each day is 23 or 25 hours of standard time; every
// row is in recording order and no step back of the clock is said; the day is covered whole,
// each of its 138 or 150 10-minute blocks complete; the stream's 1.0 s dips, one every 900 s
// from its start but at its start, are 91 or 99, each found once where it is.
TEST_F(FolderFixture, DaylightSavingDaysReadInRecordingOrder)
{
    const test::ClockZoneGuard zone(std::make_shared<EuropeanSummerTime>());
    struct Case {
        int month, day;
        std::int64_t hours;  // the day's length
        std::size_t files;   // its hourly files
    } const cases[] = {{3, 29, 23, 23}, {10, 25, 25, 24}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.month);
        RecordedDay recorded;
        recorded.folder = (dir / std::to_string(c.month)).string();
        recorded.month = c.month;
        recorded.day = c.day;
        recorded.hours = static_cast<int>(c.hours);
        recorded.eventEverySeconds = 900;
        recorded.zone = std::make_shared<EuropeanSummerTime>();
        ASSERT_EQ(recorded.write(), c.hours * 3600 * 5);
        EXPECT_EQ(RecordSet::logFilesIn(recorded.folder).size(), c.files);

        const RecordSet set = RecordSet::load({recorded.folder});
        for (const std::string &problem : set.problems())
            ADD_FAILURE() << problem;
        const std::vector<double> &times = set.table().times();
        ASSERT_EQ(times.size(), static_cast<std::size_t>(c.hours * 3600 * 5));
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
        const std::int64_t first = localClock().standardOf(daysFromCivil(2026, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)) * 86400);
        EXPECT_EQ(times.front(), static_cast<double>(first));
        EXPECT_NEAR(times.back(), static_cast<double>(first + c.hours * 3600) - 0.2, 1e-6);
        EXPECT_EQ(blockStart(times.back(), 86400), first);
        const std::int64_t end = nextBlockStart(first, 86400);
        EXPECT_EQ(end - first, c.hours * 3600);

        const PowerQualityReport report = makeReport(set, static_cast<double>(first), static_cast<double>(end), ReportSettings{});
        ASSERT_EQ(report.dailyCoverage.size(), 1u);
        EXPECT_EQ(report.dailyCoverage[0].first, first);
        EXPECT_NEAR(report.dailyCoverage[0].second.percent(), 100.0, 1e-9);
        EXPECT_EQ(report.tenMinutes.size(), static_cast<std::size_t>(c.hours * 6));
        EXPECT_EQ(std::count_if(report.tenMinutes.begin(), report.tenMinutes.end(), [](const TenMinuteValue &v) { return v.incomplete; }), 0);
        ASSERT_EQ(report.events.size(), static_cast<std::size_t>(c.hours * 4 - 1));
        for (std::size_t i = 0; i < report.events.size(); ++i) {
            EXPECT_EQ(report.events[i].kind, VoltageEvent::Kind::Dip) << i;
            EXPECT_EQ(report.events[i].start, static_cast<double>(first + 900 * static_cast<std::int64_t>(i + 1))) << i;
            ASSERT_TRUE(report.events[i].seconds) << i;
            EXPECT_NEAR(*report.events[i].seconds, 1.0, 1e-6) << rowTimeText(static_cast<std::int64_t>(report.events[i].start));
        }
    }
}

TEST_F(FolderFixture, AFoldersHourlyFilesJoinInTimeOrderWithTheirProblemsAndTheStrangersLeftOut)
{
    write("Tarmin24D10H0M0.csv", olderFile({"2016/06/24 10:00:00,6610,1,0,0,0", "2016/06/24 10:00:00,6611,2,0,0,0"}));
    write("Tarmin24D9H59M58G.csv", olderFile({"2016/06/24 9:59:58,6600,3,0,0,0", "2016/06/24 9:59:59,6601,x,0,0,0"}));
    write("notes.csv", "a,b\r\n");
    write("Tarmin24D11H0M0-2.csv", "");
    const RecordSet set = RecordSet::load({dir.string()});
    ASSERT_EQ(set.table().rows(), 3u);
    EXPECT_EQ(set.table().value(c::value(Sample::GridVoltage), 0), 6600.0f);
    EXPECT_EQ(set.table().value(c::value(Sample::GridVoltage), 1), 6610.0f);
    EXPECT_EQ(set.table().value(c::value(Sample::GridVoltage), 2), 6611.0f);
    ASSERT_EQ(set.parts().size(), 2u);
    EXPECT_TRUE(set.parts()[0].path.ends_with("Tarmin24D9H59M58G.csv"));
    EXPECT_EQ(set.parts()[1].firstRow, 1u);
    EXPECT_EQ(set.unreadableFiles(), 1u); // the empty one; notes.csv is no log file's name
    ASSERT_EQ(set.problems().size(), 2u);
    EXPECT_TRUE(set.problems()[0].ends_with("Tarmin24D9H59M58G.csv:3: field 3 is no number ('x')")) << set.problems()[0];
    EXPECT_TRUE(set.problems()[1].ends_with("Tarmin24D11H0M0-2.csv: empty")) << set.problems()[1];
    // Cursor lookup at the file boundary: the last row at or before a time.
    const double boundary = set.table().times()[1];
    EXPECT_EQ(set.table().atOrBefore(boundary), 1u);
    EXPECT_EQ(set.table().atOrBefore(boundary - 0.001), 0u);
    EXPECT_EQ(set.table().atOrBefore(set.table().times()[0] - 1.0), set.table().rows()); // before every row
    EXPECT_EQ(set.table().atOrBefore(1e12), 2u);
    EXPECT_EQ(&set.partOf(2), &set.parts()[1]);
    // A file named directly is read whatever its name; a missing one is named.
    const RecordSet direct = RecordSet::load({write("x.csv", olderFile({"2016/06/24 9:00:00,1,2,3,4,5"})), (dir / "gone.csv").string()});
    EXPECT_EQ(direct.table().rows(), 1u);
    ASSERT_EQ(direct.problems().size(), 1u);
    EXPECT_TRUE(direct.problems()[0].find("gone.csv: ") != std::string::npos) << direct.problems()[0];
}

// A file the logger is still writing: what was there when it was opened is read, the line
// it was in the middle of is named, and what comes after waits for the next reading.
TEST_F(FolderFixture, AFileGrowingWhileReadGivesWhatWasThereWhenOpened)
{
    const std::string path = write("Tarmin24D9H0M0.csv", olderFile({"2016/06/24 9:00:00,6600,1,0,0,0"}) + "2016/06/24 9:00:0");
    const MappedFile mapped(path);
    ASSERT_TRUE(mapped.ok());
    std::ofstream(path, std::ios::binary | std::ios::app) << "1,6601,1,0,0,0\r\n2016/06/24 9:00:02,6602,1,0,0,0\r\n";
    const RecordFile early = readRecord(path, mapped.bytes());
    EXPECT_EQ(early.table.rows(), 1u);
    ASSERT_EQ(early.problems.size(), 1u);
    EXPECT_NE(early.problems[0].find(":3: last line cut short"), std::string::npos) << early.problems[0];
    const RecordSet later = RecordSet::load({path});
    EXPECT_EQ(later.table().rows(), 3u);
    EXPECT_TRUE(later.problems().empty());
}

TEST_F(FolderFixture, StatsGiveTheFilesTextsAndExportGivesTheirBytes)
{
    const std::string first = olderFile({"2016/06/24 9:00:00,6600,12.2,-0.4,0,0", "2016/06/24 9:00:00,6612.5,1,0,0,16"});
    const std::string second = olderFile({"2016/06/24 10:00:00,6588,-3,0,0,0"});
    write("Tarmin24D9H0M0.csv", first);
    write("Tarmin24D10H0M0.csv", second);
    const RecordSet set = RecordSet::load({dir.string()});
    EXPECT_EQ(statsText(set), "name,min,max,mean,count\n"
                              "系統電圧(V),6588,6612.5,6600.167,3\n"
                              "負荷電力(kW),-3,12.2,3.4,3\n"
                              "負荷無効電力(kVar),-0.4,0,-0.1333333,3\n"
                              "ＳＶＧ出力(kVar),0,0,0,3\n"
                              "状態(10進),0,16,5.333333,3\n");
    const double nine = static_cast<double>(*parseRowTime("2016/06/24 9:00:00"));
    EXPECT_EQ(statsText(set, nine, nine), "name,min,max,mean,count\n"
                                          "系統電圧(V),6600,6612.5,6606.25,2\n"
                                          "負荷電力(kW),1,12.2,6.6,2\n"
                                          "負荷無効電力(kVar),-0.4,0,-0.2,2\n"
                                          "ＳＶＧ出力(kVar),0,0,0,2\n"
                                          "状態(10進),0,16,8,2\n");
    // The whole range: one header, then every row as written.
    std::ostringstream all;
    std::size_t rows = 0;
    EXPECT_EQ(exportRows(set, nine, nine + 3601, all, &rows), "");
    EXPECT_EQ(rows, 3u);
    EXPECT_EQ(all.str(), first + second.substr(second.find("\r\n") + 2));
    std::ostringstream one;
    EXPECT_EQ(exportRows(set, nine + 3600, nine + 3601, one), "");
    EXPECT_EQ(one.str(), second);
    std::ostringstream none;
    EXPECT_EQ(exportRows(set, 0, 1, none), "no row in the range");
    EXPECT_TRUE(none.str().empty());
    // Rows of two layouts never go under one header.
    write("Tarmin24D11H0M0.csv", sjisHeader(SamplingMode::Continuous, kV2) + "\r\n2016/06/24 11:00:00,1,2,3,4,5,6,7,8,0\r\n");
    std::ostringstream mixed;
    EXPECT_TRUE(exportRows(RecordSet::load({dir.string()}), nine, nine + 7201, mixed).starts_with("the rows are of more than one layout"));
    EXPECT_TRUE(mixed.str().empty());
}

// Inputs that hold the same rows twice: a file named twice (by another path, or inside a
// folder named too) is read once; two files sharing rows keep them once, and the overlap is
// named; another recording over the same time is left out with the reason, never interleaved;
// a clock that goes back inside a file is named by its line. The rows stay in time order. So
// for thousands of files too.
TEST_F(FolderFixture, TheSameRowsTwiceAreKeptOnceAndOtherRecordingsAreNeverInterleaved)
{
    auto seconds = [](int from, int to, int voltage) {
        std::vector<std::string> rows;
        for (int s = from; s <= to; ++s)
            rows.push_back("2016/06/24 0:00:" + std::string(s < 10 ? "0" : "") + std::to_string(s) + ","
                           + std::to_string(voltage + s) + ",1,0,0,0");
        return rows;
    };
    const std::string a = write("Tarmin24D0H0M0.csv", olderFile(seconds(0, 9, 6600)));
    const std::string b = write("Tarmin24D0H0M4.csv", olderFile(seconds(4, 13, 6600))); // 0:00:04–09 as in a
    std::filesystem::create_directories(dir / "other");
    const std::string c = (dir / "other" / "Tarmin24D0H0M5.csv").string();
    std::ofstream(c, std::ios::binary) << olderFile(seconds(5, 8, 7000)); // another recording

    struct Case {
        std::vector<std::string> inputs;
        std::size_t rows;
        std::vector<std::string> problems;
    } cases[] = {
        {{a, a}, 10, {}},
        {{a, (dir / "." / "Tarmin24D0H0M0.csv").string()}, 10, {}},
        {{dir.string(), b}, 14, {a + " and " + b + " overlap 2016/06/24 0:00:04–2016/06/24 0:00:09: 6 rows kept once"}},
        {{a, c}, 10, {c + ": overlaps " + a + " 2016/06/24 0:00:05–2016/06/24 0:00:08 with other rows (two "
                          "recordings at once, or a clock set back): left out; open it alone to see it"}},
    };
    for (const Case &k : cases) {
        const RecordSet set = RecordSet::load(k.inputs);
        EXPECT_EQ(set.table().rows(), k.rows) << k.inputs.back();
        EXPECT_EQ(set.problems(), k.problems);
        // The figures count a row kept once once.
        EXPECT_EQ(set.stats()[c::value(Sample::GridVoltage)].count, k.rows);
        EXPECT_TRUE(std::is_sorted(set.table().times().begin(), set.table().times().end()));
        // The export holds each row once, in time order.
        std::ostringstream out;
        std::size_t written = 0;
        ASSERT_EQ(exportRows(set, 0, 1e12, out, &written), "");
        EXPECT_EQ(written, k.rows);
        std::int64_t last = -1;
        for (const std::string &line : test::split(out.str(), '\n')) {
            const std::optional<std::int64_t> time = parseRowTime(test::split(line, ',')[0]);
            if (!time)
                continue;
            EXPECT_GT(*time, last) << line;
            last = *time;
        }
    }

    // Many files, each named three times (in its folder, by its path, by a path through "."):
    // each read once.
    std::filesystem::create_directories(dir / "many");
    std::vector<std::string> inputs{(dir / "many").string()};
    for (int second = 0; second < 2000; ++second) {
        const std::string name = "Tarmin25D0H" + std::to_string(second / 60) + "M" + std::to_string(second % 60) + ".csv";
        std::ofstream(dir / "many" / name, std::ios::binary) << olderFile({rowTimeText(1466812800 + second) + ",6600,1,0,0,0"});
        inputs.push_back((dir / "many" / name).string());
        inputs.push_back((dir / "many" / "." / name).string());
    }
    const RecordSet many = RecordSet::load(inputs);
    EXPECT_EQ(many.table().rows(), 2000u);
    EXPECT_EQ(many.parts().size(), 2000u);
    EXPECT_TRUE(many.problems().empty()) << many.problems().front();

    const std::string back = write("Tarmin24D1H0M0.csv", olderFile({"2016/06/24 1:00:00,1,0,0,0,0",
                                                                    "2016/06/24 0:59:58,2,0,0,0,0",
                                                                    "2016/06/24 1:00:01,3,0,0,0,0"}));
    const RecordSet stepped = RecordSet::load({back});
    ASSERT_EQ(stepped.problems().size(), 1u);
    EXPECT_EQ(stepped.problems()[0], back + ":3: the clock goes back from 2016/06/24 1:00:00 to 2016/06/24 0:59:58 "
                                            "(the row is kept, in time order)");
    EXPECT_TRUE(std::is_sorted(stepped.table().times().begin(), stepped.table().times().end()));
}

// A file read in pieces (each ending where a second ends, one per worker) gives what it gives
// read whole: the rows and their times, the problems by their lines, the figures; the progress
// moves within the file, and a cancel within it keeps the rows read before it.
TEST_F(FolderFixture, AFileReadInPiecesIsTheFileReadWhole)
{
    std::vector<std::string> rows;
    std::mt19937 random(7);
    for (int second = 0; second < 600; ++second) {
        const int perSecond = 1 + static_cast<int>(random() % 6);
        for (int k = 0; k < perSecond; ++k)
            rows.push_back(rowTimeText(1466726400 + second) + "," + std::to_string(6500 + random() % 200) + ",1.5,0,0,0");
        if (second % 97 == 5)
            rows.push_back("2016/06/24 x,1,2,3,4,5"); // a garbled time
        if (second == 300)
            rows.push_back(rowTimeText(1466726400 + 200) + ",1,0,0,0,0"); // the clock set back
    }
    const std::string path = write("Tarmin24D9H0M0.csv", olderFile(rows));
    const MappedFile bytes(path);
    const RecordSet whole = RecordSet::join({readRecord(path, bytes.bytes())});
    ASSERT_GT(whole.table().rows(), 1500u);
    ASSERT_EQ(whole.problems().size(), 8u); // seven rows left out, the clock set back named
    for (const std::size_t pieceBytes : {std::size_t{64}, std::size_t{1000}, std::size_t{4096}, RecordSet::kPieceBytes}) {
        std::vector<std::uint64_t> progress;
        const RecordSet pieces = RecordSet::load({path}, [&](std::uint64_t done, std::uint64_t total) {
            progress.push_back(done);
            EXPECT_LE(done, total);
        }, nullptr, pieceBytes);
        EXPECT_EQ(pieces.table().times(), whole.table().times()) << pieceBytes;
        for (int column : whole.columns()) {
            const auto &a = pieces.table().column(column), &b = whole.table().column(column);
            EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end(), [](float x, float y) {
                return x == y || (std::isnan(x) && std::isnan(y));
            })) << pieceBytes;
            EXPECT_EQ(pieces.stats()[static_cast<std::size_t>(column)].count, whole.stats()[static_cast<std::size_t>(column)].count);
            EXPECT_EQ(pieces.stats()[static_cast<std::size_t>(column)].maxText, whole.stats()[static_cast<std::size_t>(column)].maxText);
        }
        // Rows cut into pieces name the same lines; the clock set back between pieces too.
        EXPECT_EQ(std::set<std::string>(pieces.problems().begin(), pieces.problems().end()),
                  std::set<std::string>(whole.problems().begin(), whole.problems().end())) << pieceBytes;
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.size() > 1, pieceBytes < RecordSet::kPieceBytes) << pieceBytes;
    }
    std::atomic<bool> cancel{false};
    const RecordSet cancelled = RecordSet::load({path}, [&](std::uint64_t done, std::uint64_t total) {
        cancel = done * 4 > total;
    }, &cancel, 256);
    EXPECT_GT(cancelled.table().rows(), 0u);
    EXPECT_LT(cancelled.table().rows(), whole.table().rows());
    EXPECT_EQ(cancelled.table().times().front(), whole.table().times().front());
    EXPECT_EQ(cancelled.parts().back().bytesRead, 0u) << "a file read in part is never read on";
    EXPECT_GT(RecordSet::load({path}).parts().back().bytesRead, 0u);
}

// A folder a logger is still writing into: rows appended to the last file are read on from its
// last whole line, a new hourly file once it holds a row, each joined after the last row with
// the seconds spread anew; what does not fit after it asks for reading all anew.
TEST_F(FolderFixture, AFileStillBeingWrittenIsReadOnFromItsLastWholeLine)
{
    const auto append = [](const std::string &path, const std::string &bytes) {
        std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
    };
    const std::string a = write("Tarmin24D0H0M0.csv", olderFile({"2016/06/24 0:00:00,1,0,0,0,0", "2016/06/24 0:00:01,2,0,0,0,0",
                                                                 "2016/06/24 0:00:02,3,0,0,0,0"})
                                                          + "2016/06/24 0:00:02,4,0");
    RecordSet set = RecordSet::load({dir.string()});
    ASSERT_EQ(set.table().rows(), 3u);
    EXPECT_EQ(set.grow({dir.string()}), RecordSet::Growth::None);
    const double two = static_cast<double>(*parseRowTime("2016/06/24 0:00:02"));
    struct Step {
        std::string file, bytes;
        RecordSet::Growth growth;
        std::size_t rows, parts;
        std::vector<double> lastTimes; // after `two`
        std::string problem;           // the last one named
    } steps[] = {
        // The line cut short at the load is read whole now; a partial line waits.
        {a, ",0,0,0\r\n2016/06/24 0:00:03,5,0,0,0,0\r\n2016/06/24 0:00:0", RecordSet::Growth::Appended, 5, 1, {0.0, 0.5, 1.0}, ""},
        {a, "", RecordSet::Growth::None, 5, 1, {0.0, 0.5, 1.0}, ""},
        {a, "3,6,0,0,0,0\r\ngarbled\r\n", RecordSet::Growth::Appended, 6, 1, {0.0, 0.5, 1.0, 1.5},
         a + ":8: wrong field count (1, the header has 6)"},
        // The next hour's file: a header alone is no file yet.
        {"Tarmin24D1H0M0.csv", sjisHeader(SamplingMode::Continuous, kOlder) + "\r\n", RecordSet::Growth::None, 6, 1, {}, ""},
        {"Tarmin24D1H0M0.csv", "2016/06/24 1:00:00,7,0,0,0,0\r\n", RecordSet::Growth::Appended, 7, 2, {}, ""},
        {"Tarmin24D1H0M0.csv", "2016/06/24 1:00:01,8,0,0,0,0\r\n", RecordSet::Growth::Appended, 8, 2, {}, ""},
        // Rows that go before the last: only reading all anew places them.
        {"Tarmin23D0H0M0.csv", olderFile({"2016/06/23 0:00:00,9,0,0,0,0"}), RecordSet::Growth::Reload, 8, 2, {}, ""},
    };
    for (const Step &step : steps) {
        const std::string path = step.file.find('/') == std::string::npos ? (dir / step.file).string() : step.file;
        append(path, step.bytes);
        EXPECT_EQ(set.grow({dir.string()}), step.growth) << step.bytes;
        EXPECT_EQ(set.table().rows(), step.rows) << step.bytes;
        EXPECT_EQ(set.parts().size(), step.parts) << step.bytes;
        EXPECT_TRUE(std::is_sorted(set.table().times().begin(), set.table().times().end()));
        if (!step.lastTimes.empty() && set.table().rows() >= 2 + step.lastTimes.size()) {
            const std::vector<double> &times = set.table().times();
            const std::vector<double> tail(times.begin() + 2, times.begin() + 2 + static_cast<std::ptrdiff_t>(step.lastTimes.size()));
            std::vector<double> expected;
            for (double t : step.lastTimes)
                expected.push_back(two + t);
            EXPECT_EQ(tail, expected) << step.bytes;
        }
        if (!step.problem.empty()) {
            EXPECT_EQ(set.problems().back(), step.problem);
        }
    }
    EXPECT_EQ(set.stats()[c::value(Sample::GridVoltage)].count, 8u);
    EXPECT_EQ(set.stats()[c::value(Sample::GridVoltage)].maxText, "8");

    // Interval files read on: each new row spans its file's interval, a new file of one row
    // the interval before it where its count fits; interval rows whose span meets continuous
    // rows ask for reading all anew, which leaves them out.
    const std::filesystem::path folder = dir / "interval";
    std::filesystem::create_directories(folder);
    const std::int64_t midnight = 1466726400; // 2016/06/24
    const std::string first = (folder / "Tarmin24D0H0M10.csv").string();
    std::ofstream(first, std::ios::binary) << olderIntervalFile(everyStep(midnight + 10, 10, 3));
    RecordSet intervals = RecordSet::load({folder.string()});
    ASSERT_EQ(intervals.parts().size(), 1u);
    struct IntervalStep {
        std::string file, bytes;
        RecordSet::Growth growth;
        std::vector<int> spans; // of the rows, in time order (0: continuous)
    } intervalSteps[] = {
        {first, olderIntervalRow(midnight + 40, 6604) + "\r\n", RecordSet::Growth::Appended, {10, 10, 10, 10}},
        {"Tarmin24D0H1M0.csv", olderIntervalFile({olderIntervalRow(midnight + 60, 6606)}), RecordSet::Growth::Appended,
         {10, 10, 10, 10, 10}},
        {"Tarmin24D0H2M0.csv", olderFile({rowTimeText(midnight + 120) + ",6600,1,0,0,0", rowTimeText(midnight + 121) + ",6600,1,0,0,0"}),
         RecordSet::Growth::Appended, {10, 10, 10, 10, 10, 0, 0}},
        {"Tarmin24D0H2M2.csv", olderIntervalFile({olderIntervalRow(midnight + 130, 6613)}), RecordSet::Growth::Reload,
         {10, 10, 10, 10, 10, 0, 0}},
    };
    for (const IntervalStep &step : intervalSteps) {
        const std::string path = step.file.find('/') == std::string::npos ? (folder / step.file).string() : step.file;
        append(path, step.bytes);
        EXPECT_EQ(intervals.grow({folder.string()}), step.growth) << step.file;
        std::vector<int> spans;
        for (std::size_t row = 0; row < intervals.table().rows(); ++row)
            spans.push_back(static_cast<int>(intervals.table().span(row)));
        EXPECT_EQ(spans, step.spans) << step.file;
        EXPECT_EQ(intervals.sources().size(), intervals.parts().size());
    }
    const RecordSet anew = RecordSet::load({folder.string()});
    EXPECT_EQ(anew.table().rows(), 7u) << "the interval row of 0:02:00–0:02:10 left out";
    EXPECT_EQ(anew.sources().back().reason, RecordSet::Source::Reason::ContinuousRows);
}

// Cursors inside seconds (five rows each, spread over it): the export between them holds
// exactly the rows the figures use, the extreme the figures show among them, no row beyond.
TEST_F(FolderFixture, ExportBetweenTheCursorsHoldsTheRowsTheFiguresUse)
{
    std::vector<std::string> rows;
    for (int second = 0; second < 5; ++second)
        for (int k = 0; k < 5; ++k)
            rows.push_back("2016/06/24 9:00:0" + std::to_string(second) + "," + std::to_string(6600 + second * 5 + k)
                           + ",1,0,0,0");
    write("Tarmin24D9H0M0.csv", olderFile(rows));
    const RecordSet set = RecordSet::load({dir.string()});
    const double nine = static_cast<double>(*parseRowTime("2016/06/24 9:00:00"));
    struct Case {
        double a, b;
        std::size_t rows;
        const char *first, *last; // the voltages of the first and last row exported
    } cases[] = {
        {nine + 1.4, nine + 3.7, 12, "6607", "6618"}, // 1.4 … 3.6
        {nine + 3.7, nine + 1.4, 12, "6607", "6618"}, // either order
        {nine + 2.0, nine + 2.0, 1, "6610", "6610"},  // on a row: that row
        {nine + 0.0, nine + 4.8, 25, "6600", "6624"},
    };
    for (const Case &c : cases) {
        ViewWindow window;
        window.setRange(nine - 10, nine + 10);
        window.cursorA = c.a;
        window.cursorB = c.b;
        const auto between = window.between(set.table(), {recordColumn::value(Sample::GridVoltage)});
        ASSERT_TRUE(between);
        EXPECT_EQ(between->figures[0].count, c.rows);
        const ViewWindow::Span span = window.rowSpan();
        std::ostringstream out;
        std::size_t written = 0;
        ASSERT_EQ(exportRows(set, span.from, span.before, out, &written), "");
        EXPECT_EQ(written, c.rows) << c.a - nine << " to " << c.b - nine;
        const std::vector<std::string> lines = test::split(out.str(), '\n');
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(test::split(lines[1], ',')[1], c.first);
        EXPECT_EQ(test::split(lines[lines.size() - 2], ',')[1], c.last);
        EXPECT_EQ(std::to_string(static_cast<int>(between->figures[0].max)), c.last);
    }
}

// --- Interval rows: what each stands for, and continuous rows first --------------------------

// Each interval row's span (the table's kSpan) is its file's interval, inferred from its
// stamps (the median step: a stop of the logger is one step); a file of one row takes the
// interval of the nearest file that has one or the step to the next row where its sample
// count fits it, else its count × the sample period (the continuous rows', else 0.2 s).
TEST_F(FolderFixture, AnIntervalRowsSpanIsItsFilesInterval)
{
    const std::int64_t midnight = 1466726400; // 2016/06/24
    struct File {
        std::string name, bytes;
    };
    struct Case {
        const char *name;
        std::vector<File> files;
        std::vector<int> intervals; // of the parts, in time order (0: continuous)
    };
    std::vector<std::string> fourASecond;
    for (int second = 0; second < 10; ++second)
        for (int k = 0; k < 4; ++k)
            fourASecond.push_back(rowTimeText(midnight + second) + ",6600,1,0,0,0");
    const Case cases[] = {
        {"10 s rows", {{"Tarmin24D0H0M10.csv", olderIntervalFile(everyStep(midnight + 10, 10, 10))}}, {10}},
        {"10 s rows with a stop of the logger",
         {{"Tarmin24D0H0M10.csv", olderIntervalFile([&] {
               std::vector<std::string> rows = everyStep(midnight + 10, 10, 3);
               for (const std::string &row : everyStep(midnight + 300, 10, 3))
                   rows.push_back(row);
               return rows;
           }())}},
         {10}},
        {"one row beside a file of 10 s rows",
         {{"Tarmin24D0H0M10.csv", olderIntervalFile(everyStep(midnight + 10, 10, 5))},
          {"Tarmin24D0H10M0.csv", olderIntervalFile(everyStep(midnight + 600, 10, 1))}},
         {10, 10}},
        {"one row of 300 samples an hour after a file of 10 s rows: its count",
         {{"Tarmin24D0H0M10.csv", olderIntervalFile(everyStep(midnight + 10, 10, 5))},
          {"Tarmin24D1H0M0.csv", olderIntervalFile(everyStep(midnight + 3600 + 50, 10, 1, 300))}},
         {10, 60}},
        {"one row of 300 samples a minute after a file of 10 s rows: the step",
         {{"Tarmin24D0H0M10.csv", olderIntervalFile(everyStep(midnight + 10, 10, 5))},
          {"Tarmin24D0H1M50.csv", olderIntervalFile(everyStep(midnight + 110, 10, 1, 300))}},
         {10, 60}},
        {"an hour's interval: a row a file",
         {{"Tarmin24D1H0M0.csv", olderIntervalFile(everyStep(midnight + 3600, 1, 1, 18000))},
          {"Tarmin24D2H0M0.csv", olderIntervalFile(everyStep(midnight + 7200, 1, 1, 17990))},
          {"Tarmin24D3H0M0.csv", olderIntervalFile(everyStep(midnight + 10800, 1, 1, 18000))}},
         {3600, 3600, 3600}},
        {"one row alone", {{"Tarmin24D0H0M0.csv", olderIntervalFile(everyStep(midnight + 10, 10, 1))}}, {10}},
        {"one row beside continuous rows of four a second",
         {{"Tarmin24D0H0M0.csv", olderFile(fourASecond)},
          {"Tarmin24D0H2M0.csv", olderIntervalFile(everyStep(midnight + 120, 10, 1, 40))}},
         {0, 10}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        for (const File &f : k.files)
            write(f.name, f.bytes);
        const RecordSet set = RecordSet::load({dir.string()});
        ASSERT_EQ(set.parts().size(), k.intervals.size());
        for (std::size_t p = 0; p < k.intervals.size(); ++p) {
            const RecordSet::Part &part = set.parts()[p];
            EXPECT_EQ(part.intervalSeconds, k.intervals[p]) << part.path;
            EXPECT_EQ(set.sources()[part.source].intervalSeconds, k.intervals[p]);
            for (std::size_t row = part.firstRow; row < part.firstRow + part.rows; ++row) {
                if (k.intervals[p] == 0)
                    EXPECT_TRUE(std::isnan(set.table().value(c::kSpan, row)));
                else
                    EXPECT_EQ(set.table().value(c::kSpan, row), static_cast<float>(k.intervals[p]));
                EXPECT_EQ(set.table().span(row), k.intervals[p]);
            }
        }
        // The slots a copy of the table takes: the span with the files' columns.
        const std::vector<int> slots = set.tableColumns();
        EXPECT_EQ(std::count(slots.begin(), slots.end(), c::kSpan), 1);
        EXPECT_EQ(std::count(set.columns().begin(), set.columns().end(), c::kSpan), 0);
        // The same files read already and joined give the same.
        std::vector<RecordFile> read;
        for (const File &f : k.files)
            read.push_back(readRecord((dir / f.name).string(), f.bytes));
        const RecordSet joined = RecordSet::join(std::move(read));
        ASSERT_EQ(joined.parts().size(), k.intervals.size());
        for (std::size_t p = 0; p < k.intervals.size(); ++p)
            EXPECT_EQ(joined.parts()[p].intervalSeconds, k.intervals[p]);
    }
}

// A folder holding a continuous day and an interval day of the same hours (a logger switched
// between the modes, a second logger): every continuous row is used, and an interval row only
// where its whole span (stamp − 60 s, stamp] holds no continuous row, whichever file's name
// sorts first; the set says which files it used and which rows it left out, and why.
TEST_F(FolderFixture, ContinuousRowsWinOverIntervalRowsOfTheSameTime)
{
    RecordedDay continuousDay;
    continuousDay.folder = (dir / "continuous").string();
    continuousDay.hours = 3;
    ASSERT_EQ(continuousDay.write(), 3 * 18000);
    RecordedDay intervalDay = continuousDay;
    intervalDay.folder = (dir / "interval").string();
    intervalDay.interval = true;
    intervalDay.intervalSeconds = 60;
    ASSERT_GT(intervalDay.write(), 0);
    const RecordSet continuous = RecordSet::load({continuousDay.folder});
    const RecordSet interval = RecordSet::load({intervalDay.folder});
    ASSERT_EQ(continuous.table().rows(), 3u * 18000u);
    ASSERT_EQ(interval.parts().size(), 3u);
    const int volts = c::value(Sample::GridVoltage);

    struct Case {
        const char *name;
        std::vector<int> continuousHours;
        const char *intervalSuffix, *continuousSuffix; // "-2": the name the logger gives a second file of a second
    } cases[] = {
        {"an interval file beside each continuous one, its name first", {0, 1, 2}, "-2", ""},
        {"a continuous file beside each interval one, its name first", {0, 1, 2}, "", "-2"},
        {"the middle continuous hour missing", {0, 2}, "-2", ""},
        {"only the middle continuous hour", {1}, "-2", ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const std::filesystem::path mixed = dir / "mixed";
        std::filesystem::remove_all(mixed);
        std::filesystem::create_directories(mixed);
        const auto named = [&](int hour, const char *suffix) {
            return (mixed / ("Tarmin7D" + std::to_string(hour) + "H0M0" + suffix + ".csv")).string();
        };
        for (int hour : k.continuousHours)
            std::filesystem::copy_file(continuousDay.folder + "/Tarmin7D" + std::to_string(hour) + "H0M0.csv",
                                       named(hour, k.continuousSuffix));
        for (int hour = 0; hour < 3; ++hour)
            std::filesystem::copy_file(intervalDay.folder + "/Tarmin7D" + std::to_string(hour) + "H0M0.csv",
                                       named(hour, k.intervalSuffix));

        // What should be used, from each day read alone: the continuous seconds, then each
        // interval row whose 60 seconds before its stamp are none of them.
        std::set<std::int64_t> continuousSeconds;
        std::multiset<std::pair<double, float>> expected; // time, voltage
        for (std::size_t row = 0; row < continuous.table().rows(); ++row) {
            const double time = continuous.table().times()[row];
            const int hour = static_cast<int>(std::floor(time) - std::floor(continuous.table().times().front())) / 3600;
            if (std::find(k.continuousHours.begin(), k.continuousHours.end(), hour) == k.continuousHours.end())
                continue;
            continuousSeconds.insert(static_cast<std::int64_t>(std::floor(time)));
            expected.emplace(time, continuous.table().value(volts, row));
        }
        std::map<std::string, std::size_t> intervalRowsUsed; // by the file's name in the folder
        for (const RecordSet::Part &part : interval.parts()) {
            const std::string name = named(std::stoi(part.path.substr(part.path.find("D") + 1)), k.intervalSuffix);
            intervalRowsUsed[name] = 0;
            for (std::size_t row = part.firstRow; row < part.firstRow + part.rows; ++row) {
                const auto stamp = static_cast<std::int64_t>(interval.table().times()[row]);
                bool free = true;
                for (std::int64_t s = stamp - 60; s < stamp; ++s)
                    free = free && !continuousSeconds.contains(s);
                if (free) {
                    expected.emplace(interval.table().times()[row], interval.table().value(volts, row));
                    ++intervalRowsUsed[name];
                }
            }
        }

        const RecordSet set = RecordSet::load({mixed.string()});
        const RecordTable &table = set.table();
        EXPECT_EQ(table.rows(), expected.size());
        std::multiset<std::pair<double, float>> rows;
        for (std::size_t row = 0; row < table.rows(); ++row)
            rows.emplace(table.times()[row], table.value(volts, row));
        EXPECT_TRUE(rows == expected) << "every continuous row, interval rows only where none is";
        EXPECT_TRUE(std::is_sorted(table.times().begin(), table.times().end()));
        EXPECT_EQ(set.stats()[static_cast<std::size_t>(volts)].count, expected.size()) << "the figures count the rows used";
        // Parts: runs of each file's rows, continuous ones without a span.
        std::size_t next = 0;
        for (const RecordSet::Part &part : set.parts()) {
            EXPECT_EQ(part.firstRow, next);
            next += part.rows;
            const bool isInterval = part.layout.samplingMode == SamplingMode::Interval;
            EXPECT_EQ(part.intervalSeconds, isInterval ? 60 : 0) << part.path;
            for (std::size_t row = part.firstRow; row < part.firstRow + part.rows; ++row)
                ASSERT_EQ(table.span(row), isInterval ? 60.0 : 0.0) << part.path << " " << row;
        }
        EXPECT_EQ(next, table.rows());

        // The files used and those left out, each with its reason.
        using Reason = RecordSet::Source::Reason;
        ASSERT_EQ(set.sources().size(), 3 + k.continuousHours.size());
        for (const RecordSet::Source &source : set.sources()) {
            SCOPED_TRACE(source.path);
            EXPECT_EQ(source.linesUnreadable, 0u);
            if (source.layout.samplingMode == SamplingMode::Continuous) {
                EXPECT_EQ(source.reason, Reason::Used);
                EXPECT_EQ(source.rowsUsed, 18000u);
                EXPECT_EQ(source.rowsLeftOut, 0u);
                EXPECT_EQ(source.to - source.from, 3600.0);
                continue;
            }
            const std::size_t used = intervalRowsUsed.at(source.path);
            EXPECT_EQ(source.rowsUsed, used);
            EXPECT_EQ(source.rowsUsed + source.rowsLeftOut, source.path.find("D0H") != std::string::npos ? 59u : 60u);
            EXPECT_EQ(source.reason, used == 0 ? Reason::ContinuousRows : Reason::Used);
            std::size_t leftOut = 0;
            for (const RecordSet::Source::LeftOut &range : source.leftOut) {
                EXPECT_EQ(range.reason, Reason::ContinuousRows);
                EXPECT_EQ(range.to - range.from, 60.0 * static_cast<double>(range.rows));
                EXPECT_NE(range.by.find("Tarmin7D"), std::string::npos);
                leftOut += range.rows;
            }
            EXPECT_EQ(leftOut, source.rowsLeftOut);
        }
        // The report of the whole time lists them all.
        const PowerQualityReport report = makeReport(set, std::floor(table.times().front()) - 60.0,
                                                     std::floor(table.times().back()) + 1.0, ReportSettings{});
        EXPECT_EQ(report.sources.size(), set.sources().size());
    }
    EXPECT_EQ(RecordSet::reasonText(RecordSet::Source::Reason::ContinuousRows), "continuous rows of the same time are used");
}

// An interval row stands for (stamp − interval, stamp]: in the statistics' blocks it counts
// in the one its span ends in (a 60 s row stamped 1:00:00 in the hour 0:00–1:00, one stamped
// midnight in the day before), and a range holds it, for the statistics and the export, when
// its whole span lies in it.
TEST_F(FolderFixture, AnIntervalRowCountsInTheBlockAndRangeItsSpanLiesIn)
{
    const std::int64_t day = 1466726400; // 2016/06/24
    const std::int64_t stamps[] = {day + 3540, day + 3600, day + 3660, day + 3720, day + 86400 - 60, day + 86400, day + 86460};
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < std::size(stamps); ++i)
        rows.push_back(olderIntervalRow(stamps[i], 6601 + static_cast<int>(i)));
    write("Tarmin24D0H59M0.csv", olderIntervalFile(rows));
    const RecordSet set = RecordSet::load({dir.string()});
    ASSERT_EQ(set.parts().size(), 1u);
    ASSERT_EQ(set.parts()[0].intervalSeconds, 60);

    // The blocks' voltage lines, by hand: 0:00 holds 0:59:00 and 1:00:00 (6601, 6602), 1:00
    // holds 1:01:00 and 1:02:00 (6603, 6604), 23:00 holds 23:59:00 and midnight (6605,
    // 6606), the 25th's 0:00 holds 0:01:00 (6607).
    const auto voltageLines = [](const std::string &text) {
        std::vector<std::string> lines;
        for (const std::string &line : test::split(text, '\n'))
            if (line.starts_with("2016/") || line.starts_with("系統電圧(V)"))
                lines.push_back(line);
        return lines;
    };
    const double all = std::numeric_limits<double>::infinity();
    EXPECT_EQ(voltageLines(statsTextBy(set, 3600, -all, all)),
              (std::vector<std::string>{"2016/06/24", "系統電圧(V),6601,6602,6601.5,2", "2016/06/24 1:00:00",
                                        "系統電圧(V),6603,6604,6603.5,2", "2016/06/24 23:00:00",
                                        "系統電圧(V),6605,6606,6605.5,2", "2016/06/25", "系統電圧(V),6607,6607,6607,1"}));
    EXPECT_EQ(voltageLines(statsTextBy(set, 86400, -all, all)),
              (std::vector<std::string>{"2016/06/24", "系統電圧(V),6601,6606,6603.5,6", "2016/06/25",
                                        "系統電圧(V),6607,6607,6607,1"}));

    // Ranges as the command line gives them (whole seconds, both included): the rows whose
    // span lies within [from, to + 1 s].
    struct Range {
        std::int64_t from, to;
        std::vector<std::int64_t> rows; // their stamps
    } ranges[] = {
        {day + 3600, day + 3719, {day + 3660, day + 3720}},       // 1:00:00–1:01:59
        {day + 3600, day + 3718, {day + 3660}},                   // 1:00:00–1:01:58: 1:02:00's span ends after
        {day + 3541, day + 3720, {day + 3660, day + 3720}},       // 0:59:01–1:02:00: 1:00:00's span begins before
        {day + 3600, day + 3600, {}},                             // one second: no interval in it
        {day, day + 86399, {day + 3540, day + 3600, day + 3660, day + 3720, day + 86340, day + 86400}}, // the 24th
    };
    for (const Range &r : ranges) {
        SCOPED_TRACE(rowTimeText(r.from) + " to " + rowTimeText(r.to));
        const std::string stats = statsText(set, static_cast<double>(r.from), static_cast<double>(r.to));
        const std::string status = r.rows.empty() ? ",,,0" : "0,0,0," + std::to_string(r.rows.size());
        EXPECT_NE(stats.find("\n状態(10進)," + status + "\n"), std::string::npos) << stats;
        std::ostringstream out;
        const std::string why = exportRows(set, static_cast<double>(r.from), static_cast<double>(r.to) + 1.0, out);
        std::vector<std::string> exported;
        for (const std::string &line : test::split(out.str(), '\n'))
            if (line.starts_with("2016/"))
                exported.push_back(line.substr(0, line.find(',')));
        std::vector<std::string> expected;
        for (std::int64_t stamp : r.rows)
            expected.push_back(rowTimeText(stamp));
        EXPECT_EQ(exported, expected);
        EXPECT_EQ(why.empty(), !r.rows.empty()) << why;
        EXPECT_EQ(set.table().anyWithin(static_cast<double>(r.from), static_cast<double>(r.to) + 1.0), !r.rows.empty());
    }
    // The rule itself: an interval row's whole span, its end at `before` included.
    EXPECT_TRUE(rowWithin(60.0, 60.0, 0.0, 60.0));
    EXPECT_FALSE(rowWithin(60.0, 60.0, 0.5, 60.0));
    EXPECT_FALSE(rowWithin(60.0, 60.0, 0.0, 59.5));
    EXPECT_TRUE(rowWithin(59.8, 0.0, 0.0, 60.0));
    EXPECT_FALSE(rowWithin(60.0, 0.0, 0.0, 60.0));
}

// A Ctrl-Z (0x1A) at the very end is the file's end, not a line cut short; anywhere else it
// is a byte of a row like any other.
TEST(RecordEnd, ACtrlZAtTheEndIsTheEnd)
{
    const std::string rows = olderFile({"2016/06/24 9:00:00,6600,1,0,0,0"});
    for (const std::string &ending : {std::string("\x1a"), std::string("")}) {
        const RecordFile file = readRecord("z.csv", rows + ending);
        EXPECT_EQ(file.table.rows(), 1u);
        EXPECT_TRUE(file.problems.empty()) << file.problems.front();
    }
    const RecordFile cut = readRecord("z.csv", rows + "2016/06/24 9:00:01,66\x1a" "00,1,0,0,0\r\n");
    EXPECT_EQ(cut.problems.size(), 1u);
}

// Pre-trigger shading: in capture files only (named when the trigger fired, so their first
// rows come before their name's moment), the rows before the firing row.
TEST(PreTriggerShading, TheRowsBeforeEachCapturesFiringRowInCaptureFilesOnly)
{
    // Five rows a second from `first` for `seconds`, spread as the table spreads them.
    auto rowsFrom = [](const char *first, int seconds) {
        const double start = static_cast<double>(*parseRowTime(first));
        std::vector<double> times;
        for (int s = 0; s < seconds; ++s)
            for (int k = 0; k < 5; ++k)
                times.push_back(start + s + k / 5.0);
        return times;
    };
    struct Case {
        const char *name;
        const char *firstRow;
        std::size_t preTriggerCount; // the user's setting; 0: unknown
        std::size_t shaded;
    } cases[] = {
        {"Tarmin24D9H0M0.csv", "2016/06/24 9:00:00", 10, 0},      // an hourly file: nothing
        {"Tarmin24D9H0M10.csv", "2016/06/24 9:00:10", 10, 0},     // fired on its first row
        {"Tarmin24D9H0M10.csv", "2016/06/24 9:00:05", 0, 25},     // the rows stamped before 9:00:10
        {"Tarmin24D9H0M10.csv", "2016/06/24 9:00:05", 27, 27},    // two of the firing second before it
        {"Tarmin24D9H0M10.csv", "2016/06/24 9:00:05", 40, 25},    // a ring not yet full
        {"Tarmin24D9H0M10.csv", "2016/06/24 9:00:05", 10, 25},    // a setting the file contradicts
        {"Tarmin24D9H0M10G-2.csv", "2016/06/24 9:00:08", 0, 10},  // power-flow "G", a second name
        {"/logs/Tarmin25D0H0M2.csv", "2016/06/24 23:59:58", 0, 20}, // its ring from before midnight
        {"Tarmin1D0H0M1.csv", "2016/06/30 23:59:59", 0, 10},      // and the month's end
        {"capture.csv", "2016/06/24 9:00:05", 25, 0},             // no name of the logger's
        {"Tarmin24D25H0M10.csv", "2016/06/24 9:00:05", 25, 0},    // no time
    };
    for (const Case &c : cases) {
        const std::vector<double> times = rowsFrom(c.firstRow, 10);
        EXPECT_EQ(preTriggerRows(c.name, times.data(), times.size(), c.preTriggerCount), c.shaded)
            << c.name << " from " << c.firstRow << " with " << c.preTriggerCount;
    }
    EXPECT_EQ(preTriggerRows("Tarmin24D9H0M10.csv", nullptr, 0, 5), 0u);
}

// --- Drawing extremes ----------------------------------------------------------------------

// Against brute force: random columns with single-sample dips and NaN stretches, random runs.
TEST(MinMaxPyramidProperty, EveryRunGivesTheExactExtremes)
{
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 63u, 64u, 65u, 1000u, 4096u, 10007u}) {
        std::vector<float> column(size);
        for (float &v : column)
            v = 6600.0f + static_cast<float>(random() % 20);
        for (int dip = 0; dip < 5 && size > 0; ++dip)
            column[random() % size] = (dip % 2 ? 9000.0f : 100.0f); // a one-sample event
        if (size > 300)
            std::fill(column.begin() + 100, column.begin() + 260, std::nanf(""));
        const MinMaxPyramid pyramid(column);
        for (int q = 0; q < 300; ++q) {
            std::size_t a = size ? random() % (size + 1) : 0, b = size ? random() % (size + 1) : 0;
            if (a > b)
                std::swap(a, b);
            MinMaxPyramid::Range expected;
            for (std::size_t i = a; i < b; ++i) {
                if (std::isnan(column[i]))
                    continue;
                expected.min = expected.any ? std::min(expected.min, column[i]) : column[i];
                expected.max = expected.any ? std::max(expected.max, column[i]) : column[i];
                expected.any = true;
            }
            const MinMaxPyramid::Range got = pyramid.range(a, b);
            ASSERT_EQ(got.any, expected.any) << size << " [" << a << "," << b << ")";
            if (expected.any) {
                ASSERT_EQ(got.min, expected.min) << size << " [" << a << "," << b << ")";
                ASSERT_EQ(got.max, expected.max) << size << " [" << a << "," << b << ")";
            }
        }
    }
}

// --- Trigger replay ------------------------------------------------------------------------

TEST(TriggerReplayOnRows, FiresWhereARunWouldAndSkipsEachCapturesRows)
{
    RecordTable table;
    const std::vector<int> slots{c::value(Sample::GridVoltage), c::kStatus};
    const std::vector<float> volts{6600, 6900, 6900, 6600, 6600, 6900, 6600, 6250, 6600, 6600};
    for (std::size_t i = 0; i < volts.size(); ++i) {
        const float values[2] = {volts[i], 0};
        table.append(static_cast<double>(i), slots, values);
    }
    TriggerSettings settings;
    settings.windowOut[0] = true; // outside 6300..6800
    settings.preTriggerCount = "1";
    settings.recordCount = "2"; // a capture: its pre-trigger row and the rows up to 3 in all
    EXPECT_EQ(replayTrigger(table, 0, table.rows(), settings, 1), (std::vector<std::size_t>{1, 5, 7}));
    settings.preTriggerCount = "0"; // three rows after the firing belong to the capture
    EXPECT_EQ(replayTrigger(table, 0, table.rows(), settings, 1), (std::vector<std::size_t>{1, 5}));
    settings.continuous = false; // a single shot
    EXPECT_EQ(replayTrigger(table, 0, table.rows(), settings, 1), (std::vector<std::size_t>{1}));
    settings.continuous = true;
    EXPECT_EQ(replayTrigger(table, 6, table.rows(), settings, 1), (std::vector<std::size_t>{7})); // a range
    // AND with a change condition that cannot be met yet: no firing; the kept count decides.
    settings.orCombination = false;
    settings.change[0] = true;
    settings.compareDepth = "20";
    EXPECT_TRUE(replayTrigger(table, 0, table.rows(), settings, 2).empty());
}

} // namespace
} // namespace svglogger

namespace svglogger {
namespace {

// The replay against a real triggered run: the same lines through the engine once with the
// trigger (capture files) and once without (one continuous file); replayed over the latter,
// the trigger fires at exactly the rows each capture started with.
TEST(TriggerReplayAgainstARun, FiresWhereTheRunsCapturesFired)
{
    MeasurementGenerator generator({1, 5, 5.0, 40.0, 0}); // a dip every 40 s
    std::vector<std::string> lines;
    for (int i = 0; i < 5 * 600; ++i)
        lines.push_back(generator.nextLine());
    auto run = [&](bool trigger, test::EngineRig &rig) {
        rig.settings.trigger = trigger;
        rig.triggerSettings.windowOut[0] = true;
        rig.triggerSettings.limits[1] = "6400"; // the dips go below
        rig.triggerSettings.preTriggerCount = "7";
        rig.triggerSettings.recordCount = "30";
        rig.handler.trigger().setEnabledConditionCount(1);
        rig.clock.time = {2026, 12, 7, 9, 0, 0};
        rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
        rig.handler.startRun();
        rig.receive("D:");
        rig.receive(generator.versionLine() + "\r");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const int second = static_cast<int>(i / 5);
            rig.clock.time = {2026, 12, 7, 9, second / 60, second % 60};
            rig.receive(lines[i] + "\r");
        }
    };
    test::EngineRig triggered, continuous;
    run(true, triggered);
    run(false, continuous);
    ASSERT_EQ(continuous.files.opened.size(), 1u);
    ASSERT_GE(triggered.files.opened.size(), 5u);

    std::string bytes = *toShiftJis(headerLine(SamplingMode::Continuous, kOlder)) + "\r\n";
    const std::vector<std::string> &rows = continuous.files.lines(continuous.files.opened[0]);
    for (std::size_t i = 1; i < rows.size(); ++i)
        bytes += rows[i] + "\r\n";
    const RecordFile file = readRecord("c.csv", bytes);
    ASSERT_TRUE(file.readable());
    const std::vector<std::size_t> firings =
        replayTrigger(file.table, 0, file.table.rows(), triggered.triggerSettings, 1);
    ASSERT_EQ(firings.size(), triggered.files.opened.size());
    for (std::size_t k = 0; k < firings.size(); ++k) {
        // The row that fired a capture is its first outside the window: the pre-trigger rows
        // before it were all inside, or they would have fired.
        const std::vector<std::string> &capture = triggered.files.lines(triggered.files.opened[k]);
        const auto outside = std::find_if(capture.begin() + 1, capture.end(), [](const std::string &row) {
            return std::stof(row.substr(row.find(',') + 1)) < 6400.0f;
        });
        ASSERT_NE(outside, capture.end()) << "capture " << k;
        EXPECT_EQ(*outside, rows[firings[k] + 1]) << "capture " << k;
    }
}

} // namespace
} // namespace svglogger

#include "reading/TraceColumns.h"
#include "reading/ViewWindow.h"

namespace svglogger {
namespace {

RecordTable tableOf(const std::vector<double> &times, const std::vector<float> &volts, const std::vector<float> &status)
{
    RecordTable table;
    const std::vector<int> slots{recordColumn::value(Sample::GridVoltage), recordColumn::kStatus};
    for (std::size_t i = 0; i < times.size(); ++i) {
        const float values[2] = {volts[i], status[i]};
        table.append(times[i], slots, values);
    }
    return table;
}

// Pixel columns: every row in exactly one column, a silence longer than three sample periods
// marked as a gap, the status bits of a column ORed over its rows.
TEST(TraceColumnsLayout, RowsOnceEachGapsMarkedBitsOred)
{
    std::vector<double> times;
    std::vector<float> volts, status;
    for (int i = 0; i < 1000; ++i) {
        times.push_back(i * 0.2 + (i >= 500 ? 60.0 : 0.0)); // a minute's silence after row 499
        volts.push_back(6600.0f + static_cast<float>(i % 7));
        status.push_back(i == 321 ? 0x8001 - 0x10000 : (i % 100 == 0 ? 4.0f : 0.0f)); // -32767: bits 0 and 15
    }
    const RecordSet set = test::setOfOneFile(tableOf(times, volts, status));
    TraceColumns columns(set);
    for (int width : {1, 7, 300, 5000}) {
        columns.layout(times.front(), times.back() + 0.001, width);
        std::size_t covered = 0;
        std::uint16_t bits = 0;
        int gaps = 0;
        for (int x = 0; x < width; ++x) {
            const TraceColumns::Column &c = columns.columns()[static_cast<std::size_t>(x)];
            ASSERT_EQ(c.first, covered) << width << " " << x;
            covered = c.last;
            bits |= columns.bitsSet(x);
            gaps += c.gapBefore ? 1 : 0;
        }
        EXPECT_EQ(covered, times.size()) << width;
        EXPECT_EQ(bits, 0x8005) << width;
        EXPECT_EQ(gaps, width > 1 ? 1 : 0) << width; // the silence starts a column of its own
    }
}

// The view's window: zoom keeps the point under the pointer, pan moves by the width, no range
// narrower than a twentieth of a second; the figures between the cursors.
TEST(ViewWindowSteps, ZoomPanAndTheFiguresBetweenTheCursors)
{
    ViewWindow window;
    window.setRange(100.0, 200.0);
    window.zoom(0.5, 120.0);
    EXPECT_DOUBLE_EQ(window.from(), 110.0);
    EXPECT_DOUBLE_EQ(window.to(), 160.0);
    window.pan(-0.1);
    EXPECT_DOUBLE_EQ(window.from(), 105.0);
    for (int i = 0; i < 100; ++i)
        window.zoom(0.5, 130.0);
    EXPECT_NEAR(window.to() - window.from(), 0.05, 1e-9);

    const RecordTable table = tableOf({0, 1, 2, 3, 4}, {6600, 6610, 6590, 6620, 6605}, {0, 0, 0, 0, 0});
    EXPECT_FALSE(window.between(table, {recordColumn::value(Sample::GridVoltage)}).has_value()); // no cursors yet
    window.cursorA = 3.5; // the row of 3 s
    window.cursorB = 0.5; // the row of 0 s: B before A is fine
    const auto between = window.between(table, {recordColumn::value(Sample::GridVoltage)});
    ASSERT_TRUE(between.has_value());
    EXPECT_DOUBLE_EQ(between->seconds, -3.0);
    ASSERT_EQ(between->figures.size(), 1u);
    const ViewWindow::Between::Slot &v = between->figures[0];
    EXPECT_DOUBLE_EQ(v.delta, 6600.0 - 6620.0);
    EXPECT_EQ(v.count, 3u); // the rows at 1, 2 and 3 s
    EXPECT_DOUBLE_EQ(v.min, 6590.0);
    EXPECT_DOUBLE_EQ(v.max, 6620.0);
    EXPECT_DOUBLE_EQ(v.mean, (6610.0 + 6590.0 + 6620.0) / 3.0);
    window.cursorB = -5.0; // before every row: no row there, no change
    EXPECT_TRUE(std::isnan(window.between(table, {recordColumn::value(Sample::GridVoltage)})->figures[0].delta));
}

} // namespace
} // namespace svglogger
