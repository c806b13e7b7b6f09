#include "quality/ReportCsv.h"

#include "common/TextNumber.h"
#include "quality/EventKind.h"
#include "reading/RecordTime.h"

#include <algorithm>

namespace svglogger {

std::vector<std::pair<std::string, std::string>> reportCsvFiles(const PowerQualityReport &report)
{
    std::vector<std::pair<std::string, std::string>> files;
    const double nominal = report.settings.nominal;
    // Each row of figures ends with the class its figures have.
    const auto ofClass = [](FigureClass figureClass) { return "," + std::string(name(figureClass)) + "\r\n"; };
    const std::string en50160 = ofClass(FigureClass::En50160Method), indicative = ofClass(FigureClass::Indicative);

    std::string tenMinutes = "start,v_rms,samples,incomplete,flagged,from_interval_means,class\r\n";
    for (const TenMinuteValue &v : report.tenMinutes)
        tenMinutes += fullRowTimeText(static_cast<double>(v.start)) + "," + fixedText(v.rms, 1) + "," + std::to_string(v.samples) + ","
            + (v.incomplete ? "1" : "0") + "," + (v.flagged ? "1" : "0") + "," + (v.fromIntervalMeans ? "1" : "0") + en50160;
    files.emplace_back("voltage_10min.csv", tenMinutes);

    // The whole period's rows, then each week's (EN 50160 judges each week): one table, so that
    // the weeks of a month stand one under the other, sorted and filtered as one.
    std::string compliance = "item,limit,valid_intervals,within,percent,verdict,intervals_with_flagged,within_with_flagged,"
                             "percent_with_flagged,period_from,period_to,class\r\n";
    const auto complianceRows = [&](const std::vector<PowerQualityReport::Compliance> &rows, double from, double to) {
        const auto percent = [](const BandShare &share) { return share.intervals == 0 ? std::string() : fixedText(share.percent(), 2); };
        for (const PowerQualityReport::Compliance &row : rows)
            compliance += row.name() + "," + row.limit + "," + std::to_string(row.valid.intervals) + "," + std::to_string(row.valid.within)
                + "," + percent(row.valid) + "," + row.verdict() + "," + std::to_string(row.withFlagged.intervals) + ","
                + std::to_string(row.withFlagged.within) + "," + percent(row.withFlagged) + "," + fullRowTimeText(from) + ","
                + fullRowTimeText(to) + en50160;
    };
    complianceRows(report.compliance, report.from, report.to);
    for (const PowerQualityReport::Week &week : report.weeks)
        complianceRows(week.compliance, week.from, week.to);
    files.emplace_back("compliance.csv", compliance);

    std::string events = "type,start,duration_s,extreme_v,extreme_pct,class\r\n";
    for (const VoltageEvent &e : report.events)
        events += std::string(eventKindName(eventKindOf(e.kind))) + "," + fullRowTimeText(e.start) + "," + (e.seconds ? fixedText(*e.seconds, 1) : "") + ","
            + fixedText(e.extreme, 1) + "," + fixedText(e.extreme * 100.0 / nominal, 1) + indicative;
    files.emplace_back("events.csv", events);

    // Every file given for the period: what of it was used, and why anything was not.
    const auto quoted = [](const std::string &field) {
        if (field.find_first_of(",\"\r\n") == std::string::npos)
            return field;
        std::string text = "\"";
        for (const char c : field)
            text += c == '"' ? std::string("\"\"") : std::string(1, c);
        return text + "\"";
    };
    std::string sources = "file,mode,interval_s,from,to,rows_used,rows_left_out,unreadable_lines,note\r\n";
    for (const RecordSet::Source &source : report.sources) {
        const bool read = source.from < source.to;
        const char *mode = !source.layout.samplingMode ? ""
            : *source.layout.samplingMode == SamplingMode::Interval ? "interval" : "continuous";
        sources += quoted(source.path) + "," + mode + "," + (source.intervalSeconds > 0 ? std::to_string(source.intervalSeconds) : "")
            + "," + (read ? fullRowTimeText(source.from) : "") + "," + (read ? fullRowTimeText(source.to) : "") + ","
            + std::to_string(source.rowsUsed) + "," + std::to_string(source.rowsLeftOut) + "," + std::to_string(source.linesUnreadable)
            + "," + quoted(sourceNote(source)) + "\r\n";
    }
    files.emplace_back("files.csv", sources);

    // A table of counts as CSV: its header, then each row's label and counts.
    const auto countTable = [&](const std::string &header, const auto &labels, const auto &counts) {
        std::string text = header + ",class\r\n";
        for (std::size_t r = 0; r < counts.size(); ++r) {
            text += labels[r];
            for (std::size_t count : counts[r])
                text += "," + std::to_string(count);
            text += indicative;
        }
        return text;
    };
    static const char *const kDipRows[] = {"90-80", "80-70", "70-40", "40-5", "<5"};
    static const char *const kSwellRows[] = {">=120", "110-120"};
    files.emplace_back("dip_table.csv", countTable("residual_pct,le_0.2s,0.2-0.5s,0.5-1s,1-5s,5-60s", kDipRows, report.tables.dips));
    files.emplace_back("swell_table.csv", countTable("voltage_pct,le_0.5s,0.5-5s,5-60s", kSwellRows, report.tables.swells));

    // A day without rows stays a row: its coverage 0, its figures empty.
    std::string daily = "date,coverage_pct,dv_p95,dv_max,dv_unc_p95,dv_unc_max,suppression_pct,rvc,rvc_unc,kwh,kvarh_lag,"
                        "kvarh_lead,svg_kvarh,pf_load,pf_pcc,event_minutes,class\r\n";
    for (const auto &dayCoverage : report.dailyCoverage) {
        const std::int64_t day = dayCoverage.first; // a lambda below takes it: no structured binding
        const Coverage &coverage = dayCoverage.second;
        const bool recorded = report.recorded(day);
        const auto effect = !recorded ? report.effectiveness.end()
                                      : std::find_if(report.effectiveness.begin(), report.effectiveness.end(),
                                                     [&](const DailyEffectiveness &d) { return d.day == day; });
        const auto energy = !recorded ? report.energy.end()
                                      : std::find_if(report.energy.begin(), report.energy.end(),
                                                     [&](const DailyEnergy &d) { return d.day == day; });
        daily += rowDateText(day) + "," + fixedText(coverage.percent(), 2) + ",";
        if (effect != report.effectiveness.end() && effect->minutes > 0)
            daily += fixedText(effect->swingP95, 3) + "," + fixedText(effect->swingMax, 3) + "," + fixedText(effect->uncompensatedP95, 3) + ","
                + fixedText(effect->uncompensatedMax, 3) + "," + (effect->suppression ? fixedText(*effect->suppression * 100.0, 1) : "")
                + "," + std::to_string(effect->rapidChanges) + "," + std::to_string(effect->uncompensatedRapidChanges) + ",";
        else
            daily += ",,,,,,,";
        if (energy != report.energy.end()) {
            const auto pf = [](std::optional<double> v) { return v ? fixedText(*v, 3) : std::string(); };
            daily += fixedText(energy->kwh, 1) + "," + fixedText(energy->kvarhLagging, 1) + "," + fixedText(energy->kvarhLeading, 1) + ","
                + fixedText(energy->svgKvarh, 1) + "," + pf(energy->loadPowerFactor()) + "," + pf(energy->connectionPowerFactor());
        } else {
            daily += ",,,,,";
        }
        // The minutes left out of the ΔV figures, where the day has them.
        daily += "," + (effect != report.effectiveness.end() ? std::to_string(effect->eventMinutes) : std::string());
        daily += indicative;
    }
    files.emplace_back("daily.csv", daily);

    std::string summary = "parameter,class,limit,valid,flagged,incomplete,missing,result,verdict\r\n";
    for (const ReportSummary::Row &row : report.summary.rows) {
        summary += std::string(name(row.parameter)) + "," + std::string(name(row.figureClass)) + "," + row.limit + ",";
        if (row.intervals)
            summary += std::to_string(row.intervals->valid) + "," + std::to_string(row.intervals->flagged) + ","
                + std::to_string(row.intervals->incomplete) + "," + std::to_string(row.intervals->missing) + ",";
        else
            summary += ",,,,";
        summary += row.result + "," + std::string(name(row.verdict)) + "\r\n";
    }
    files.emplace_back("summary.csv", summary);
    return files;
}

} // namespace svglogger
