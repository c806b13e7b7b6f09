#include "recording/CsvLayout.h"
#include "recording/TriggerWindowRules.h"
#include "support/EngineRig.h"
#include "support/Lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using test::olderLine;

// A run with the trigger on: window-out on the grid voltage (6300 V to 6800 V), continuous
// rows, an older controller. Row i carries the voltage 6000 + i... kept inside the window
// by staying between 6301 and 6799.
struct CaptureFixture : ::testing::Test {
    test::EngineRig rig;
    int second = 0;

    void SetUp() override
    {
        rig.settings.trigger = true;
        rig.triggerSettings.windowOut[0] = true;
        rig.handler.trigger().setEnabledConditionCount(1);
        rig.clock.time = {2016, 6, 24, 9, 0, 0};
        rig.receive("Ver1.00\r");
    }
    void arm(const std::string &preTrigger, const std::string &records)
    {
        rig.triggerSettings.preTriggerCount = preTrigger;
        rig.triggerSettings.recordCount = records;
        rig.handler.trigger().applySettings();
        rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
        rig.handler.startRun();
    }
    void tick()
    {
        ++second;
        rig.clock.time = {2016, 6, 24, 9 + second / 3600, second / 60 % 60, second % 60};
    }
    // A quiet sample (inside the window) whose row shows `v`.
    void quiet(int v)
    {
        tick();
        rig.receive(olderLine("0000", std::to_string(v), "0", "0", "0") + "\r");
    }
    void trigger(int v = 6900)
    {
        tick();
        rig.receive(olderLine("0000", std::to_string(v), "0", "0", "0") + "\r");
    }
    static std::string voltageOf(const std::string &row) { return row.substr(row.find(',') + 1, 4); }
    std::vector<std::string> voltages(const std::string &path)
    {
        std::vector<std::string> out;
        const auto &lines = rig.files.lines(path);
        for (std::size_t i = 1; i < lines.size(); ++i)
            out.push_back(voltageOf(lines[i]));
        return out;
    }
    // No row is in two files, and within a file the rows come in time order.
    void expectEveryRowInOneFileInOrder()
    {
        std::set<std::string> seen;
        for (const auto &[path, lines] : rig.files.files) {
            for (std::size_t i = 1; i < lines.size(); ++i) {
                EXPECT_TRUE(seen.insert(lines[i]).second) << lines[i] << " again in " << path;
                if (i > 1) {
                    EXPECT_LT(lines[i - 1].substr(0, 19), lines[i].substr(0, 19)) << path;
                }
            }
        }
    }
    void expectFieldsAsInTheHeader()
    {
        for (const auto &[path, lines] : rig.files.files)
            for (std::size_t i = 1; i < lines.size(); ++i)
                EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','),
                          std::count(lines[0].begin(), lines[0].end(), ','))
                    << path << ": " << lines[i];
    }
    static std::vector<std::string> range(int from, int to)
    {
        std::vector<std::string> out;
        for (int v = from; v <= to; ++v)
            out.push_back(std::to_string(v));
        return out;
    }
};

TEST_F(CaptureFixture, TriggerAtTheFirstLineStartsTheFileWithItsRow)
{
    arm("100", "1000");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    EXPECT_TRUE(rig.files.opened.empty());
    trigger(6900);
    ASSERT_EQ(rig.files.opened.size(), 1u);
    const auto &lines = rig.files.lines(rig.files.opened[0]);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Continuous, ControllerVersion::Older));
    EXPECT_EQ(lines[1], "2016/06/24 9:00:01,6900,0,0,0,0");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Capturing);
    EXPECT_TRUE(rig.recordingView.captureIndicatorShown);
    EXPECT_EQ(rig.recordingView.recordCount, "1");
}

TEST_F(CaptureFixture, FortyRowsBeforeAHundredSlotTriggerComeInOrderThenNPlusOneInAll)
{
    arm("100", "50");
    for (int i = 0; i < 40; ++i)
        quiet(6400 + i);
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_EQ(rig.recordingView.recordCount, ""); // nothing counted while armed
    trigger();
    const std::string file = rig.files.opened.at(0);
    std::vector<std::string> expected = range(6400, 6439);
    expected.push_back("6900");
    EXPECT_EQ(voltages(file), expected);
    for (int i = 0; i < 20; ++i)
        quiet(6500 + i);
    // 51 rows: 40 before, the trigger's, and 10 after; the 11th after the trigger is no
    // longer in this file.
    EXPECT_EQ(rig.files.lines(file).size(), 1u + 51u);
    EXPECT_EQ(voltages(file).back(), "6509");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed); // "連続": armed again
    EXPECT_FALSE(rig.recordingView.captureIndicatorShown);
    EXPECT_EQ(rig.handler.trigger().capture().captureRowCount(), 10); // counting the new pre-trigger rows
}

TEST_F(CaptureFixture, TwoHundredFiftyRowsKeepTheLastHundredOldestFirst)
{
    arm("100", "1000");
    for (int i = 1; i <= 250; ++i)
        quiet(6400 + i);
    trigger();
    std::vector<std::string> expected = range(6551, 6650);
    expected.push_back("6900");
    EXPECT_EQ(voltages(rig.files.opened.at(0)), expected);
    EXPECT_EQ(rig.handler.trigger().capture().captureRowCount(), 101);
}

TEST_F(CaptureFixture, ContinuousTwiceKeepsOnlyRowsAfterThePreviousCapture)
{
    arm("5", "10");
    for (int i = 0; i < 8; ++i)
        quiet(6400 + i);
    trigger(6900);
    for (int i = 0; i < 5; ++i)
        quiet(6500 + i); // 5 + 1 + 5 = 11 rows: complete
    ASSERT_EQ(rig.files.lines(rig.files.opened.at(0)).size(), 12u);
    quiet(6600);
    quiet(6601);
    trigger(6901);
    ASSERT_EQ(rig.files.opened.size(), 2u);
    EXPECT_EQ(voltages(rig.files.opened[1]), (std::vector<std::string>{"6600", "6601", "6901"}));
    for (int i = 0; i < 8; ++i)
        quiet(6700 + i);
    EXPECT_EQ(rig.files.lines(rig.files.opened[1]).size(), 12u);
    EXPECT_EQ(rig.stops, 0);
}

TEST_F(CaptureFixture, SingleShotStopsTheRunAndFinishes)
{
    rig.triggerSettings.continuous = false;
    arm("2", "10");
    quiet(6400);
    trigger();
    for (int i = 0; i < 8; ++i)
        quiet(6500 + i);
    EXPECT_EQ(rig.stops, 0);
    quiet(6508); // the eleventh row: complete
    EXPECT_EQ(rig.stops, 1);
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Finished);
    EXPECT_EQ(rig.handler.link().linkState(), LinkState::Idle);
    EXPECT_FALSE(rig.recordingView.captureIndicatorShown);
    EXPECT_EQ(rig.port.written.back(), '\x1b'); // Stop's ESC
    quiet(6600);
    trigger(6950);
    EXPECT_EQ(rig.files.opened.size(), 1u); // rows dropped, nothing evaluated
    EXPECT_EQ(rig.files.lines(rig.files.opened[0]).size(), 12u);
}

TEST_F(CaptureFixture, RecordCountLoweredDuringACaptureCompletesItWithTheNextRow)
{
    arm("3", "1000");
    trigger();
    quiet(6400);
    quiet(6401);
    rig.triggerSettings.recordCount = "2";
    quiet(6402);
    EXPECT_EQ(rig.files.lines(rig.files.opened.at(0)).size(), 1u + 4u);
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
}

TEST_F(CaptureFixture, StopInTheMiddleOfACaptureRestartsTheRingSoNoRowGoesIntoTwoFiles)
{
    arm("3", "100");
    quiet(6401);
    quiet(6402);
    quiet(6403);
    trigger(6900); // pre-trigger rows 6401..6403
    quiet(6500);
    rig.handler.stopRun(true);
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    EXPECT_EQ(rig.handler.trigger().capture().captureRowCount(), 0);
    EXPECT_FALSE(rig.recordingView.captureIndicatorShown) << "no capture is being written after Stop";
    EXPECT_EQ(rig.files.lines(rig.files.opened.at(0)).size(), 1u + 5u); // ends short
    rig.handler.startRun();
    quiet(6600);
    trigger(6950);
    EXPECT_EQ(voltages(rig.files.opened.at(1)), (std::vector<std::string>{"6600", "6950"}));
    expectEveryRowInOneFileInOrder();
}

TEST_F(CaptureFixture, StopInTheMiddleOfACaptureThenAFullRingKeepsTimeOrder)
{
    arm("3", "100");
    quiet(6401);
    trigger(6900);
    for (int i = 0; i < 20; ++i)
        quiet(6500 + i);
    rig.handler.stopRun(true);
    rig.handler.startRun();
    for (int i = 0; i < 5; ++i)
        quiet(6600 + i);
    trigger(6950);
    EXPECT_EQ(voltages(rig.files.opened.at(1)), (std::vector<std::string>{"6602", "6603", "6604", "6950"}));
    expectEveryRowInOneFileInOrder();
}

TEST_F(CaptureFixture, RowsBufferedBeforeAStopWhileArmedMayFollowTheNextStart)
{
    arm("5", "100");
    quiet(6401);
    quiet(6402);
    rig.handler.stopRun(true);
    rig.handler.startRun();
    quiet(6403);
    trigger(6950);
    EXPECT_EQ(voltages(rig.files.opened.at(0)), (std::vector<std::string>{"6401", "6402", "6403", "6950"}));
}

// The rows waiting in the ring have the layout of the moment they were made; a capture file
// gets only rows of its header's layout.
TEST_F(CaptureFixture, VersionChangeWhileArmedRestartsTheRing)
{
    arm("5", "100");
    quiet(6401);
    quiet(6402);
    rig.receive("Ver2.00\r");
    tick();
    rig.receive(test::version2Line("0000", "6403", "0", "0", "0", "0", "0", "0", "0") + "\r");
    tick();
    rig.receive(test::version2Line("0000", "6904", "0", "0", "0", "0", "0", "0", "0") + "\r");
    const auto &lines = rig.files.lines(rig.files.opened.at(0));
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Continuous, ControllerVersion::Version2));
    EXPECT_EQ(voltages(rig.files.opened[0]), (std::vector<std::string>{"6403", "6904"}));
    expectFieldsAsInTheHeader();
}

TEST_F(CaptureFixture, SamplingModeChangedBetweenRunsRestartsTheRing)
{
    arm("5", "100");
    quiet(6401);
    quiet(6402);
    rig.handler.stopRun(true);
    rig.settings.sampling = SamplingMode::Interval; // interval rows from now on
    rig.settings.interval = "1";
    rig.handler.startRun();
    for (int i = 0; i < 3; ++i)
        quiet(6500 + i);
    trigger(6950);
    const auto &lines = rig.files.lines(rig.files.opened.at(0));
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Interval, ControllerVersion::Older));
    EXPECT_EQ(lines.size(), 4u) << "the interval rows made since the Start, the trigger's last";
    expectFieldsAsInTheHeader();
}

TEST_F(CaptureFixture, VersionChangeDuringACaptureEndsItShort)
{
    arm("2", "100");
    quiet(6401);
    trigger(6900);
    quiet(6500);
    rig.receive("Ver2.00\r");
    tick();
    rig.receive(test::version2Line("0000", "6501", "0", "0", "0", "0", "0", "0", "0") + "\r");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    EXPECT_FALSE(rig.recordingView.captureIndicatorShown);
    tick();
    rig.receive(test::version2Line("0000", "6905", "0", "0", "0", "0", "0", "0", "0") + "\r");
    ASSERT_EQ(rig.files.opened.size(), 2u);
    EXPECT_EQ(voltages(rig.files.opened[0]), (std::vector<std::string>{"6401", "6900", "6500"}));
    EXPECT_EQ(rig.files.lines(rig.files.opened[1])[0], headerLine(SamplingMode::Continuous, ControllerVersion::Version2));
    EXPECT_EQ(voltages(rig.files.opened[1]), (std::vector<std::string>{"6501", "6905"}));
    expectFieldsAsInTheHeader();
    expectEveryRowInOneFileInOrder();
}

TEST_F(CaptureFixture, SlotsNeverFilledBeforeAStopAreNotWrittenAsBlankLines)
{
    arm("100", "1000");
    quiet(6401);
    quiet(6402);
    trigger(6900); // two pre-trigger rows; the ring's other slots were never filled
    for (int i = 0; i < 20; ++i)
        quiet(6500 + i);
    rig.handler.stopRun(true);
    rig.handler.startRun();
    trigger(6950);
    EXPECT_EQ(voltages(rig.files.opened.at(1)), (std::vector<std::string>{"6950"}));
    EXPECT_EQ(rig.handler.trigger().capture().captureRowCount(), 1);
}

TEST_F(CaptureFixture, ApplyingTheSettingsWhileArmedWritesNoEmptyLine)
{
    arm("5", "100");
    for (int i = 0; i < 7; ++i)
        quiet(6400 + i);
    rig.handler.trigger().applySettings(); // "設定" while armed: the rings start again
    quiet(6500);
    trigger();
    const auto &lines = rig.files.lines(rig.files.opened.at(0));
    for (const std::string &line : lines)
        EXPECT_FALSE(line.empty());
    EXPECT_EQ(voltages(rig.files.opened[0]), (std::vector<std::string>{"6500", "6900"}));
}

TEST_F(CaptureFixture, ApplyingTheSettingsWhileCapturingKeepsTheCaptureCount)
{
    arm("2", "5");
    quiet(6400);
    trigger(); // 2 rows: 6400, 6900
    rig.handler.trigger().applySettings();
    EXPECT_EQ(rig.handler.trigger().capture().captureRowCount(), 2);
    for (int i = 0; i < 4; ++i)
        quiet(6500 + i);
    EXPECT_EQ(rig.files.lines(rig.files.opened.at(0)).size(), 1u + 6u);
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
}

TEST_F(CaptureFixture, NoPreTriggerRowsWithACountOfZero)
{
    arm("0", "10");
    for (int i = 0; i < 5; ++i)
        quiet(6400 + i);
    trigger();
    EXPECT_EQ(voltages(rig.files.opened.at(0)), (std::vector<std::string>{"6900"}));
}

TEST_F(CaptureFixture, StartBeforeAnySettingsAppliesTheWindowsValues)
{
    rig.triggerSettings.preTriggerCount = "2";
    rig.triggerSettings.compareDepth = "3";
    rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
    rig.handler.startRun();
    EXPECT_TRUE(rig.handler.trigger().settingsApplied());
    EXPECT_EQ(rig.handler.trigger().capture().preTriggerCount(), 2);
    EXPECT_EQ(rig.handler.trigger().evaluator().compareDepth(), 3);
}

TEST_F(CaptureFixture, CaptureFileThatCannotBeCreatedRearmsAndTriesTheNextEvent)
{
    arm("3", "10");
    quiet(6400);
    rig.files.unwritable.insert(test::platformPath("/log/"));
    trigger(6900);
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    EXPECT_FALSE(rig.recordingView.captureIndicatorShown);
    EXPECT_EQ(rig.recordingView.status.substr(0, rig.recordingView.status.find(':')),
              "ログファイルを作成できません");
    rig.files.unwritable.clear();
    trigger(6901);
    // The rows kept for the failed capture, its triggering row among them, come first.
    EXPECT_EQ(voltages(rig.files.opened.at(0)), (std::vector<std::string>{"6400", "6900", "6901"}));
    EXPECT_EQ(rig.recordingView.status, "");
}

TEST_F(CaptureFixture, IntervalRowsWithTheTrigger)
{
    rig.settings.sampling = SamplingMode::Interval;
    rig.settings.interval = "2";
    arm("10", "3");
    // Samples at seconds 1 to 4: rows at 9:00:02 and 9:00:04, two-second intervals from the
    // Start at 9:00:00; the sample of 9:00:04 opens the next interval.
    for (int i = 0; i < 4; ++i)
        quiet(6400 + i);
    trigger(6900); // 9:00:05, between interval ends: the capture restarts the interval
    const std::string file = rig.files.opened.at(0);
    const auto &lines = rig.files.lines(file);
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Interval, ControllerVersion::Older));
    ASSERT_EQ(lines.size(), 3u); // the two pre-trigger interval rows, nothing yet after them
    EXPECT_EQ(lines[1].substr(0, 24), "2016/06/24 9:00:02,6400,");
    EXPECT_EQ(lines[2].substr(0, 24), "2016/06/24 9:00:04,6402,");
    quiet(6500); // 9:00:06
    EXPECT_EQ(lines.size(), 3u);
    quiet(6501); // 9:00:07: two seconds after the trigger the interval ends
    ASSERT_EQ(lines.size(), 4u);
    // The samples since the last row: 6403, the trigger's 6900 and 6500.
    EXPECT_TRUE(lines[3].starts_with("2016/06/24 9:00:07,6601,")) << lines[3];
    EXPECT_TRUE(lines[3].ends_with(",3,0")) << lines[3];
}

TEST_F(CaptureFixture, NonMeasurementLineIsEvaluatedWithTheSampleAsItStands)
{
    rig.triggerSettings.windowOut[0] = false;
    rig.triggerSettings.change[4] = true; // change of the negative-sequence voltage
    rig.receive("Ver2.00\r");
    arm("5", "10");
    rig.triggerSettings.compareDepth = "1";
    rig.handler.trigger().applySettings();
    // A sample with a 150 V negative-sequence voltage enters the history...
    tick();
    rig.receive(test::version2Line("0000", "6600", "0", "0", "0", "90", "120", "0", "0") + "\r");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    // ...and a prompt at the start of the next event meets the zero sample: 150 > 100.
    rig.receive("D:\r");
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Capturing);
}

TEST_F(CaptureFixture, WindowClosedWhileArmedLeavesTheRunWithoutConditionsAndWithoutFiles)
{
    arm("5", "10");
    quiet(6400);
    // The settings window is closed: "なし" is selected, the window made anew has its
    // defaults, and the condition count stays.
    rig.settings.trigger = false;
    rig.triggerSettings = TriggerSettings{};
    for (int i = 0; i < 10; ++i)
        trigger(i % 2 ? 6900 : 6100);
    rig.clock.time = {2016, 6, 24, 10, 0, 1}; // a new hour changes no file of a triggered run
    quiet(6400);
    rig.receive("Ver2.00\r");
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    EXPECT_EQ(rig.handler.trigger().enabledConditionCount(), 1);
}

struct CountsCase {
    const char *pre;
    const char *record;
    const char *preAfter;
    const char *recordAfter;
};

class RecordCountValidation : public ::testing::TestWithParam<CountsCase> {};

TEST_P(RecordCountValidation, OnLosingTheFocus)
{
    const auto counts = TriggerWindowRules::validatedRecordCounts({GetParam().pre, GetParam().record});
    EXPECT_EQ(counts.preTrigger, GetParam().preAfter);
    EXPECT_EQ(counts.record, GetParam().recordAfter);
}

INSTANTIATE_TEST_SUITE_P(Boxes, RecordCountValidation, ::testing::Values(
    CountsCase{"100", "50", "50", "50"}, CountsCase{"3", "5", "3", "10"}, CountsCase{"100", "5", "5", "10"},
    CountsCase{"-3", "1000", "0", "1000"}, CountsCase{"abc", "1000", "abc", "1000"},
    CountsCase{"100", "1000", "100", "1000"}));

TEST(TriggerWindowRules, DepthAndDuration)
{
    EXPECT_EQ(TriggerWindowRules::validatedCompareDepth("0"), "1");
    EXPECT_EQ(TriggerWindowRules::validatedCompareDepth("x"), "1");
    EXPECT_EQ(TriggerWindowRules::validatedCompareDepth("2.5"), "2.5");
    EXPECT_EQ(TriggerWindowRules::durationText(1000 / 5.0), "(0時間03分20秒)");
    EXPECT_EQ(TriggerWindowRules::durationText(60.0 * 1000), "(16時間40分00秒)");
    EXPECT_EQ(TriggerWindowRules::durationText(25 * 3600.0 + 61), "(1時間01分01秒)");
}

} // namespace
} // namespace svglogger
