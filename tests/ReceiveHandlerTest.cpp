#include "support/EngineRig.h"
#include "support/EventLog.h"
#include "support/Lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using S = MeasurementSample;
using test::olderLine;
using test::version2Line;

using Rig = test::EngineRig;

TEST(ReceiveHandler, ThreeLinesInOneEventAreHandledInOrderAndTheTimeShownOnce)
{
    Rig rig;
    rig.handler.receiveBytes("Ver1.00\r" + olderLine("0000", "6601", "0", "0", "0") + "\r" + olderLine("0000", "6602", "0", "0", "0")
                       + "\r" + olderLine("0000", "6603", "0", "0", "0") + "\r");
    EXPECT_EQ(rig.linkView.voltages(), (std::vector<std::string>{"6,601", "6,602", "6,603"}));
    EXPECT_EQ(rig.linkView.times, std::vector<std::string>{"06/24 09:05:03"});
}

TEST(ReceiveHandler, LineSplitOverTwoEventsIsHandledOnceWhenItsCrArrives)
{
    Rig rig;
    const std::string line = olderLine("0000", "6600", "0", "0", "0");
    rig.handler.receiveBytes("Ver1.00\r" + line.substr(0, 10));
    EXPECT_TRUE(rig.linkView.voltages().empty());
    EXPECT_EQ(rig.linkView.times.size(), 1u); // the time is shown at every event
    rig.handler.receiveBytes(line.substr(10) + "\r");
    EXPECT_EQ(rig.linkView.voltages().size(), 1u);
    EXPECT_EQ(rig.handler.trend().count(), 1);
    EXPECT_EQ(rig.linkView.times.size(), 2u);
}

// After an unclean restart the controller may still stream its earlier session: until its
// version line, such lines are no samples, neither drawn, shown, recorded nor published.
TEST(ReceiveHandler, MeasurementLinesBeforeTheVersionAreNoSamples)
{
    Rig rig;
    test::EventLog events;
    rig.handler.setEvents(&events);
    rig.settings.graph = true;
    const std::string line = version2Line("0000", "6600", "100", "-50", "20", "3", "4", "5", "6");
    rig.handler.receiveBytes(line + "\r" + line + "\r");
    EXPECT_TRUE(rig.linkView.readoutCalls.empty());
    EXPECT_EQ(rig.graphView.plots, 0);
    EXPECT_EQ(rig.handler.trend().count(), 0);
    EXPECT_TRUE(events.lines.empty());
    EXPECT_EQ(rig.handler.linesHandled(), 2u) << "still lines received";

    rig.handler.receiveBytes("Ver2.01\r" + line + "\r");
    EXPECT_EQ(rig.linkView.voltages(), std::vector<std::string>{"6,600"});
    EXPECT_EQ(rig.graphView.plots, 1);
    EXPECT_EQ(events.lines.back(), "line 6600");
    ASSERT_EQ(rig.files.files.size(), 1u);
    EXPECT_EQ(rig.files.files.begin()->second.size(), 2u) << "the header and the one sample's row";
}

// Every decoded line is one record, handed out before its row is routed: the row it holds is
// the row written, its interval figures make that row, and its time is the row's clock.
TEST(ReceiveHandler, EachDecodedLineIsOneRecordWhoseRowIsTheOneWritten)
{
    struct Records final : RecordingEvents {
        std::vector<LineRecord> all;
        void lineRecorded(const LineRecord &record) override { all.push_back(record); }
    };
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        Rig rig;
        Records records;
        rig.handler.setEvents(&records);
        rig.settings.sampling = mode;
        rig.handler.receiveBytes("Ver2.01\r");
        for (int second = 3; second < 9; ++second) {
            rig.clock.time.second = second;
            rig.handler.receiveBytes(version2Line("0001", std::to_string(6600 + second), "100", "-50", "20", "3", "4", "5",
                                            "6") + "\r" + "not a measurement\r");
        }
        ASSERT_EQ(records.all.size(), 6u) << "one per decoded line, none for the other lines";
        std::vector<std::string> rows;
        for (const LineRecord &record : records.all) {
            EXPECT_EQ(record.layout, (RowLayout{mode, ControllerVersion::Version2}));
            EXPECT_EQ(record.sample[MeasurementSample::GridVoltage], 6600.0f + static_cast<float>(record.time.second));
            EXPECT_EQ(record.epochMilliseconds, epochMillisecondsAsUtc(record.time));
            EXPECT_EQ(record.interval.has_value(), mode == SamplingMode::Interval && record.hasRow());
            if (record.interval) {
                EXPECT_EQ(intervalRow(*record.interval), record.row);
            }
            if (record.hasRow())
                rows.push_back(record.row);
        }
        ASSERT_EQ(rig.files.files.size(), 1u);
        const std::vector<std::string> &file = rig.files.files.begin()->second;
        EXPECT_EQ(std::vector<std::string>(file.begin() + 1, file.end()), rows);
        EXPECT_EQ(rows.size(), mode == SamplingMode::Continuous ? 6u : 5u);
    }
}

TEST(ReceiveHandler, EventWithNothingReceivedStillShowsTheTime)
{
    Rig rig;
    rig.clock.time = {2026, 12, 7, 23, 59, 9};
    rig.handler.receiveBytes("");
    EXPECT_EQ(rig.linkView.times, std::vector<std::string>{"12/07 23:59:09"});
}

TEST(ReceiveHandler, SampleIsZeroedAtEveryEventAndCarriesOverWithinOne)
{
    Rig rig;
    rig.handler.receiveBytes("Ver1.00\r" + olderLine("0000", "6600", "10", "0", "0") + "\r" + olderLine("0000", "99999", "20", "0", "0")
                       + "\r");
    EXPECT_EQ(rig.linkView.voltages(), (std::vector<std::string>{"6,600", "6,600"}));
    rig.handler.receiveBytes(olderLine("0000", "99999", "20", "0", "0") + "\r");
    EXPECT_EQ(rig.linkView.voltages().back(), "0");
    EXPECT_EQ(rig.linkView.readout[1], "0.0"); // V = 0 makes every power 0
}

TEST(ReceiveHandler, AnsweredPromptPrefixesTheNextLineWhichIsStillDecoded)
{
    Rig rig;
    rig.handler.receiveBytes("Ver1.00\r");
    rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
    rig.handler.receiveBytes("D:");
    EXPECT_EQ(rig.port.written, "MN R\r\n");
    rig.handler.receiveBytes(olderLine("0000", "6600", "0", "0", "0") + "\r\n" + olderLine("0000", "6500", "0", "0", "0")
                       + "\r");
    EXPECT_EQ(rig.linkView.voltages(), (std::vector<std::string>{"6,600", "6,500"}));
    EXPECT_EQ(rig.port.written, "MN R\r\n");
}

TEST(ReceiveHandler, FirstVersionLineOpensTheLogOnceWithoutTrigger)
{
    Rig rig;
    rig.handler.receiveBytes("Ver2.01\rVer2.01\r");
    EXPECT_EQ(rig.files.opened, std::vector<std::string>{test::platformPath("/log/Tarmin24D9H5M3.csv")});
    rig.handler.receiveBytes("Ver1.00\r");
    EXPECT_EQ(rig.files.opened.size(), 1u);
    EXPECT_EQ(rig.linkView.rowsEnabledCalls, (std::vector<bool>{true, true, false}));
}

TEST(ReceiveHandler, WithTriggerTheFirstVersionLineOpensNothingAndNothingLater)
{
    Rig rig;
    rig.settings.trigger = true;
    rig.handler.receiveBytes("Ver1.00\r");
    rig.settings.trigger = false;
    rig.handler.receiveBytes("Ver2.00\r");
    EXPECT_TRUE(rig.files.opened.empty());
}

TEST(ReceiveHandler, OlderControllerClearsTheNegativeSequenceTriggerBoxes)
{
    Rig rig;
    rig.triggerSettings.windowOut = {true, true, true, true, true, true};
    rig.handler.trigger().setEnabledConditionCount(6);
    rig.handler.receiveBytes("Ver2.00\r");
    EXPECT_TRUE(rig.triggerSettings.windowOut[4]);
    rig.handler.receiveBytes("Ver1.00\r");
    EXPECT_FALSE(rig.triggerSettings.windowOut[4]);
    EXPECT_FALSE(rig.triggerSettings.windowOut[5]);
    EXPECT_TRUE(rig.triggerSettings.windowOut[3]);
    // Counted down as the window's cleared boxes are: with AND the four left can still fire.
    EXPECT_EQ(rig.handler.trigger().enabledConditionCount(), 4);
    rig.handler.receiveBytes("Ver1.00\r");
    EXPECT_EQ(rig.handler.trigger().enabledConditionCount(), 4) << "nothing more to clear";
}

TEST(ReceiveHandler, NegativeSequenceReadoutOnlyForVersion2)
{
    Rig rig;
    const std::string line = version2Line("0000", "6600", "0", "0", "0", "30", "40", "0", "0");
    rig.handler.receiveBytes(line + "\r");
    EXPECT_EQ(rig.linkView.readout[4], "");
    rig.handler.receiveBytes("Ver2.00\r" + line + "\r");
    EXPECT_EQ(rig.linkView.readout[4], "50.0");
    EXPECT_EQ(rig.linkView.readout[6], "0.8"); // 50 / 6600 x 100
}

// Stop while a line is half received, or right after the prompt was answered, then Start:
// the new run answers its prompt, and no leftover is glued to its first line.
struct LeftOverCase {
    const char *name;
    const char *leftOver; // what the earlier run left in the buffer at Stop
    const char *before;   // what arrives after the new ESC, before the prompt
};

class StartAfterStop : public ::testing::TestWithParam<LeftOverCase> {};

TEST_P(StartAfterStop, PromptIsAnsweredAndTheFirstLineDecodedWhole)
{
    Rig rig;
    rig.handler.receiveBytes("Ver1.00\r");
    rig.handler.startRun();
    rig.handler.receiveBytes("D:");
    rig.handler.receiveBytes(olderLine("0000", "6600", "100", "0", "0") + "\r" + GetParam().leftOver);
    rig.handler.stopRun(true);
    rig.port.written.clear();

    rig.handler.startRun();
    EXPECT_EQ(rig.port.written, "\x1b");
    rig.handler.receiveBytes(std::string(GetParam().before) + "D:");
    EXPECT_EQ(rig.port.written, "\x1bMN R\r\n");
    EXPECT_EQ(rig.handler.link().linkState(), LinkState::Streaming);
    rig.handler.receiveBytes(olderLine("0000", "6601", "1000", "0", "0") + "\r");
    const auto &rows = rig.files.lines(rig.files.opened.back());
    ASSERT_EQ(rows.size(), 2u) << "the header and the one row";
    EXPECT_EQ(rows[1], "2016/06/24 9:05:03,6601,100,0,0,0");
}

INSTANTIATE_TEST_SUITE_P(LeftOvers, StartAfterStop, ::testing::Values(
    LeftOverCase{"HalfALine", "MN R,0000,0,66", ""},
    LeftOverCase{"AnsweredPrompt", "D:", ""},
    LeftOverCase{"HalfALineAndATailInFlight", "MN R,0000,0,66", "00,0,100,0,0,0"},
    LeftOverCase{"NothingButATailInFlight", "", "0,0,0,0\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// --- The same bytes, cut differently -------------------------------------------------------

// What a run leaves behind that must not depend on how the bytes were cut into events.
struct Outcome {
    std::string log;
    std::string written;
    LinkState state;
    ControllerVersion version;
    std::vector<std::pair<int, std::string>> readouts;
    std::vector<std::int32_t> trend;
    std::int32_t trendCount;
    std::int32_t trendPos;
    std::string leftOver;
    std::map<std::string, std::vector<std::string>> files;

    bool operator==(const Outcome &) const = default;
};

Outcome run(const std::vector<std::string> &events)
{
    Rig rig;
    rig.settings.logShown = true;
    rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
    for (const std::string &event : events)
        rig.handler.receiveBytes(event);
    Outcome o{rig.handler.link().commLog().text(), rig.port.written, rig.handler.link().linkState(),
              rig.handler.decoder().controllerVersion(), {}, {}, 0, 0,
              std::string(rig.handler.link().receiveBuffer().text()), {}};
    o.readouts = rig.linkView.readoutCalls;
    const TrendHistory &trend = rig.handler.trend();
    for (int q = 0; q < TrendHistory::kTraces; ++q)
        for (int slot = 0; slot < TrendHistory::kSlots; ++slot)
            o.trend.push_back(trend.value(q, slot));
    o.trendCount = trend.count();
    o.trendPos = trend.writePos();
    o.files = rig.files.files;
    return o;
}

// Before the prompt: noise and an unfinished line. After it: the controller's stream with a
// version line, both line ends, an empty line and an unfinished last line.
const std::string kBeforePrompt = "\x1b\rgarbage\rD:";
const std::string kStream = "SVG Ver2.01\r"
    + version2Line("0010", "6600", "100", "-50", "20", "3", "4", "5", "6") + "\r\n"
    + version2Line("8001", "6612.5", "-100", "50", "-20", "30", "40", "50", "60") + "\r\r"
    + version2Line("0030", "6588", "1", "2", "3", "4", "5", "6", "7") + "\r" + "Ver2.02 again\r"
    + version2Line("0000", "6601", "7", "8", "9", "10", "11", "12", "13") + "\r" + "MN R,12";

TEST(ReceiveSplits, EveryCutGivesTheSameLinesSamplesRowsAndPromptAnswer)
{
    const std::string all = kBeforePrompt + kStream;
    const Outcome reference = run({kBeforePrompt, kStream});
    ASSERT_EQ(reference.written, "MN R\r\n");
    ASSERT_EQ(reference.version, ControllerVersion::Version2);
    ASSERT_EQ(reference.readouts.size(), 4u * 8u); // rows 0-3 and 7, rows 4-6 for version 2
    ASSERT_EQ(reference.leftOver, "MN R,12");
    ASSERT_EQ(reference.files.size(), 1u);
    ASSERT_EQ(reference.files.begin()->second.size(), 5u); // the header and four rows
    for (std::size_t cut = 0; cut <= all.size(); ++cut) {
        // The controller streams only after the command, so the prompt always ends an event.
        std::vector<std::size_t> cuts{cut, kBeforePrompt.size()};
        std::sort(cuts.begin(), cuts.end());
        std::vector<std::string> events{all.substr(0, cuts[0]), all.substr(cuts[0], cuts[1] - cuts[0]),
                                        all.substr(cuts[1])};
        EXPECT_EQ(run(events), reference) << "cut at " << cut;
    }
}

TEST(ReceiveSplits, RandomChunkingGivesTheSameOutcome)
{
    const Outcome reference = run({kBeforePrompt, kStream});
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::string> events;
        for (const std::string &part : {kBeforePrompt, kStream}) {
            std::size_t at = 0;
            while (at < part.size()) {
                std::size_t n = std::uniform_int_distribution<std::size_t>(1, 9)(random);
                events.push_back(part.substr(at, n));
                at += n;
            }
        }
        ASSERT_EQ(run(events), reference) << "trial " << trial;
    }
}

// --- Garbage never crashes and never breaks the bounds -------------------------------------

TEST(ReceiveGarbage, RandomInputKeepsBufferAndLogBounded)
{
    std::mt19937 random(7);
    const std::vector<std::string> pieces{"MN R,", "Ver2.", "Ver1.", ",", "\r", "\n", "D:", "-", ".", "9999999",
                                          "32768", "-32769", "FFFF", " ", "\t", "MN", "\x1b", "0"};
    Rig rig;
    rig.settings.logShown = true;
    for (int event = 0; event < 3000; ++event) {
        std::string chunk;
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        if (kind == 0) {
            chunk.assign(std::uniform_int_distribution<std::size_t>(1, 70000)(random), 'x'); // no CR
        } else if (kind == 1) {
            chunk = "MN R," + std::string(std::uniform_int_distribution<std::size_t>(1, 5000)(random), '7') + ",1,2,3,4,5,6,7\r";
        } else if (kind < 5) {
            const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 300)(random);
            for (std::size_t i = 0; i < n; ++i)
                chunk.push_back(static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random)));
        } else {
            const int n = std::uniform_int_distribution<int>(1, 40)(random);
            for (int i = 0; i < n; ++i)
                chunk += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        if (event % 97 == 0)
            rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
        rig.handler.receiveBytes(chunk);
        const std::string_view rest = rig.handler.link().receiveBuffer().text();
        const std::size_t firstCr = rest.find('\r');
        ASSERT_LE(firstCr == std::string_view::npos ? rest.size() : firstCr, ReceiveBuffer::kMaxUndelimited);
        ASSERT_LE(rig.handler.link().commLog().text().size(), 10000u);
        const TrendHistory &trend = rig.handler.trend();
        ASSERT_GE(trend.writePos(), 0);
        ASSERT_LT(trend.writePos(), TrendHistory::kSlots);
        ASSERT_LE(trend.count(), TrendHistory::kSlots);
    }
    EXPECT_EQ(rig.linkView.mirroredLog, rig.handler.link().commLog().text());
    EXPECT_EQ(rig.linkView.times.size(), 3000u);
}

} // namespace
} // namespace svglogger
