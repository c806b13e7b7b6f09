#include "tools/RecordedDay.h"

#include "common/Settings.h"
#include "link/MeasurementDecoder.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/IntervalAggregator.h"
#include "reading/LocalClock.h"
#include "recording/LogFileName.h"
#include "pipeline/NoDisplay.h"
#include "recording/ShiftJisText.h"
#include "tools/MeasurementGenerator.h"

#include <filesystem>
#include <fstream>

namespace svglogger {

long long RecordedDay::write() const
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    Settings settings;
    MeasurementDecoder decoder(settings);
    MeasurementGenerator generator({version, seed, 5.0, eventEverySeconds, 0, dipVolts});
    decoder.beginReceiveEvent();
    decoder.processLine(generator.versionLine());
    const ControllerVersion controller = version == 2 ? ControllerVersion::Version2 : ControllerVersion::Older;
    const SamplingMode mode = interval ? SamplingMode::Interval : SamplingMode::Continuous;
    const std::string header = *toShiftJis(headerLine(mode, controller)) + "\r\n";
    NoDisplay view;
    IntervalAggregator intervals(view);
    intervals.setIntervalStart(toDateSerial({year, month, day, 0, 0, 0}));
    long long rows = 0;
    // The hours run on the clock's standard time; each second is stamped by the wall clock,
    // and a file is begun where the wall clock's hour (or day) is another than the file's.
    const LocalClock clock(zone);
    const std::int64_t start = clock.standardOf(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400);
    std::ofstream file;
    std::string text;
    int fileDay = -1, fileHour = -1;
    const auto finish = [&] {
        if (!file.is_open())
            return true;
        file << text;
        file.close();
        return !file.fail();
    };
    for (std::int64_t second = 0; second < std::int64_t{hours} * 3600; ++second) {
        const LocalDateTime now = civilFromSeconds(clock.wallOf(start + second));
        if (now.day != fileDay || now.hour != fileHour) {
            if (!finish())
                return -1;
            file.open(folder + "/" + LogFileName{now.day, now.hour, now.minute, now.second}.text(),
                      std::ios::binary | std::ios::trunc);
            if (!file)
                return -1;
            text = header;
            fileDay = now.day;
            fileHour = now.hour;
        }
        for (int i = 0; i < 5; ++i) {
            decoder.beginReceiveEvent();
            decoder.processLine(generator.nextLine());
            std::string row;
            if (!interval)
                row = continuousRow(now, decoder.sample(), controller);
            else if (const auto figures = intervals.addSample(decoder.sample(), controller, toDateSerial(now),
                                                              intervalSeconds))
                row = intervalRow(*figures);
            if (!row.empty()) {
                text += row;
                text += "\r\n";
                ++rows;
            }
        }
    }
    if (!finish())
        return -1;
    return rows;
}

} // namespace svglogger
