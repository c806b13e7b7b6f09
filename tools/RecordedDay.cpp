#include "tools/RecordedDay.h"

#include "common/Settings.h"
#include "link/MeasurementDecoder.h"
#include "recording/CsvLayout.h"
#include "recording/DateSerial.h"
#include "recording/IntervalAggregator.h"
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
    const std::int64_t firstDay = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    for (int h = 0; h < hours; ++h) {
        // Beyond 24 hours the next days' files, with their own dates.
        int y = year, m = month, d = day;
        civilFromDays(firstDay + h / 24, y, m, d);
        const int hour = h % 24;
        const std::string path = folder + "/" + LogFileName{d, hour, 0, 0}.text();
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        if (!file)
            return -1;
        std::string text = header;
        for (int second = 0; second < 3600; ++second) {
            const LocalDateTime now{y, m, d, hour, second / 60, second % 60};
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
        file << text;
        if (!file)
            return -1;
    }
    return rows;
}

} // namespace svglogger
