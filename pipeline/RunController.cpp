#include "pipeline/RunController.h"

#include "pipeline/PortControl.h"
#include "pipeline/Timer.h"

#include <utility>

namespace svglogger {

RunController::RunController(const RunInterfaces &interfaces)
    : m_interfaces(interfaces)
    , m_engine(EngineInterfaces{interfaces.settings, interfaces.clock, interfaces.port, interfaces.linkView,
                                interfaces.graphView, interfaces.recordingView, interfaces.triggerSettings,
                                interfaces.logFile, *this})
{
    m_events.add(&m_fileProblems);
    m_engine.setEvents(&m_events);
}

void RunController::setIntervals(int reconnectMilliseconds, int promptMilliseconds, int dataMilliseconds)
{
    m_reconnectMilliseconds = reconnectMilliseconds;
    m_promptMilliseconds = promptMilliseconds;
    m_dataMilliseconds = dataMilliseconds;
}

bool RunController::waitingForPort() const
{
    return m_interfaces.reconnectTimer.isActive();
}

RunController::LinkCondition RunController::linkCondition() const
{
    if (!measuring())
        return LinkCondition::Stopped;
    if (waitingForPort())
        return LinkCondition::PortLost;
    switch (status(StatusSource::Link).cause) {
    case StatusCause::NoAnswer: return LinkCondition::NoAnswer;
    case StatusCause::NoData: return LinkCondition::NoData;
    default: break;
    }
    return linkState() == LinkState::Streaming ? LinkCondition::Streaming : LinkCondition::AwaitingPrompt;
}

void RunController::setStatus(StatusSource source, RunStatus newStatus)
{
    status(source) = std::move(newStatus);
    RunStatus shown;
    for (const RunStatus &candidate : m_status) {
        if (candidate.cause != StatusCause::None) {
            shown = candidate;
            break;
        }
    }
    if (shown != m_shownStatus) {
        m_shownStatus = std::move(shown);
        m_events.statusChanged(m_shownStatus);
    }
}

void RunController::fileProblemChanged(FileProblem problem, std::string_view text)
{
    const StatusCause cause = problem == FileProblem::CannotCreate ? StatusCause::CannotCreateFile
        : problem == FileProblem::CannotWrite                      ? StatusCause::CannotWriteFile
                                                                    : StatusCause::None;
    setStatus(StatusSource::File, {cause, std::string(text)});
}

void RunController::noteLinkCondition()
{
    const LinkCondition now = linkCondition();
    if (now == m_toldLink)
        return;
    m_toldLink = now;
    m_events.linkChanged(now);
}

void RunController::clearStatus(StatusSource source, StatusCause onlyIf)
{
    if (status(source).cause == onlyIf)
        setStatus(source, {});
}

bool RunController::start(std::string_view entry, std::string_view device)
{
    if (m_ended || measuring())
        return false;
    if (entry.empty()) {
        setStatus(StatusSource::Link, {StatusCause::NoPort, std::string(kNoPort)});
        return false;
    }
    if (device.empty()) {
        setStatus(StatusSource::Link, {StatusCause::CannotOpenPort, std::string(kCannotOpenPort) + std::string(entry)});
        return false;
    }
    if (!m_interfaces.port.open(std::string(device))) {
        // The port's own reason follows the entry: busy, missing, no permission.
        const std::string reason = m_interfaces.port.errorString();
        setStatus(StatusSource::Link, {StatusCause::CannotOpenPort, std::string(kCannotOpenPort) + std::string(entry)
                                                                       + (reason.empty() ? "" : " (" + reason + ")")});
        return false;
    }
    // A new run starts with a clear status line: what failed last time is tried again now.
    for (StatusSource source : {StatusSource::Link, StatusSource::File, StatusSource::Trigger})
        setStatus(source, {});
    m_portDevice = device;
    m_engine.startRun();
    m_events.controllerWoken(WakeReason::Start);
    m_escapedAfterStream = false;
    watch(m_promptMilliseconds);
    noteLinkCondition();
    return true;
}

void RunController::stop()
{
    if (!measuring())
        return;
    // What arrived before the Stop belongs to the run: handled before it ends.
    m_interfaces.port.handOverWaiting();
    if (!measuring())
        return; // it completed a single-shot capture, which has stopped the run already
    const bool portUp = m_interfaces.port.isOpen() && !waitingForPort();
    m_interfaces.reconnectTimer.stop();
    m_interfaces.watchdogTimer.stop();
    m_interfaces.pauseTimer.stop();
    m_engine.stopRun(portUp);
    m_closingPort = true;
    m_interfaces.port.close();
    m_closingPort = false;
    setStatus(StatusSource::Link, {});
    setStatus(StatusSource::Trigger, {});
    noteLinkCondition();
}

void RunController::stopRun()
{
    stop();
    m_events.runEnded();
}

void RunController::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    m_interfaces.reconnectTimer.stop();
    m_interfaces.watchdogTimer.stop();
    m_interfaces.pauseTimer.stop();
    m_engine.recorder().closeLogFile();
    m_interfaces.port.close(); // what it hands over now is dropped: the program has ended
    noteLinkCondition();
}

void RunController::received(std::string_view bytes)
{
    // What the port hands over as Stop closes it arrived after the Stop, and after the end of
    // the program nothing is handled: neither may start a capture or a file.
    if (m_ended || m_closingPort)
        return;
    m_pendingInput.append(bytes);
    if (m_inReceiveEvent)
        return;
    m_inReceiveEvent = true;
    while (!m_pendingInput.empty()) {
        const std::string event = std::exchange(m_pendingInput, std::string());
        const LinkState before = linkState();
        const std::uint64_t linesBefore = m_engine.linesHandled();
        m_engine.receiveBytes(event);
        afterReceiveEvent(before, linesBefore);
    }
    m_inReceiveEvent = false;
    noteLinkCondition();
}

// The watchdog follows the dialogue: after the prompt it waits for lines, and every event
// that brings lines while streaming starts its wait again.
void RunController::afterReceiveEvent(LinkState before, std::uint64_t linesBefore)
{
    if (!measuring() || waitingForPort() || m_ended)
        return;
    if (linkState() == LinkState::AwaitingPrompt) {
        // Lines while the prompt is awaited: the stream ran on past our ESC. Every byte
        // after them postpones the pause.
        if (!m_escapedAfterStream && (m_engine.linesHandled() != linesBefore || m_interfaces.pauseTimer.isActive()))
            m_interfaces.pauseTimer.start(kPauseMilliseconds, [this] { streamPaused(); });
        return;
    }
    m_interfaces.pauseTimer.stop();
    if (linkState() != LinkState::Streaming)
        return;
    if (before == LinkState::AwaitingPrompt) {
        clearStatus(StatusSource::Link, StatusCause::NoAnswer);
        watch(m_dataMilliseconds);
    }
    if (m_engine.linesHandled() != linesBefore) {
        clearStatus(StatusSource::Link, StatusCause::NoData);
        if (before == LinkState::Streaming)
            watch(m_dataMilliseconds);
    }
}

void RunController::wake(RunStatus linkStatus, WakeReason reason)
{
    setStatus(StatusSource::Link, std::move(linkStatus));
    m_engine.wakeController();
    m_events.controllerWoken(reason);
    m_escapedAfterStream = false;
    m_interfaces.pauseTimer.stop();
    watch(m_promptMilliseconds);
}

void RunController::streamPaused()
{
    m_interfaces.pauseTimer.stop();
    if (!measuring() || waitingForPort() || m_ended || linkState() != LinkState::AwaitingPrompt)
        return;
    wake(status(StatusSource::Link), WakeReason::StreamPaused); // the status stays as it is
    m_escapedAfterStream = true;
}

void RunController::watch(int milliseconds)
{
    m_interfaces.watchdogTimer.start(milliseconds, [this] { watchdogTimeout(); });
}

void RunController::watchdogTimeout()
{
    if (!measuring() || waitingForPort()) {
        m_interfaces.watchdogTimer.stop();
        return;
    }
    // No prompt since the last ESC: ESC again. No line for a while: the controller is woken
    // again as at Start; rows go on in the same file.
    if (linkState() == LinkState::AwaitingPrompt)
        wake({StatusCause::NoAnswer, std::string(kNoAnswer)}, WakeReason::NoAnswer);
    else
        wake({StatusCause::NoData, std::string(kNoData)}, WakeReason::NoData);
    noteLinkCondition();
}

void RunController::portLost()
{
    if (!measuring() || waitingForPort() || m_ended)
        return;
    m_interfaces.port.close(); // what was received before the loss is still handled
    m_interfaces.watchdogTimer.stop();
    m_interfaces.pauseTimer.stop();
    if (!measuring())
        return; // those last bytes completed a single-shot capture, which ended the run
    setStatus(StatusSource::Link, {StatusCause::PortLost, std::string(kPortLost)});
    m_events.portLost();
    m_interfaces.reconnectTimer.start(m_reconnectMilliseconds, [this] { reconnectTimeout(); });
    noteLinkCondition();
}

void RunController::reconnectTimeout()
{
    if (!m_interfaces.port.open(m_portDevice))
        return;
    m_interfaces.reconnectTimer.stop();
    m_events.portBack();
    wake({}, WakeReason::PortBack);
    noteLinkCondition();
}

void RunController::setLogFolder(const std::string &folder)
{
    m_engine.recorder().setOutputPath(folder + m_engine.recorder().fileName());
}

void RunController::outputPathEdited(std::string_view path)
{
    m_engine.recorder().outputPathEdited(path);
}

void RunController::refreshOutputPath()
{
    m_engine.recorder().refreshOutputPath();
}

void RunController::graphRangesChanged(int voltageRange, int powerRange)
{
    m_engine.setGraphRanges(voltageRange, powerRange);
}

std::int16_t RunController::triggerConditionClicked(bool nowChecked)
{
    return m_engine.trigger().conditionBoxClicked(nowChecked);
}

void RunController::setTriggerConditionCount(std::int16_t count)
{
    m_engine.trigger().setEnabledConditionCount(count);
}

void RunController::applyTriggerSettings()
{
    m_engine.trigger().applySettings();
}

void RunController::triggerWindowClosed()
{
    // The window made anew has no box checked while the condition count stays: a run armed
    // with the closed window's conditions captures nothing until Stop.
    const TriggerState state = m_engine.trigger().state();
    if (measuring() && (state == TriggerState::Armed || state == TriggerState::Capturing))
        setStatus(StatusSource::Trigger, {StatusCause::NoTriggerConditions, std::string(kNoTriggerConditions)});
}

} // namespace svglogger
