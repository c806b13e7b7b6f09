#include "fuzz/EngineFuzzHarness.h"

#include "common/Settings.h"
#include "pipeline/NoDisplay.h"
#include "pipeline/PortControl.h"
#include "pipeline/RunController.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/LogFileWriter.h"
#include "recording/TriggerSettings.h"
#include "pipeline/RunEvents.h"
#include "support/FakeClock.h"
#include "support/FakeTimer.h"
#include "support/NullViews.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace svglogger::test {

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

bool isHeader(std::string_view line)
{
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval})
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2})
            if (line == headerLine(mode, version))
                return true;
    return false;
}

// The port of the fuzzed run: one device, present unless the input has unplugged it. Bytes
// may wait in it; they are handed over with the next arrival or when it closes.
class FuzzPort final : public PortControl
{
public:
    bool present = true;
    bool opened = false;
    std::string written;
    std::string waiting;
    RunController *run = nullptr;

    bool open(const std::string &) override { return opened = present; }
    void handOverWaiting() override
    {
        if (opened && !waiting.empty() && run)
            run->received(std::exchange(waiting, std::string()));
    }
    void close() override
    {
        handOverWaiting();
        opened = false;
        waiting.clear();
    }
    bool isOpen() const override { return opened; }
    std::string errorString() const override { return {}; }
    void output(std::string_view bytes) override
    {
        if (opened)
            written.append(bytes);
    }
};

std::uint64_t rowKey(std::string_view row)
{
    return std::hash<std::string_view>{}(row);
}

// Keeps every row made, to check that none is written more often than it was made.
class RowTally final : public RunEvents
{
public:
    std::vector<std::uint64_t> made;
    void lineRecorded(const LineRecord &record) override
    {
        if (record.hasRow())
            made.push_back(rowKey(record.row));
    }
};

std::int64_t stampKey(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour, std::int64_t minute,
                      std::int64_t second)
{
    return ((((year * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) * 60 + second;
}

// "yyyy/MM/dd H:mm:ss" or the date alone, as a comparable number.
std::int64_t stampOf(std::string_view row)
{
    std::int64_t parts[6] = {};
    int part = 0;
    for (char c : row) {
        if (c == ',' || part == 6)
            break;
        if (c >= '0' && c <= '9')
            parts[part] = parts[part] * 10 + (c - '0');
        else
            ++part;
    }
    return stampKey(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
}

// Log files checked as they are written, none kept: each starts with a header, its rows have
// the header's fields, never go back in time and are never stamped later than the moment
// they are written (unless the clock went back); every row written is tallied.
class CheckedLogFiles final : public LogFileWriter
{
public:
    explicit CheckedLogFiles(const Clock &clock) : m_clock(clock) {}

    bool clockWentBack = false;
    std::vector<std::uint64_t> written;

    OpenResult createNew(const std::string &path) override
    {
        if (!m_paths.insert(path).second)
            return OpenResult::NameTaken;
        m_open = true;
        m_fields = -1;
        m_lastStamp = 0;
        return OpenResult::Opened;
    }
    bool writeLine(std::string_view text) override
    {
        require(m_open, "a line goes only into an open file");
        const auto fields = std::count(text.begin(), text.end(), ',');
        if (m_fields < 0) {
            require(isHeader(text), "a file starts with its header");
            m_fields = fields;
            return true;
        }
        require(!text.empty(), "no empty row");
        require(fields == m_fields, "the rows of a file have as many fields as its header");
        require(!isHeader(text), "one header per file");
        const std::int64_t stamp = stampOf(text);
        const LocalDateTime now = m_clock.now();
        require(clockWentBack || stamp <= stampKey(now.year, now.month, now.day, now.hour, now.minute, now.second),
                "no row is stamped later than the moment it is written");
        if (!clockWentBack && stamp < m_lastStamp)
            std::fprintf(stderr, "%s\nthen\n%.*s\n", m_lastRow.c_str(), static_cast<int>(text.size()), text.data());
        require(clockWentBack || stamp >= m_lastStamp, "rows of a file never go back in time");
        m_lastStamp = stamp;
        m_lastRow = text;
        written.push_back(rowKey(text));
        return true;
    }
    void close() override { m_open = false; }

private:
    const Clock &m_clock;
    std::set<std::string> m_paths;
    bool m_open = false;
    std::ptrdiff_t m_fields = -1;
    std::int64_t m_lastStamp = 0;
    std::string m_lastRow; // for the report of a row that goes back in time
};

struct FuzzRig final {
    Settings settings;
    TriggerSettings triggerSettings;
    FakeClock clock;
    FuzzPort port;
    FakeTimer reconnectTimer;
    FakeTimer watchdogTimer;
    FakeTimer pauseTimer;
    NoDisplay display;
    NoDisplay recordingView;
    CheckedLogFiles files{clock};
    RowTally tally;
    RunController run{RunInterfaces{settings, triggerSettings, clock, port, reconnectTimer, watchdogTimer, pauseTimer, display,
                                    display, recordingView, files}};
    FuzzRig()
    {
        run.setLogFolder("/log/");
        run.follow(&tally);
        port.run = &run;
    }
    void start() { run.start("fuzz (COM1)", "/dev/fuzz"); }
};

void checkInvariants(FuzzRig &rig)
{
    const ReceiveHandler &engine = rig.run.engine();
    const std::string_view rest = engine.link().receiveBuffer().text();
    const std::size_t firstCr = rest.find('\r');
    require((firstCr == std::string_view::npos ? rest.size() : firstCr) <= ReceiveBuffer::kMaxUndelimited,
            "receive buffer bound");
    const CommLog &log = engine.link().commLog();
    require(log.text().size() <= CommLog::kTrimAbove, "communication log bound");
    require(log.insertPos() == static_cast<std::int32_t>(log.text().size()), "log insert position");
    const TrendHistory &trend = engine.trend();
    require(trend.writePos() >= 0 && trend.writePos() < TrendHistory::kSlots, "trend write position");
    require(trend.count() >= 0 && trend.count() <= TrendHistory::kSlots, "trend count");
    const TriggerCapture &capture = engine.trigger().capture();
    require(capture.captureRowCount() >= 0, "capture row count");
    require(capture.preTriggerPos() >= 0 && capture.preTriggerPos() < std::max(1, capture.preTriggerCount()),
            "pre-trigger position");
    require(engine.recorder().intervals().dtCount() >= 0, "sample count");
    require(engine.trigger().evaluator().historyPos() < engine.trigger().evaluator().compareDepth()
                || engine.trigger().evaluator().compareDepth() == 0,
            "history position");
    require(!rig.run.waitingForPort() || rig.run.measuring(), "no reconnection while idle");
    require(!rig.watchdogTimer.isActive() || (rig.run.measuring() && !rig.run.waitingForPort()),
            "the watchdog runs only while a run talks to the controller");
    require(!rig.pauseTimer.isActive() || rig.run.linkState() == LinkState::AwaitingPrompt,
            "the stream's pause is waited for only while the prompt is");
}

// Every row written was made at least as often: no row goes into two files.
void checkRowsWrittenOnce(FuzzRig &rig)
{
    std::sort(rig.tally.made.begin(), rig.tally.made.end());
    std::sort(rig.files.written.begin(), rig.files.written.end());
    require(std::includes(rig.tally.made.begin(), rig.tally.made.end(), rig.files.written.begin(),
                          rig.files.written.end()),
            "a row goes into at most one file");
}

const char *const kIntervals[8] = {"1", "2", "2.5", "0.4", "60", "abc", "-1", "1e20"};
const char *const kPercents[4] = {"100", "", "1e999", "99999999999999999999999999999999999999999"};

} // namespace

void runEngineInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 8)
        return;
    FuzzRig rig;
    const std::uint8_t flags = data[0];
    rig.settings.powerFlow = flags & 0x01;
    rig.settings.logShown = flags & 0x02;
    rig.settings.uncompensatedVoltage = flags & 0x04;
    rig.settings.sampling = (flags & 0x08) ? SamplingMode::Interval : SamplingMode::Continuous;
    rig.settings.trigger = flags & 0x10;
    // The graph's loops are covered by their own tests; drawn here for one input in eight.
    rig.settings.graph = (flags & 0x20) && (data[7] & 0xE0) == 0xE0;
    rig.triggerSettings.orCombination = flags & 0x40;
    rig.triggerSettings.continuous = flags & 0x80;
    rig.settings.interval = kIntervals[data[1] % 8];
    rig.settings.reactancePercent = kPercents[(data[1] >> 3) % 4];
    for (int k = 0; k < 6; ++k) {
        rig.triggerSettings.windowOut[static_cast<std::size_t>(k)] = data[2] & (1 << k);
        rig.triggerSettings.change[static_cast<std::size_t>(k)] = data[3] & (1 << k);
    }
    const int checked =
        std::popcount(static_cast<unsigned>(data[2] & 0x3F)) + std::popcount(static_cast<unsigned>(data[3] & 0x3F));
    for (int i = 0; i < checked; ++i)
        rig.run.triggerConditionClicked(true);
    rig.triggerSettings.preTriggerCount = std::to_string(data[4]);
    rig.triggerSettings.recordCount = std::to_string(data[5] / 4);
    rig.triggerSettings.compareDepth = std::to_string(data[6] % 20);
    if (data[7] & 1)
        rig.triggerSettings.limits[0] = "";
    if (data[7] & 2)
        rig.triggerSettings.changeThresholds[4] = "-1";

    double now = toDateSerial({2026, 12, 7, 10, 59, 50});
    rig.clock.time = fromDateSerial(now);
    rig.start();

    std::size_t at = 8;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op < 200) {
            // The controller's bytes: up to 99 arrive at once, longer runs wait in the port.
            // After Start, a buffer that ends with the prompt is answered, whatever the
            // earlier run left behind.
            const std::size_t length = std::min<std::size_t>(op, size - at);
            const std::string_view bytes(reinterpret_cast<const char *>(data + at), length);
            at += length;
            if (!rig.port.isOpen() || rig.run.waitingForPort())
                continue;
            if (op >= 100) {
                rig.port.waiting.append(bytes);
                continue;
            }
            const LinkState before = rig.run.linkState();
            rig.run.received(std::exchange(rig.port.waiting, std::string()) + std::string(bytes));
            if (before == LinkState::AwaitingPrompt && rig.run.engine().link().receiveBuffer().text().ends_with("D:"))
                require(rig.run.linkState() != LinkState::AwaitingPrompt, "a prompt at the end is answered");
        } else if (op < 220) {
            // The clock moves on: seconds, an hour, a day, or back.
            const double steps[4] = {1.0 / 86400, 3600.0 / 86400, 1.0, -600.0 / 86400};
            now += steps[op % 4] * (1 + (op - 200) / 4);
            rig.files.clockWentBack |= op % 4 == 3;
            rig.clock.time = fromDateSerial(now);
        } else if (op < 228) {
            rig.run.stop();
        } else if (op < 236) {
            rig.start();
        } else if (op < 240) {
            // A lone prompt from the controller: answered whenever the run waits for it.
            if (rig.port.isOpen() && !rig.run.waitingForPort() && !rig.port.waiting.empty())
                rig.run.received(std::exchange(rig.port.waiting, std::string()));
            if (rig.port.isOpen() && !rig.run.waitingForPort()) {
                const bool waiting = rig.run.linkState() == LinkState::AwaitingPrompt;
                const std::size_t before = rig.port.written.size();
                rig.run.received("D:");
                if (waiting)
                    require(rig.port.written.substr(before) == "MN R\r\n", "a lone prompt is answered");
            }
        } else if (op < 244) {
            rig.run.applyTriggerSettings();
        } else if (op < 246) {
            // The trigger settings window is closed: "なし", and it comes back with its defaults.
            rig.settings.trigger = false;
            rig.triggerSettings = TriggerSettings{};
            rig.run.triggerWindowClosed();
        } else if (op < 247) {
            rig.watchdogTimer.fire();
        } else if (op < 248) {
            rig.pauseTimer.fire();
        } else if (op < 250) {
            rig.port.present = false;
            rig.run.portLost();
        } else if (op < 252) {
            rig.port.present = true;
            rig.reconnectTimer.fire();
        } else if (!rig.run.measuring()) {
            // Between runs the operator may choose the trigger and the sampling mode anew.
            rig.settings.trigger = op & 1;
            rig.settings.sampling = (op >> 1) & 1 ? SamplingMode::Interval : SamplingMode::Continuous;
        }
        checkInvariants(rig);
    }
    checkRowsWrittenOnce(rig);
}

} // namespace svglogger::test
