#include "recording/CsvLayout.h"
#include "support/EventLog.h"
#include "support/Lines.h"
#include "support/RunRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace svglogger {
namespace {

using test::olderLine;
using Run = RunController;

std::string line(int voltage)
{
    return olderLine("0000", std::to_string(voltage), "1000", "0", "0") + "\r";
}

struct RunFixture : ::testing::Test {
    test::RunRig rig;

    std::size_t rowsIn(std::size_t file) { return rig.files.lines(rig.files.opened.at(file)).size() - 1; }
    // A streaming run with a single-shot capture on the grid voltage: no pre-trigger rows,
    // a dip above 6800 V fires, N = 10.
    void startSingleShot()
    {
        rig.settings.trigger = true;
        rig.triggerSettings.windowOut[0] = true;
        rig.triggerSettings.continuous = false;
        rig.triggerSettings.preTriggerCount = "0";
        rig.triggerSettings.recordCount = "10";
        rig.run.triggerConditionClicked(true);
        rig.startStreaming();
    }
};

// --- Start and its refusals ------------------------------------------------------------------

TEST_F(RunFixture, StartOpensThePortWakesTheControllerAndWatchesForThePrompt)
{
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.port.calls, std::vector<std::string>{"open /dev/ttyUSB0"});
    EXPECT_EQ(rig.port.written, "\x1b");
    EXPECT_EQ(rig.run.linkState(), LinkState::AwaitingPrompt);
    EXPECT_TRUE(rig.watchdogTimer.isActive());
    EXPECT_EQ(rig.watchdogTimer.interval, Run::kPromptMilliseconds);
    EXPECT_FALSE(rig.run.waitingForPort());
    rig.controllerSends("D:");
    EXPECT_EQ(rig.port.written, "\x1bMN R\r\n");
    EXPECT_EQ(rig.watchdogTimer.interval, Run::kDataMilliseconds);
}

struct RefusedStart {
    const char *name;
    const char *entry;
    const char *device;
    const char *status;
};

class StartRefused : public ::testing::TestWithParam<RefusedStart> {};

TEST_P(StartRefused, NothingIsWrittenOrOpenedAndTheReasonShows)
{
    test::RunRig rig;
    EXPECT_FALSE(rig.run.start(GetParam().entry, GetParam().device));
    EXPECT_EQ(rig.status(), GetParam().status);
    EXPECT_EQ(rig.port.written, "");
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_EQ(rig.run.linkState(), LinkState::Idle);
    EXPECT_FALSE(rig.watchdogTimer.isActive());
    // The next Start that works clears the reason.
    EXPECT_TRUE(rig.start());
    EXPECT_EQ(rig.status(), "");
}

INSTANTIATE_TEST_SUITE_P(Ports, StartRefused, ::testing::Values(
    RefusedStart{"NoPortInTheList", "", "", "COMポートがありません"},
    RefusedStart{"EntryNamesNoDevice", "gone (COM7)", "", "COMポートを開けません: gone (COM7)"},
    RefusedStart{"DeviceCannotBeOpened", "USB (COM2)", "/dev/ttyUSB9",
                 "COMポートを開けません: USB (COM2) (No such file or directory)"}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Stop mid-line, then Start ---------------------------------------------------------------

TEST_F(RunFixture, StopMidLineThenStartThreeTimesEachRunLogs)
{
    rig.startStreaming();
    for (int run = 0; run < 3; ++run) {
        rig.controllerSends(line(6600 + run) + "MN R,0000,0,66"); // a line and half of the next
        rig.run.stop();
        EXPECT_EQ(rig.port.written.back(), '\x1b');
        rig.port.written.clear();
        ASSERT_TRUE(rig.start());
        // The tail of the line in flight when ESC went out arrives before the prompt.
        rig.controllerSends("00,0,1000,0,0,0");
        rig.controllerSends("D:");
        EXPECT_EQ(rig.port.written, "\x1bMN R\r\n") << "run " << run;
        rig.controllerSends(line(6700 + run));
        const auto &rows = rig.files.lines(rig.files.opened.back());
        ASSERT_EQ(rows.size(), 2u) << "run " << run;
        EXPECT_EQ(rows[1], "2016/06/24 9:05:03," + std::to_string(6700 + run) + ",101.5,0,0,0");
    }
}

TEST_F(RunFixture, BytesWaitingAtStopBelongToTheRun)
{
    rig.startStreaming();
    rig.port.waiting = line(6601);
    rig.run.stop();
    EXPECT_EQ(rig.port.calls.back(), "close");
    EXPECT_EQ(rig.linkView.voltages().back(), "6,601");
    EXPECT_EQ(rowsIn(0), 1u) << "handled before the file closed";
}

// With the trigger armed, bytes that reach a run that is over start no capture: no file is
// opened while idle, and the next run's capture has only its own rows.
TEST_F(RunFixture, BytesAfterTheRunEndedStartNoCapture)
{
    rig.settings.trigger = true;
    rig.triggerSettings.windowOut[0] = true;
    rig.triggerSettings.preTriggerCount = "3";
    rig.triggerSettings.recordCount = "10";
    rig.run.triggerConditionClicked(true);
    rig.startStreaming();
    rig.controllerSends(line(6601) + line(6602));
    rig.port.arrivingAtClose = line(6900) + line(6500); // after the Stop, as the port closes
    rig.run.stop();
    EXPECT_TRUE(rig.files.opened.empty());
    EXPECT_EQ(rig.run.triggerState(), TriggerState::Armed);
    rig.start();
    rig.controllerSends("D:" + line(6603) + line(6950));
    ASSERT_EQ(rig.files.opened.size(), 1u);
    const auto &rows = rig.files.lines(rig.files.opened[0]);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back().substr(18, 6), ",6950,");
}

// --- The controller watchdog -----------------------------------------------------------------

TEST_F(RunFixture, NoPromptEscapeIsSentAgainEveryTimeoutWithTheRetryText)
{
    rig.start();
    rig.controllerSends("garbage without a line end");
    rig.watchdogTimer.fire();
    EXPECT_EQ(rig.port.written, "\x1b\x1b");
    EXPECT_EQ(rig.status(), Run::kNoAnswer);
    EXPECT_TRUE((rig.run.unframedBytes() == 0)); // dropped before the ESC
    rig.watchdogTimer.fire();
    EXPECT_EQ(rig.port.written, "\x1b\x1b\x1b");
    EXPECT_EQ(rig.run.linkState(), LinkState::AwaitingPrompt);
    // The controller answers at last: the text goes, the stream starts.
    rig.controllerSends("D:");
    EXPECT_EQ(rig.port.written, "\x1b\x1b\x1bMN R\r\n");
    EXPECT_EQ(rig.status(), "");
    rig.controllerSends("Ver1.00\r" + line(6600));
    EXPECT_EQ(rowsIn(0), 1u);
}

// After an unclean restart the controller still streams: our ESC only stops the stream. Once
// its lines pause, ESC goes again, once, and the prompt comes within a second, not after the
// three-second watchdog.
TEST_F(RunFixture, StreamStillRunningAtStartGetsASecondEscapeOnceItPauses)
{
    rig.start();
    EXPECT_EQ(rig.port.written, "\x1b");
    EXPECT_FALSE(rig.pauseTimer.isActive()) << "no line yet";
    rig.controllerSends("MN R,0000,0,0,0,0,6600,0,1,2,3,0,0,0,0,1,2,3,4\r");
    ASSERT_TRUE(rig.pauseTimer.isActive());
    EXPECT_EQ(rig.pauseTimer.interval, Run::kPauseMilliseconds);
    const int starts = rig.pauseTimer.starts;
    rig.controllerSends("MN R,0000,0,0,"); // the tail of the line in flight postpones the pause
    EXPECT_EQ(rig.pauseTimer.starts, starts + 1);
    rig.pauseTimer.fire();
    EXPECT_EQ(rig.port.written, "\x1b\x1b");
    EXPECT_FALSE(rig.pauseTimer.isActive());
    EXPECT_EQ(rig.watchdogTimer.interval, Run::kPromptMilliseconds) << "the prompt is awaited anew";
    EXPECT_EQ(rig.status(), "") << "no fault: the controller answers";
    // More stray lines do not bring a third ESC.
    rig.controllerSends("MN R,0000,0,0,0,0,6600,0,1,2,3,0,0,0,0,1,2,3,4\r");
    EXPECT_FALSE(rig.pauseTimer.isActive());
    rig.controllerSends("D:");
    EXPECT_EQ(rig.port.written, "\x1b\x1bMN R\r\n");
    EXPECT_EQ(rig.run.linkState(), LinkState::Streaming);
    // While streaming, lines never arm it; Stop leaves it stopped.
    rig.controllerSends("Ver2.01\r");
    EXPECT_FALSE(rig.pauseTimer.isActive());
    rig.run.stop();
    EXPECT_FALSE(rig.pauseTimer.isActive());
}

TEST_F(RunFixture, LinesKeepTheWatchdogQuietSilenceWakesTheControllerIntoTheSameFile)
{
    rig.startStreaming();
    const int startsBefore = rig.watchdogTimer.starts;
    rig.controllerSends(line(6600));
    rig.controllerSends(line(6601));
    EXPECT_EQ(rig.watchdogTimer.starts, startsBefore + 2); // each event with lines waits anew
    rig.controllerSends("no line end");
    EXPECT_EQ(rig.watchdogTimer.starts, startsBefore + 2);
    rig.port.written.clear();

    rig.watchdogTimer.fire(); // five seconds without a line
    EXPECT_EQ(rig.status(), Run::kNoData);
    EXPECT_EQ(rig.port.written, "\x1b");
    EXPECT_EQ(rig.run.linkState(), LinkState::AwaitingPrompt);
    EXPECT_EQ(rig.watchdogTimer.interval, Run::kPromptMilliseconds);
    rig.controllerSends("D:");
    EXPECT_EQ(rig.status(), Run::kNoData) << "until lines arrive again";
    rig.controllerSends("Ver1.00\r" + line(6602));
    EXPECT_EQ(rig.status(), "");
    ASSERT_EQ(rig.files.opened.size(), 1u);
    EXPECT_EQ(rowsIn(0), 3u);
}

TEST_F(RunFixture, SilentControllerThatThenIgnoresEscapeShowsTheRetryText)
{
    rig.startStreaming();
    rig.watchdogTimer.fire(); // silence
    EXPECT_EQ(rig.status(), Run::kNoData);
    rig.watchdogTimer.fire(); // and no prompt either
    EXPECT_EQ(rig.status(), Run::kNoAnswer);
    EXPECT_EQ(rig.port.written, "\x1bMN R\r\n\x1b\x1b");
}

TEST_F(RunFixture, StopAndExitWorkWhileRetrying)
{
    rig.start();
    rig.watchdogTimer.fire();
    rig.run.stop();
    EXPECT_EQ(rig.run.linkState(), LinkState::Idle);
    EXPECT_EQ(rig.status(), "");
    EXPECT_FALSE(rig.watchdogTimer.isActive());
    EXPECT_FALSE(rig.port.isOpen());
    const std::string written = rig.port.written;
    rig.watchdogTimer.fire();
    rig.controllerSends("D:");
    EXPECT_EQ(rig.port.written, written) << "nothing runs while idle";

    rig.start();
    rig.watchdogTimer.fire();
    rig.run.endProgram();
    EXPECT_FALSE(rig.watchdogTimer.isActive());
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_EQ(rig.port.written.back(), '\x1b'); // the retry's: no ESC at the program's end
    EXPECT_FALSE(rig.start());
}

// --- A lost port -----------------------------------------------------------------------------

TEST_F(RunFixture, LostPortIsTriedEverySecondAndTheRunGoesOnInTheSameFile)
{
    rig.startStreaming();
    rig.controllerSends(line(6600) + "MN R,0000,0,6");
    rig.port.present.clear();
    rig.port.waiting = "6";
    rig.run.portLost();
    EXPECT_TRUE(rig.run.waitingForPort());
    EXPECT_EQ(rig.reconnectTimer.interval, Run::kReconnectMilliseconds);
    EXPECT_FALSE(rig.watchdogTimer.isActive()) << "no watchdog while the port is away";
    EXPECT_EQ(rig.status(), Run::kPortLost);
    EXPECT_EQ(rig.port.calls.back(), "close");
    rig.reconnectTimer.fire();
    EXPECT_TRUE(rig.run.waitingForPort());
    EXPECT_EQ(rig.status(), Run::kPortLost);

    rig.port.present.insert(test::RunRig::kDevice);
    rig.port.written.clear();
    rig.reconnectTimer.fire();
    EXPECT_FALSE(rig.run.waitingForPort());
    EXPECT_EQ(rig.status(), "");
    EXPECT_EQ(rig.port.written, "\x1b");
    EXPECT_TRUE((rig.run.unframedBytes() == 0)) << "the half line is dropped";
    EXPECT_EQ(rig.watchdogTimer.interval, Run::kPromptMilliseconds);
    rig.controllerSends("D:");
    rig.controllerSends(line(6601));
    ASSERT_EQ(rig.files.opened.size(), 1u);
    EXPECT_EQ(rowsIn(0), 2u);
    EXPECT_EQ(rig.files.lines(rig.files.opened[0])[2], "2016/06/24 9:05:03,6601,100,0,0,0");
}

TEST_F(RunFixture, PromptInTheLastBytesOfALostPortStartsNoWatchdog)
{
    rig.start();
    rig.port.waiting = "D:";
    rig.port.present.clear();
    rig.run.portLost();
    EXPECT_TRUE(rig.run.waitingForPort());
    EXPECT_FALSE(rig.watchdogTimer.isActive());
}

TEST_F(RunFixture, StopWhileWaitingForThePortWritesNothing)
{
    rig.startStreaming();
    rig.port.present.clear();
    rig.run.portLost();
    const std::string written = rig.port.written;
    rig.run.stop();
    EXPECT_EQ(rig.port.written, written);
    EXPECT_FALSE(rig.run.waitingForPort());
    EXPECT_EQ(rig.run.linkState(), LinkState::Idle);
    EXPECT_EQ(rig.status(), "");
    rig.run.portLost();
    EXPECT_FALSE(rig.run.waitingForPort()) << "a loss while idle is no loss of a run";
}

// --- Which status text shows -----------------------------------------------------------------

TEST_F(RunFixture, PortAndControllerTextsGoBeforeTheFileTextWhichComesBackAfterThem)
{
    rig.startStreaming();
    rig.files.fullAfterLines = 1; // the header fits, no row does
    rig.controllerSends(line(6600));
    const std::string fileText = "ログファイルに書き込めません: " + rig.files.opened.at(0);
    EXPECT_EQ(rig.status(), fileText);
    EXPECT_EQ(rig.shownCause, StatusCause::CannotWriteFile);
    EXPECT_EQ(rig.run.fileStatus(), (RunStatus{StatusCause::CannotWriteFile, fileText}));
    EXPECT_EQ(rig.run.linkCondition(), LinkCondition::Streaming) << "a file's problem is no link's";
    rig.run.portLost();
    EXPECT_EQ(rig.status(), Run::kPortLost);
    EXPECT_EQ(rig.shownCause, StatusCause::PortLost);
    rig.reconnectTimer.fire();
    EXPECT_EQ(rig.status(), fileText);
    rig.watchdogTimer.fire();
    EXPECT_EQ(rig.shownCause, StatusCause::NoAnswer);
    EXPECT_EQ(rig.run.linkCondition(), LinkCondition::NoAnswer);
    rig.controllerSends("D:");
    EXPECT_EQ(rig.shownCause, StatusCause::CannotWriteFile);
    rig.run.stop();
    EXPECT_EQ(rig.status(), fileText) << "a file problem stays until it is over or the next Start";
    rig.files.fullAfterLines = static_cast<std::size_t>(-1);
    rig.start();
    EXPECT_EQ(rig.status(), "");
}

TEST_F(RunFixture, SingleShotCaptureEndsTheRunFromWithinTheReceiveEvent)
{
    startSingleShot();
    std::string burst = line(6900);
    for (int i = 0; i < 20; ++i)
        burst += line(6500 + i);
    rig.port.waiting = line(6400); // still in the port when it closes
    rig.controllerSends(burst);
    EXPECT_EQ(rig.runsEnded, 1);
    EXPECT_EQ(rig.run.linkState(), LinkState::Idle);
    EXPECT_EQ(rig.run.triggerState(), TriggerState::Finished);
    EXPECT_EQ(rowsIn(0), 11u);
    // What was waiting in the port is handled after the event, the capture being over.
    EXPECT_EQ(rig.linkView.voltages().back(), "6,400");
}

// The bytes handed over as a lost port closes complete a single-shot capture: the run ends
// there, and nothing waits for the port afterwards.
TEST_F(RunFixture, RunEndedByTheLastBytesOfALostPortIsNotReconnected)
{
    startSingleShot();
    std::string burst = line(6900);
    for (int i = 0; i < 10; ++i)
        burst += line(6500 + i);
    rig.port.waiting = burst;
    rig.port.present.clear();
    rig.run.portLost();
    EXPECT_EQ(rig.runsEnded, 1);
    EXPECT_EQ(rig.run.linkState(), LinkState::Idle);
    EXPECT_FALSE(rig.run.waitingForPort());
    EXPECT_EQ(rig.status(), "");
    EXPECT_EQ(rowsIn(0), 11u);
}

// Files opened and closed with their rows, lines and firings, for a journal or a publisher.
TEST_F(RunFixture, RecordingEventsFollowFilesLinesAndTheTrigger)
{
    test::EventLog events;
    rig.run.follow(&events);
    rig.startStreaming();
    rig.controllerSends(line(6601) + line(6602));
    rig.clock.time.hour = 10; // the next line starts the file of the new hour
    rig.controllerSends(line(6603));
    rig.run.stop();
    const std::string first = test::platformPath("/log/Tarmin24D9H5M3.csv");
    const std::string second = test::platformPath("/log/Tarmin24D10H5M3.csv");
    EXPECT_EQ(events.lines, (std::vector<std::string>{"opened " + first, "line 6601", "line 6602", "closed " + first + " 2",
                                                      "opened " + second, "line 6603", "closed " + second + " 1"}));
    events.lines.clear();
    rig.settings.trigger = true;
    rig.triggerSettings.windowOut[0] = true;
    rig.triggerSettings.preTriggerCount = "1";
    rig.run.triggerConditionClicked(true);
    rig.start();
    rig.controllerSends("D:" + line(6604) + line(6905));
    ASSERT_GE(events.lines.size(), 4u);
    EXPECT_EQ(events.lines[1], "line 6905");
    EXPECT_EQ(events.lines[2], "fired");
    EXPECT_TRUE(events.lines[3].starts_with("opened ")) << events.lines[3];
}

// The run's own events reach a follower in their order, each once: the link's condition as it
// changes, the status text as shown, the port's loss and return, the end of a single shot.
TEST_F(RunFixture, RunEventsFollowTheLinkThePortTheStatusAndTheEnd)
{
    test::EventLog events;
    rig.run.follow(&events);
    const auto link = [](LinkCondition c) { return "link " + std::to_string(static_cast<int>(c)); };
    rig.startStreaming();
    rig.controllerSends(line(6600));
    rig.port.present.clear();
    rig.run.portLost();
    rig.reconnectTimer.fire(); // still away: nothing new
    rig.port.present.insert(test::RunRig::kDevice);
    rig.reconnectTimer.fire();
    rig.watchdogTimer.fire(); // no prompt after the wake
    rig.controllerSends("D:");
    rig.controllerSends(line(6601));
    rig.run.stop();
    EXPECT_EQ(events.run, (std::vector<std::string>{
                              link(LinkCondition::AwaitingPrompt), link(LinkCondition::Streaming),
                              "status " + std::string(Run::kPortLost), "port lost", link(LinkCondition::PortLost),
                              "port back", "status ", link(LinkCondition::AwaitingPrompt),
                              "status " + std::string(Run::kNoAnswer), link(LinkCondition::NoAnswer),
                              "status ", link(LinkCondition::Streaming), link(LinkCondition::Stopped)}));

    events.run.clear();
    startSingleShot();
    rig.controllerSends(line(6900));
    for (int i = 0; i < 10; ++i)
        rig.controllerSends(line(6600));
    EXPECT_EQ(events.run.back(), "ended");
    EXPECT_EQ(std::count(events.run.begin(), events.run.end(), "ended"), 1);
}

} // namespace
} // namespace svglogger
