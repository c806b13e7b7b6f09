#include "recording/CsvLayout.h"
#include "support/EngineRig.h"
#include "support/Lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using test::olderLine;
using test::version2Line;

struct RecorderFixture : ::testing::Test {
    test::EngineRig rig;

    void at(int hour, int minute, int second, int day = 24)
    {
        rig.clock.time = {2016, 6, day, hour, minute, second};
    }
    void line(const std::string &text) { rig.receive(text + "\r"); }
    std::vector<std::string> &file(const std::string &name) { return rig.files.files.at(test::kLogFolder + name); }
};

std::size_t columns(const std::string &row)
{
    return static_cast<std::size_t>(std::count(row.begin(), row.end(), ',')) + 1;
}

TEST_F(RecorderFixture, FileNameFromTheClockWithGForPowerFlowCorrection)
{
    at(9, 5, 3);
    EXPECT_EQ(rig.recorder().fileName(), "Tarmin24D9H5M3.csv");
    rig.settings.powerFlow = true;
    EXPECT_EQ(rig.recorder().fileName(), "Tarmin24D9H5M3G.csv");
    at(0, 0, 0, 1);
    EXPECT_EQ(rig.recorder().fileName(), "Tarmin1D0H0M0G.csv");
}

TEST_F(RecorderFixture, NothingOpensWhileTheVersionIsUnknown)
{
    rig.recorder().openLogFile();
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_FALSE(rig.recorder().logFileOpen());
    line(olderLine("0000", "6600", "100", "-50", "20"));
    EXPECT_TRUE(rig.files.opened.empty()); // a line before the version is no sample: no row, no file
    EXPECT_TRUE(rig.linkView.readoutCalls.empty());
}

TEST_F(RecorderFixture, ContinuousRowsFollowTheHeaderOfTheVersion)
{
    at(9, 5, 3);
    line("SVG Ver1.00");
    line(olderLine("0000", "6600", "100", "-50", "20"));
    at(9, 5, 4);
    line(olderLine("0010", "6601", "123", "-77", "45"));
    const std::vector<std::string> &lines = file("Tarmin24D9H5M3.csv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Continuous, ControllerVersion::Older));
    EXPECT_EQ(lines[1], "2016/06/24 9:05:03,6600,10,5,-3,0");
    EXPECT_EQ(columns(lines[2]), 6u);
    EXPECT_EQ(rig.recordingView.recordCount, "2");
    EXPECT_EQ(rig.recordingView.outputPath, test::platformPath("/log/Tarmin24D9H5M3.csv"));
}

TEST_F(RecorderFixture, ColumnCountsByModeAndVersion)
{
    struct Case {
        SamplingMode mode;
        const char *version;
        std::string measurement;
        std::size_t columns;
    };
    const std::vector<Case> cases{
        {SamplingMode::Continuous, "Ver1.0", olderLine("0000", "6600", "1", "2", "3"), 6},
        {SamplingMode::Continuous, "Ver2.0", version2Line("0000", "6600", "1", "2", "3", "4", "5", "6", "7"), 10},
        {SamplingMode::Interval, "Ver1.0", olderLine("0000", "6600", "1", "2", "3"), 15},
        {SamplingMode::Interval, "Ver2.0", version2Line("0000", "6600", "1", "2", "3", "4", "5", "6", "7"), 27},
    };
    for (const Case &c : cases) {
        test::EngineRig r;
        r.settings.sampling = c.mode;
        r.receive(std::string(c.version) + "\r" + c.measurement + "\r");
        r.clock.time.second += 1;
        r.receive(c.measurement + "\r" + c.measurement + "\r");
        const std::vector<std::string> &lines = r.files.files.begin()->second;
        ASSERT_GE(lines.size(), 2u) << c.version << " mode " << static_cast<int>(c.mode);
        EXPECT_EQ(lines[0], headerLine(c.mode, static_cast<ControllerVersion>(c.version[3] - '0')));
        EXPECT_EQ(columns(lines[0]), c.columns);
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_EQ(columns(lines[i]), c.columns) << lines[i];
    }
}

TEST_F(RecorderFixture, FirstLineOfANewHourStartsANewFileNamedByItsTime)
{
    at(9, 59, 58);
    line("Ver2.01");
    const std::string v2 = version2Line("0000", "6600", "0", "0", "0", "0", "0", "0", "0");
    line(v2);
    at(9, 59, 59);
    line(v2);
    EXPECT_EQ(rig.recordingView.recordCount, "2");
    at(10, 0, 0);
    line(v2);
    EXPECT_EQ(rig.files.opened,
              (std::vector<std::string>{test::platformPath("/log/Tarmin24D9H59M58.csv"), test::platformPath("/log/Tarmin24D10H0M0.csv")}));
    EXPECT_EQ(file("Tarmin24D9H59M58.csv").size(), 3u);
    ASSERT_EQ(file("Tarmin24D10H0M0.csv").size(), 2u);
    EXPECT_EQ(file("Tarmin24D10H0M0.csv")[1].substr(0, 18), "2016/06/24 10:00:0");
    EXPECT_EQ(rig.recordingView.recordCount, "1");
    EXPECT_EQ(rig.recorder().fileHour(), 10);
    EXPECT_EQ(rig.recordingView.outputPath, test::platformPath("/log/Tarmin24D10H0M0.csv"));
}

TEST_F(RecorderFixture, MidnightAndMonthEndRotateLikeAnyHour)
{
    at(23, 59, 59, 30);
    rig.clock.time.month = 11;
    line("Ver1.0");
    line(olderLine("0000", "6600", "0", "0", "0"));
    rig.clock.time = {2016, 12, 1, 0, 0, 0};
    line(olderLine("0000", "6601", "0", "0", "0"));
    ASSERT_EQ(rig.files.opened.size(), 2u);
    EXPECT_EQ(rig.files.opened[1], test::platformPath("/log/Tarmin1D0H0M0.csv"));
    EXPECT_EQ(file("Tarmin1D0H0M0.csv")[1], "2016/12/01,6601,0,0,0,0"); // date alone at 0:00:00
}

TEST_F(RecorderFixture, TakenNameGetsANumberAndTheOldFileIsNeverReplaced)
{
    at(9, 5, 3);
    line("Ver1.0");
    line(olderLine("0000", "6600", "0", "0", "0"));
    rig.recorder().closeLogFile();
    rig.recorder().openLogFile(); // the same second: the name is taken
    rig.recorder().closeLogFile();
    rig.recorder().openLogFile();
    EXPECT_EQ(rig.files.opened, (std::vector<std::string>{test::platformPath("/log/Tarmin24D9H5M3.csv"), test::platformPath("/log/Tarmin24D9H5M3-2.csv"),
                                                          test::platformPath("/log/Tarmin24D9H5M3-3.csv")}));
    EXPECT_EQ(file("Tarmin24D9H5M3.csv").size(), 2u);
    EXPECT_EQ(rig.recordingView.outputPath, test::platformPath("/log/Tarmin24D9H5M3-3.csv"));
    rig.settings.powerFlow = true;
    rig.recorder().closeLogFile();
    rig.recorder().openLogFile();
    rig.recorder().closeLogFile();
    rig.recorder().openLogFile();
    EXPECT_EQ(rig.files.opened.back(), test::platformPath("/log/Tarmin24D9H5M3G-2.csv"));
}

TEST_F(RecorderFixture, FileThatCannotBeCreatedShowsWhyDropsRowsAndRecoversAtTheNextHour)
{
    rig.files.unwritable.insert(test::platformPath("/log/"));
    at(9, 5, 3);
    line("Ver1.0");
    EXPECT_EQ(rig.recordingView.status, "ログファイルを作成できません: " + test::platformPath("/log/Tarmin24D9H5M3.csv"));
    EXPECT_FALSE(rig.recorder().logFileOpen());
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.recordCount, "");
    EXPECT_TRUE(rig.files.opened.empty());

    rig.files.unwritable.clear();
    at(10, 0, 1);
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.status, "");
    EXPECT_EQ(rig.recordingView.recordCount, "1");
    EXPECT_EQ(file("Tarmin24D10H0M1.csv").size(), 2u);
}

// A folder that is not writable, then is again: the status says the system's reason, and
// opening is tried again with the next line at most every 10 s, by the usual name rules.
TEST_F(RecorderFixture, FolderBackWithinTenSecondsBringsAFileWithTheNextLine)
{
    rig.files.unwritable.insert(test::platformPath("/log/"));
    rig.files.reason = "Read-only file system";
    at(9, 5, 3);
    line("Ver1.0");
    EXPECT_EQ(rig.recordingView.status,
              "ログファイルを作成できません: " + test::platformPath("/log/Tarmin24D9H5M3.csv") + ": Read-only file system");
    struct Step {
        int second;
        bool writable;
        std::size_t filesAfter;
    };
    // (seconds after 9:05:00) a try at +10 s fails again; the next try waits another 10 s.
    const Step steps[] = {{4, false, 0}, {12, false, 0}, {13, false, 0}, {14, true, 0}, {22, true, 0}, {23, true, 1},
                          {24, true, 1}};
    for (const Step &step : steps) {
        if (step.writable)
            rig.files.unwritable.clear();
        at(9, 5, step.second);
        line(olderLine("0000", "6600", "0", "0", "0"));
        EXPECT_EQ(rig.files.opened.size(), step.filesAfter) << "at 9:05:" << step.second;
    }
    EXPECT_EQ(rig.files.opened.at(0), test::platformPath("/log/Tarmin24D9H5M23.csv"));
    EXPECT_EQ(file("Tarmin24D9H5M23.csv").size(), 3u) << "the header and the rows of 9:05:23 and :24";
    EXPECT_EQ(rig.recordingView.status, "");
    // Stopped, nothing is tried any more.
    rig.files.unwritable.insert(test::platformPath("/log/"));
    rig.recorder().closeLogFile();
    rig.recorder().startNextFile();
    rig.recorder().closeLogFile();
    at(9, 6, 0);
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(rig.files.opened.size(), 1u);
}

// A disk that takes the new file but not its header: the file goes and is tried again; no row
// ever lands in a file without its header.
TEST_F(RecorderFixture, FileWhoseHeaderCannotBeWrittenIsNotUsedForRows)
{
    rig.files.fullAfterLines = 0;
    rig.files.reason = "No space left on device";
    at(9, 5, 3);
    line("Ver1.0");
    EXPECT_EQ(rig.recordingView.status,
              "ログファイルに書き込めません: " + test::platformPath("/log/Tarmin24D9H5M3.csv") + ": No space left on device");
    EXPECT_EQ(rig.files.discarded, std::vector<std::string>{test::platformPath("/log/Tarmin24D9H5M3.csv")});
    EXPECT_FALSE(rig.recorder().logFileOpen());
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_TRUE(rig.files.files.empty());
    rig.files.fullAfterLines = static_cast<std::size_t>(-1);
    at(9, 5, 13);
    line(olderLine("0000", "6601", "0", "0", "0"));
    const std::vector<std::string> &lines = file("Tarmin24D9H5M13.csv");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], headerLine(SamplingMode::Continuous, ControllerVersion::Older));
    EXPECT_EQ(rig.recordingView.status, "");
}

TEST_F(RecorderFixture, RowThatCannotBeWrittenIsNotCountedAndSaysSo)
{
    at(9, 5, 3);
    line("Ver1.0");
    rig.files.fullAfterLines = 2;
    line(olderLine("0000", "6600", "0", "0", "0"));
    line(olderLine("0000", "6601", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.recordCount, "1");
    EXPECT_EQ(rig.recordingView.status, "ログファイルに書き込めません: " + test::platformPath("/log/Tarmin24D9H5M3.csv"));
    // The disk gets space back: the message goes with the first row written again.
    rig.files.fullAfterLines = static_cast<std::size_t>(-1);
    line(olderLine("0000", "6602", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.recordCount, "2");
    EXPECT_EQ(rig.recordingView.status, "");
}

TEST_F(RecorderFixture, FileMessageGoesWhenTheOperatorChoosesAnotherFolder)
{
    rig.files.unwritable.insert(test::platformPath("/log/"));
    at(9, 5, 3);
    line("Ver1.0");
    ASSERT_NE(rig.recordingView.status, "");
    rig.recorder().refreshOutputPath(); // the program's own refresh keeps the folder: it stays
    rig.recorder().outputPathEdited(test::platformPath("/log/other-name.csv"));
    EXPECT_NE(rig.recordingView.status, "");
    rig.recorder().outputPathEdited(test::platformPath("/data/site/x.csv"));
    EXPECT_EQ(rig.recordingView.status, "");
}

// The folder part of Text1, as operators of each platform type or choose paths.
struct FolderCase {
    const char *path;
    const char *folder;
};

class FolderOfTheOutputPath : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderOfTheOutputPath, IsEverythingUpToTheLastSeparator)
{
    EXPECT_EQ(LogRecorder::folderOf(GetParam().path), GetParam().folder) << GetParam().path;
}

#ifdef _WIN32
// "\" and "/" both separate folders; Qt's file dialog answers with "/".
INSTANTIATE_TEST_SUITE_P(Windows, FolderOfTheOutputPath, ::testing::Values(
    FolderCase{"c:\\temp\\Tarmin1D2H3M4.csv", "c:\\temp\\"},
    FolderCase{"C:/Users/op/Documents/site.csv", "C:/Users/op/Documents/"},
    FolderCase{"D:\\logs/site 3\\x.csv", "D:\\logs/site 3\\"},
    FolderCase{"\\\\server\\share\\x.csv", "\\\\server\\share\\"},
    FolderCase{"E:\\", "E:\\"},
    FolderCase{"bare.csv", ""}));
#else
// Only "/" separates folders; "\" is a character of a name.
INSTANTIATE_TEST_SUITE_P(Posix, FolderOfTheOutputPath, ::testing::Values(
    FolderCase{"/home/op/temp/Tarmin1D2H3M4.csv", "/home/op/temp/"},
    FolderCase{"/", "/"},
    FolderCase{"/data/a\\b.csv", "/data/"},
    FolderCase{"c:\\temp\\x.csv", ""},
    FolderCase{"bare.csv", ""}));
#endif

TEST_F(RecorderFixture, LogFolderIsTheOutputPathUpToItsLastSeparator)
{
#ifdef _WIN32
    EXPECT_EQ(LogRecorder::defaultLogFolder("C:\\Users\\op"), "c:\\temp\\");
#else
    EXPECT_EQ(LogRecorder::defaultLogFolder("/home/op"), "/home/op/temp/");
    EXPECT_EQ(LogRecorder::defaultLogFolder("/home/op/"), "/home/op/temp/");
#endif

    // A bare name typed by the operator puts the files into the working directory.
    rig.recorder().outputPathEdited("whatever.csv");
    at(9, 5, 3);
    line("Ver1.0");
    EXPECT_EQ(rig.files.opened, std::vector<std::string>{"Tarmin24D9H5M3.csv"});
    // Only the folder part of a typed path is used.
    rig.recorder().outputPathEdited(test::platformPath("/data/site/anything.txt"));
    rig.recorder().startNextFile();
    EXPECT_EQ(rig.files.opened.back(), test::platformPath("/data/site/Tarmin24D9H5M3.csv"));
#ifdef _WIN32
    // The file dialog's answer with "/" keeps its folder too.
    rig.recorder().outputPathEdited("C:/Users/op/Documents/chosen.csv");
    rig.recorder().startNextFile();
    EXPECT_EQ(rig.files.opened.back(), "C:/Users/op/Documents/Tarmin24D9H5M3.csv");
#endif
}

TEST_F(RecorderFixture, WithTriggerTheDisplayedPathFollowsTheClockAndNothingOpens)
{
    rig.settings.trigger = true;
    rig.triggerSettings.windowOut[0] = true; // 6300 V to 6800 V: 6600 V does not fire
    rig.handler.trigger().setEnabledConditionCount(1);
    rig.handler.trigger().startRun();
    ASSERT_EQ(rig.handler.trigger().state(), TriggerState::Armed);
    at(9, 5, 3);
    line("Ver1.0");
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.outputPath, test::platformPath("/log/Tarmin24D9H5M3.csv"));
    at(11, 0, 7);
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(rig.recordingView.outputPath, test::platformPath("/log/Tarmin24D11H0M7.csv"));
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_EQ(rig.recordingView.recordCount, "");
}

TEST_F(RecorderFixture, TheRowOfALineIsTakenOnceAndALineWithoutARowWritesNone)
{
    at(9, 5, 3);
    line("Ver1.0");
    line(olderLine("0000", "6600", "0", "0", "0"));
    EXPECT_EQ(file("Tarmin24D9H5M3.csv").size(), 2u);
    line("not a measurement"); // no row of its own, and no left-over row
    EXPECT_EQ(file("Tarmin24D9H5M3.csv").size(), 2u);
}

TEST_F(RecorderFixture, IntervalRowsThroughThePipelineWithAStopInTheMiddle)
{
    rig.settings.sampling = SamplingMode::Interval;
    rig.settings.interval = "2";
    at(9, 0, 0);
    line("Ver1.0"); // opens the file and starts the interval at 9:00:00
    for (int second = 0; second < 5; ++second) {
        at(9, 0, second);
        for (int i = 0; i < 5; ++i)
            line(olderLine("0000", std::to_string(6600 + second), "0", "0", "0"));
    }
    // 9:00:02 and 9:00:04 completed intervals of 10 samples each.
    std::vector<std::string> lines = file("Tarmin24D9H0M0.csv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "2016/06/24 9:00:02,6600,0,0,0,6601,0,0,0,6600,0,0,0,10,0");
    EXPECT_EQ(lines[2], "2016/06/24 9:00:04,6602,0,0,0,6603,0,0,0,6602,0,0,0,10,0");

    // Stop in the middle of an interval, Start again later: the first row of the new file
    // holds the samples from before the Stop too.
    rig.recorder().closeLogFile();
    at(9, 30, 0);
    rig.recorder().openLogFile();
    at(9, 30, 2);
    line(olderLine("0000", "7000", "0", "0", "0"));
    const std::vector<std::string> &next = file("Tarmin24D9H30M0.csv");
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[1], "2016/06/24 9:30:02,6604,0,0,0,6604,0,0,0,6604,0,0,0,5,0");
}

} // namespace
} // namespace svglogger
