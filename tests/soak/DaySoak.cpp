#include "soak/DaySoak.h"

#include "common/Settings.h"
#include "pipeline/NoDisplay.h"
#include "pipeline/ReceiveHandler.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/LogFileWriter.h"
#include "recording/TriggerSettings.h"
#include "support/FakeClock.h"
#include "support/NullViews.h"
#include "tools/MeasurementGenerator.h"

#include <malloc.h>

#include <string_view>

namespace svglogger::test {

namespace {

std::size_t heapInUse()
{
#if defined(__GLIBC__)
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

// Log files that are checked line by line and not kept: one header first; continuous rows
// in time order, five to a second; the "DT数" column added up; rows per capture counted.
class CheckedLogFiles final : public LogFileWriter
{
public:
    explicit CheckedLogFiles(DaySoak::Mode mode, DaySoak::Result &result)
        : m_mode(mode)
        , m_result(result)
    {
    }

    OpenResult createNew(const std::string &path) override
    {
        closeCapture();
        if (path == m_lastPath)
            return OpenResult::NameTaken;
        m_lastPath = path;
        m_lines = 0;
        m_lastTime.clear();
        m_sameTime = 0;
        ++m_result.files;
        return OpenResult::Opened;
    }

    bool writeLine(std::string_view text) override
    {
        if (m_lines++ == 0) {
            if (text != headerLine(m_mode == DaySoak::Mode::Interval ? SamplingMode::Interval : SamplingMode::Continuous, ControllerVersion::Version2))
                fail("the first line is not the header");
            return true;
        }
        ++m_result.rows;
        const std::string_view time = text.substr(0, text.find(','));
        if (m_mode == DaySoak::Mode::Continuous) {
            if (time == m_lastTime) {
                if (++m_sameTime > 5)
                    fail("more than five rows in one second");
            } else {
                if (!m_lastTime.empty() && m_sameTime != 5)
                    fail("a second without its five rows");
                m_lastTime = time;
                m_sameTime = 1;
            }
        } else if (m_mode == DaySoak::Mode::Interval) {
            const std::size_t last = text.rfind(',');
            const std::size_t count = text.rfind(',', last - 1);
            m_result.sampleCountSum += std::stoll(std::string(text.substr(count + 1, last - count - 1)));
        }
        return true;
    }

    void close() override { closeCapture(); }

private:
    void closeCapture()
    {
        if (m_mode == DaySoak::Mode::Trigger && m_lines > 0) {
            if (m_lines - 1 == DaySoak::kRecordCount + 1)
                ++m_result.completeCaptures;
            else
                ++m_result.shortCaptures;
        }
        m_lines = 0;
    }
    void fail(const char *what)
    {
        if (m_result.problem.empty())
            m_result.problem = std::string(what) + " in " + m_lastPath;
    }

    DaySoak::Mode m_mode;
    DaySoak::Result &m_result;
    std::string m_lastPath;
    std::int64_t m_lines = 0;
    std::string m_lastTime;
    int m_sameTime = 0;
};

} // namespace

DaySoak::Result DaySoak::run(Mode mode, int hours)
{
    Result result;
    Settings settings;
    settings.graph = false; // the graph has its own tests and benchmarks
    settings.sampling = mode == Mode::Interval ? SamplingMode::Interval : SamplingMode::Continuous;
    settings.interval = "60";
    settings.trigger = mode == Mode::Trigger;
    TriggerSettings triggerSettings;
    triggerSettings.windowOut[0] = true;
    triggerSettings.preTriggerCount = "100";
    triggerSettings.recordCount = std::to_string(kRecordCount);
    FakeClock clock;
    NullPort port;
    NoDisplay display;
    NoDisplay recordingView;
    CheckedLogFiles files(mode, result);
    NullRunControl noStop;
    ReceiveHandler handler(
        EngineInterfaces{settings, clock, port, display, display, recordingView, triggerSettings, files, noStop});
    handler.trigger().setEnabledConditionCount(1);
    handler.recorder().setOutputPath("/soak/x.csv");

    const double start = toDateSerial({2026, 12, 7, 0, 0, 0});
    clock.time = fromDateSerial(start);
    handler.link().setLinkState(LinkState::AwaitingPrompt);
    handler.startRun();
    handler.receiveBytes("D:");

    MeasurementGenerator::Options options;
    options.seed = 2026;
    options.eventEverySeconds = 60;
    MeasurementGenerator generator(options);
    handler.receiveBytes(generator.versionLine() + "\r");
    std::string line;
    const std::int64_t total = static_cast<std::int64_t>(hours) * 3600 * 5;
    for (std::int64_t i = 0; i < total; ++i) {
        if (i % 5 == 0)
            clock.time = fromDateSerial(start + static_cast<double>(i / 5) / 86400.0);
        line = generator.nextLine();
        line += '\r';
        handler.receiveBytes(line);
        if (i == 3600 * 5 - 1)
            result.heapAfterFirstHour = heapInUse();
    }
    result.lines = total;
    result.heapAtEnd = heapInUse();
    result.stillOpen = handler.recorder().intervals().dtCount();
    handler.recorder().closeLogFile();
    return result;
}

} // namespace svglogger::test
