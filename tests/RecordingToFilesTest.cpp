#include "common/Settings.h"
#include "pipeline/ReceiveHandler.h"
#include "platform/ShiftJisLogFile.h"
#include "recording/CsvLayout.h"
#include "recording/TriggerSettings.h"
#include "pipeline/RunControl.h"
#include "support/Cp932.h"
#include "support/FakeClock.h"
#include "support/FakeGraphView.h"
#include "support/FakeLinkView.h"
#include "support/FakePort.h"
#include "support/FakeRecordingView.h"
#include "support/Files.h"
#include "support/Lines.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace svglogger {
namespace {

using test::olderLine;
using test::version2Line;

// Received text in, CSV files out: the engine with the real Shift-JIS writer.
struct EndToEnd : ::testing::Test, RunControl {
    QTemporaryDir dir;
    Settings settings;
    test::FakeClock clock;
    test::FakePort port;
    test::FakeLinkView linkView;
    test::FakeGraphView graphView;
    test::FakeRecordingView recordingView;
    TriggerSettings triggerSettings;
    ShiftJisLogFile file;
    ReceiveHandler handler{EngineInterfaces{settings, clock, port, linkView, graphView, recordingView, triggerSettings, file, *this}};

    void stopRun() override { handler.stopRun(true); }
    std::string folder() const { return dir.path().toStdString() + "/logs/"; }
    std::string bytes(const std::string &name) const { return test::readBytes(folder() + name); }
    void start()
    {
        handler.setEvents(&recordingView);
        handler.recorder().outputPathEdited(folder() + "anything.csv");
        handler.link().setLinkState(LinkState::AwaitingPrompt);
        handler.recorder().openLogFile(); // the version is not known yet: opens nothing
    }
};

TEST_F(EndToEnd, ContinuousVersion2RunAcrossAnHour)
{
    clock.time = {2016, 6, 24, 9, 59, 58};
    start();
    handler.receiveBytes("D:");
    ASSERT_EQ(port.written, "MN R\r\n");
    handler.receiveBytes("SVG Ver2.01\r" + version2Line("0010", "6600", "100", "-50", "20", "30", "40", "2350", "-2350") + "\r");
    clock.time.second = 59;
    handler.receiveBytes(version2Line("0000", "6612", "123", "-77", "45", "-3", "4", "0", "0") + "\r\n");
    clock.time = {2016, 6, 24, 10, 0, 0};
    handler.receiveBytes(version2Line("0000", "6590", "0", "0", "0", "0", "0", "0", "0") + "\r");
    handler.recorder().closeLogFile();

    const std::string first = bytes("Tarmin24D9H59M58.csv");
    // The prompt stays in front of the version line, which is still recognised.
    const std::string expectedFirst = headerLine(SamplingMode::Continuous, ControllerVersion::Version2) + "\r\n"
        + "2016/06/24 9:59:58,6600,10,5,-3,30,40,26.2,-26.2,16\r\n"
        + "2016/06/24 9:59:59,6612,12.3,7.7,-3.2,-3,4,0,0,0\r\n";
    EXPECT_EQ(test::cp932ToUtf8(first), expectedFirst);
    EXPECT_EQ(bytes("Tarmin24D10H0M0.csv").substr(bytes("Tarmin24D10H0M0.csv").find("\r\n") + 2),
              "2016/06/24 10:00:00,6590,0,0,0,0,0,0,0,0\r\n");
    EXPECT_EQ(recordingView.recordCount, "1");
}

TEST_F(EndToEnd, IntervalVersion1RowsAreByteExact)
{
    settings.sampling = SamplingMode::Interval;
    settings.interval = "1";
    clock.time = {2016, 6, 24, 23, 59, 58};
    start();
    handler.receiveBytes("Ver1.05\r");
    for (int i = 0; i < 3; ++i)
        handler.receiveBytes(olderLine("0000", std::to_string(6600 + i), "100", "-50", "20") + "\r");
    clock.time.second = 59;
    handler.receiveBytes(olderLine("00FF", "6500", "0", "0", "0") + "\r");
    clock.time = {2016, 6, 25, 0, 0, 0};
    handler.receiveBytes(olderLine("0000", "6400", "0", "0", "0") + "\r");
    handler.recorder().closeLogFile();

    const std::string expected = headerLine(SamplingMode::Interval, ControllerVersion::Older) + "\r\n"
        + "2016/06/24 23:59:59,6601,10,5,-3,6602,10,5,-3,6600,10,5,-3,3,255\r\n";
    EXPECT_EQ(test::cp932ToUtf8(bytes("Tarmin24D23H59M58.csv")), expected);
    // Midnight is a new hour: a new file, whose first interval ends at the date alone.
    EXPECT_EQ(test::cp932ToUtf8(bytes("Tarmin25D0H0M0.csv")), headerLine(SamplingMode::Interval, ControllerVersion::Older) + "\r\n");
}

} // namespace
} // namespace svglogger

#include <QFile>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace svglogger {
namespace {

int rowsIn(const std::string &bytes)
{
    return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) - 1;
}

TEST_F(EndToEnd, FolderLostMidRunShowsWhyAndTheNextHourRecovers)
{
    clock.time = {2016, 6, 24, 9, 59, 58};
    start();
    handler.receiveBytes("Ver2.10\r" + version2Line("0000", "6600", "0", "0", "0", "0", "0", "0", "0") + "\r");
    // The folder goes away (moved, with the open file in it) and a file stands in its place,
    // then the hour changes.
    const QString folderPath = QString::fromStdString(folder()).chopped(1);
    ASSERT_TRUE(QDir().rename(folderPath, folderPath + "-moved"));
    {
        QFile blocker(folderPath);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    clock.time = {2016, 6, 24, 10, 0, 0};
    handler.receiveBytes(version2Line("0000", "6601", "0", "0", "0", "0", "0", "0", "0") + "\r");
    handler.receiveBytes(version2Line("0000", "6602", "0", "0", "0", "0", "0", "0", "0") + "\r");
    EXPECT_TRUE(recordingView.status.starts_with("ログファイルを作成できません: ")) << recordingView.status;
    // The system's reason follows the path.
    const std::size_t reason = recordingView.status.find(".csv: ");
    ASSERT_NE(reason, std::string::npos) << recordingView.status;
    EXPECT_GT(recordingView.status.size(), reason + 6) << recordingView.status;
    EXPECT_EQ(recordingView.recordCount, "0"); // nothing counted that was not written
    // The folder comes back: the next hour opens a file and the message goes.
    ASSERT_TRUE(QFile::remove(folderPath));
    clock.time = {2016, 6, 24, 11, 0, 0};
    handler.receiveBytes(version2Line("0000", "6603", "0", "0", "0", "0", "0", "0", "0") + "\r");
    EXPECT_EQ(recordingView.status, "");
    EXPECT_EQ(recordingView.recordCount, "1");
    handler.recorder().closeLogFile();
    EXPECT_EQ(rowsIn(bytes("Tarmin24D11H0M0.csv")), 1);
    EXPECT_EQ(rowsIn(test::readBytes((folderPath + "-moved/Tarmin24D9H59M58.csv").toStdString())), 1);
}

// The disk fills up: a file-size limit in a child process stands in for a full filesystem.
TEST(DiskFull, RowsThatDoNotFitAreNotCountedAndNoPartialLineIsLeft)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/full.csv";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4000, 4000};
        setrlimit(RLIMIT_FSIZE, &limit);
        ShiftJisLogFile file;
        if (file.createNew(path) != LogFileWriter::OpenResult::Opened)
            _exit(10);
        int written = 0;
        int refused = 0;
        std::string reason;
        for (int i = 0; i < 200; ++i) {
            const std::string row = "2016/06/24 9:05:03,6600,10,5,-3,30,40,26.2," + std::to_string(i) + ",0";
            (file.writeLine(row) ? written : refused) += 1;
            if (refused == 1 && reason.empty())
                reason = file.errorString();
        }
        file.close();
        const std::string bytes = test::readBytes(path);
        const bool whole = bytes.size() <= 4000 && bytes.ends_with("\r\n") && rowsIn(bytes) + 1 == written;
        // The row that did not fit was a short write, which sets no error of its own: the
        // system's reason is named all the same (here the limit's, on a disk "No space left").
        const bool named = reason == std::strerror(EFBIG);
        _exit(whole && refused > 0 && written > 50 ? (named ? 0 : 12) : 11);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(EndToEnd, VersionSwitchingMidRunStartsAFileWhoseHeaderFitsTheRows)
{
    clock.time = {2016, 6, 24, 9, 0, 0};
    start();
    const std::string v2 = version2Line("0000", "6600", "0", "0", "0", "1", "2", "3", "4");
    const std::string v1 = olderLine("0000", "6600", "0", "0", "0");
    handler.receiveBytes("Ver2.00\r" + v2 + "\rVer1.00\r" + v1 + "\r" + v2 + "\rVer2.00\r" + v2 + "\r");
    handler.recorder().closeLogFile();
    // Rows follow the version of the moment; each change of layout starts a file with the
    // header of the new layout, so no file mixes them.
    const std::string head2 = headerLine(SamplingMode::Continuous, ControllerVersion::Version2) + "\r\n";
    const std::string head1 = headerLine(SamplingMode::Continuous, ControllerVersion::Older) + "\r\n";
    EXPECT_EQ(test::cp932ToUtf8(bytes("Tarmin24D9H0M0.csv")), head2 + "2016/06/24 9:00:00,6600,0,0,0,1,2,0,0,0\r\n");
    // The older layout read from a version-2 line finds no voltage where it looks.
    EXPECT_EQ(test::cp932ToUtf8(bytes("Tarmin24D9H0M0-2.csv")),
              head1 + "2016/06/24 9:00:00,6600,0,0,0,0\r\n2016/06/24 9:00:00,0,0,0,0,0\r\n");
    EXPECT_EQ(test::cp932ToUtf8(bytes("Tarmin24D9H0M0-3.csv")), head2 + "2016/06/24 9:00:00,6600,0,0,0,1,2,0,0,0\r\n");
}

} // namespace
} // namespace svglogger
