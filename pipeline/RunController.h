#pragma once

#include "pipeline/ReceiveHandler.h"
#include "pipeline/RunEventFanOut.h"
#include "pipeline/RunStatus.h"
#include "recording/RecordingView.h"
#include "pipeline/RunControl.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace svglogger {

class PortControl;
class Timer;

// Everything outside the engine that a measurement run touches.
struct RunInterfaces {
    const Settings &settings;
    TriggerSettings &triggerSettings;
    const Clock &clock;
    PortControl &port;
    Timer &reconnectTimer;
    Timer &watchdogTimer;
    Timer &pauseTimer; // while the prompt is awaited: the controller's stream has paused
    LinkView &linkView;
    GraphView &graphView;
    RecordingView &recordingView;
    LogFileWriter &logFile;
};

// A measurement run around the engine: Start, Stop and the end of the program in their
// order, the receive events one at a time, a lost port waited for and reopened, and the
// controller watchdog (ESC again while no prompt comes, the controller woken again when
// lines stop). Decides which status text shows: the port's and the controller's first,
// then the log file's, then the trigger's.
class RunController final : public RunControl
{
public:
    static constexpr std::string_view kNoPort = "COMポートがありません";
    static constexpr std::string_view kCannotOpenPort = "COMポートを開けません: ";
    static constexpr std::string_view kPortLost = "COMポート切断 — 再接続を待っています";
    static constexpr std::string_view kNoAnswer = "コントローラの応答がありません — 再試行しています";
    static constexpr std::string_view kNoData = "データが届きません — 再接続しています";
    static constexpr std::string_view kNoTriggerConditions = "トリガー条件がありません";

    static constexpr int kReconnectMilliseconds = 1000;
    static constexpr int kPromptMilliseconds = 3000; // ESC again while no prompt comes
    static constexpr int kDataMilliseconds = 5000;   // the controller woken again after this silence
    static constexpr int kPauseMilliseconds = 300;   // a stream still running at ESC has stopped

    explicit RunController(const RunInterfaces &interfaces);

    // Start: `entry` is the chosen port-list entry (empty when the list is empty), `device`
    // the device it names (empty when it names none). False, with the status text, when the
    // run could not start; nothing is then written.
    bool start(std::string_view entry, std::string_view device);
    // Stop: ESC while the port is up, the file closed, the port closed. Nothing while idle.
    void stop();
    // The program ends: file and port closed, no ESC. Nothing runs afterwards.
    void endProgram();

    // Bytes from the port, one receive event; events never nest: bytes handed over while one
    // is being handled are handled right after it. What the port hands over as it is closed
    // at Stop (or after the run ended) is dropped: it is not the run's.
    void received(std::string_view bytes);
    // The port failed or went away during a run: waited for and reopened every second.
    void portLost();
    // The trigger settings window was closed while the run may be armed with its conditions.
    void triggerWindowClosed();

    // `follower` hears the run's events from now on, after those that followed before;
    // `unfollow` before a follower goes away while the run stays.
    void follow(RunEvents *follower) { m_events.add(follower); }
    void unfollow(RunEvents *follower) { m_events.remove(follower); }

    // Operations on the engine for the windows and the headless program.
    // At start-up: the output path is `folder` followed by a name from the clock.
    void setLogFolder(const std::string &folder);
    // The output path changed (typed, browsed or set by the program).
    void outputPathEdited(std::string_view path);
    // The output path gets a fresh name in LogFolder (the idle clock with trigger, the power-
    // flow correction's G).
    void refreshOutputPath();
    // The trace scales for the two range sliders (DrawGraphFrame).
    void graphRangesChanged(int voltageRange, int powerRange);
    // A condition box of the trigger settings was clicked: EnabledConditionCount after it.
    std::int16_t triggerConditionClicked(bool nowChecked);
    // EnabledConditionCount set at once, where the conditions come from a settings file.
    void setTriggerConditionCount(std::int16_t count);
    // "設定": the pre-trigger count and the comparison depth taken over, both rings made anew.
    void applyTriggerSettings();

    // What the link is doing, for a health report: the run's state with the watchdog's view.
    using LinkCondition = svglogger::LinkCondition;
    LinkCondition linkCondition() const;
    // The log file's status ("ログファイルを作成できません: …"), cause None while there is none.
    const RunStatus &fileStatus() const { return status(StatusSource::File); }

    bool measuring() const { return m_engine.link().linkState() != LinkState::Idle; }
    bool waitingForPort() const;
    LinkState linkState() const { return m_engine.link().linkState(); }

    // How long the waits last: reconnection tries, prompt, silence (tests shorten them).
    void setIntervals(int reconnectMilliseconds, int promptMilliseconds, int dataMilliseconds);

    // What the windows, the headless program and their tests look at.
    TriggerState triggerState() const { return m_engine.trigger().state(); }
    // What "設定" took over (the ring sizes) and the kept condition count, as values.
    struct TriggerFigures {
        std::int32_t preTriggerCount = 0;
        std::int32_t compareDepth = 0;
        std::int16_t enabledConditionCount = 0;
    };
    TriggerFigures triggerFigures() const
    {
        const TriggerControl &trigger = m_engine.trigger();
        return {trigger.capture().preTriggerCount(), trigger.evaluator().compareDepth(),
                trigger.enabledConditionCount()};
    }
    const std::string &logFolder() const { return m_engine.recorder().logFolder(); }
    // The open log file, empty while none is.
    std::string openPath() const { return m_engine.recorder().openPath(); }
    std::uint64_t linesHandled() const { return m_engine.linesHandled(); }
    std::int64_t rowsWritten() const { return m_engine.recorder().rowsWritten(); }
    std::int64_t rowsFailed() const { return m_engine.recorder().rowsFailed(); }
    // Received bytes not yet framed into a line.
    std::size_t unframedBytes() const { return m_engine.link().receiveBuffer().text().size(); }

    // The whole engine, for the fuzzer's checks of its invariants only.
    const ReceiveHandler &engine() const { return m_engine; }

    // RunControl: a complete single-shot capture stops the run.
    void stopRun() override;

private:
    // The sources of a status text, the first that has one shows.
    enum class StatusSource { Link, File, Trigger };
    static constexpr std::size_t kStatusSources = 3;

    // The recorder's file problem becomes the file's status: the run follows its own events
    // first, through this one method (its own portLost, runEnded... are not the events').
    struct FileProblemFollower final : RunEvents {
        explicit FileProblemFollower(RunController &run) : m_run(run) {}
        void fileProblemChanged(FileProblem problem, std::string_view text) override
        {
            m_run.fileProblemChanged(problem, text);
        }
        RunController &m_run;
    };
    void fileProblemChanged(FileProblem problem, std::string_view text);
    RunStatus &status(StatusSource source) { return m_status[static_cast<std::size_t>(source)]; }
    const RunStatus &status(StatusSource source) const { return m_status[static_cast<std::size_t>(source)]; }
    void setStatus(StatusSource source, RunStatus status);
    // Tells the followers when the link's condition is no longer the one last told; called
    // where a step of the run is complete, never halfway through one.
    void noteLinkCondition();
    void clearStatus(StatusSource source, StatusCause onlyIf);
    void wake(RunStatus status, WakeReason reason);
    void afterReceiveEvent(LinkState before, std::uint64_t linesBefore);
    void reconnectTimeout();
    // (Re)arms the watchdog: the prompt or the next line is due within the given time.
    void watch(int milliseconds);
    void watchdogTimeout();
    // A controller that was streaming when woken stops its stream at ESC and shows no prompt:
    // once its lines pause, ESC goes again.
    void streamPaused();

    RunInterfaces m_interfaces;
    RunEventFanOut m_events;
    FileProblemFollower m_fileProblems{*this};
    ReceiveHandler m_engine;
    std::array<RunStatus, kStatusSources> m_status;
    RunStatus m_shownStatus;
    LinkCondition m_toldLink = LinkCondition::Stopped;
    std::string m_portDevice; // the device of the run, kept for reconnecting
    std::string m_pendingInput;
    bool m_inReceiveEvent = false;
    bool m_closingPort = false; // Stop closes the port: what it hands over now is dropped
    bool m_ended = false;
    bool m_escapedAfterStream = false; // the ESC after a paused stream went for this wake
    int m_reconnectMilliseconds = kReconnectMilliseconds;
    int m_promptMilliseconds = kPromptMilliseconds;
    int m_dataMilliseconds = kDataMilliseconds;
};

} // namespace svglogger
