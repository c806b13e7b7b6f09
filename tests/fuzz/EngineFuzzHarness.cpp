#include "fuzz/EngineFuzzHarness.h"

#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "support/EngineRig.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace svglogger::test {

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

bool isHeader(const std::string &line)
{
    for (int mode : {0, 1})
        for (int version : {1, 2})
            if (line == headerLine(mode, version))
                return true;
    return false;
}

void checkInvariants(EngineRig &rig)
{
    const std::string_view rest = rig.handler.link().receiveBuffer().text();
    const std::size_t firstCr = rest.find('\r');
    require((firstCr == std::string_view::npos ? rest.size() : firstCr) <= ReceiveBuffer::kMaxUndelimited,
            "receive buffer bound");
    const CommLog &log = rig.handler.link().commLog();
    require(log.text().size() <= CommLog::kTrimAbove, "communication log bound");
    require(log.insertPos() == static_cast<std::int32_t>(log.text().size()), "log insert position");
    const TrendHistory &trend = rig.handler.decoder().trendHistory();
    require(trend.writePos() >= 0 && trend.writePos() < TrendHistory::kSlots, "trend write position");
    require(trend.count() >= 0 && trend.count() <= TrendHistory::kSlots, "trend count");
    const TriggerCapture &capture = rig.handler.capture();
    require(capture.captureRowCount() >= 0, "capture row count");
    require(capture.preTriggerPos() >= 0 && capture.preTriggerPos() < std::max(1, capture.preTriggerCount()),
            "pre-trigger position");
    require(rig.handler.recorder().intervals().dtCount() >= 0, "sample count");
    require(rig.handler.evaluator().historyPos() < rig.handler.evaluator().compareDepth()
                || rig.handler.evaluator().compareDepth() == 0,
            "history position");
}

void checkFiles(EngineRig &rig)
{
    for (const auto &[path, lines] : rig.files.files) {
        require(!lines.empty() && isHeader(lines[0]), "a file starts with its header");
        for (std::size_t i = 1; i < lines.size(); ++i) {
            require(!lines[i].empty(), "no empty row");
            require(!isHeader(lines[i]), "one header per file");
        }
    }
}

const char *const kIntervals[8] = {"1", "2", "2.5", "0.4", "60", "abc", "-1", "32768"};
const char *const kPercents[4] = {"100", "", "1e999", "99999999999999999999999999999999999999999"};

} // namespace

void runEngineInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 8)
        return;
    EngineRig rig;
    const std::uint8_t flags = data[0];
    rig.settings.check4 = flags & 0x01;
    rig.settings.check6 = flags & 0x02;
    rig.settings.check1 = flags & 0x04;
    rig.settings.option2 = (flags & 0x08) ? 1 : 0;
    rig.settings.tg = flags & 0x10;
    rig.settings.check2 = flags & 0x20;
    rig.triggerSettings.orOption = flags & 0x40;
    rig.triggerSettings.continuous = flags & 0x80;
    rig.settings.text4 = kIntervals[data[1] % 8];
    rig.settings.text3 = kPercents[(data[1] >> 3) % 4];
    int checked = 0;
    for (int k = 0; k < 6; ++k) {
        rig.triggerSettings.check1[static_cast<std::size_t>(k)] = data[2] & (1 << k);
        rig.triggerSettings.check2[static_cast<std::size_t>(k)] = data[3] & (1 << k);
    }
    checked = std::popcount(static_cast<unsigned>(data[2] & 0x3F)) + std::popcount(static_cast<unsigned>(data[3] & 0x3F));
    rig.handler.evaluator().setEnabledConditionCount(static_cast<std::int16_t>(checked));
    rig.triggerSettings.text1_0 = std::to_string(data[4]);
    rig.triggerSettings.text1_1 = std::to_string(data[5] / 4);
    rig.triggerSettings.text4 = std::to_string(data[6] % 20);
    if (data[7] & 1)
        rig.triggerSettings.text2[0] = "";
    if (data[7] & 2)
        rig.triggerSettings.text3[4] = "-1";

    double now = toDateSerial({2026, 12, 7, 10, 59, 50});
    rig.clock.time = fromDateSerial(now);
    rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
    rig.handler.startRun();

    std::size_t at = 8;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op < 200) {
            const std::size_t length = std::min<std::size_t>(op, size - at);
            rig.handler.onComm(std::string_view(reinterpret_cast<const char *>(data + at), length));
            at += length;
        } else if (op < 220) {
            // The clock moves on: seconds, an hour, a day, or back.
            const double steps[4] = {1.0 / 86400, 3600.0 / 86400, 1.0, -600.0 / 86400};
            now += steps[op % 4] * (1 + (op - 200) / 4);
            rig.clock.time = fromDateSerial(now);
        } else if (op < 230) {
            rig.handler.stopRun(true);
        } else if (op < 240) {
            if (rig.handler.link().linkState() == LinkState::Idle) {
                rig.handler.link().setLinkState(LinkState::AwaitingPrompt);
                rig.handler.startRun();
            }
        } else if (op < 250) {
            rig.handler.applyTriggerSettings();
        } else {
            rig.settings.tg = !rig.settings.tg;
            rig.settings.option2 = 1 - rig.settings.option2;
        }
        checkInvariants(rig);
    }
    checkFiles(rig);
}

} // namespace svglogger::test
