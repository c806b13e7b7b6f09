#include "metrics/MetricFamilies.h"
#include "metrics/RunMetrics.h"
#include "support/Lines.h"
#include "support/LinkWords.h"
#include "support/RunRig.h"

#include <prometheus/text_serializer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

namespace svglogger {
namespace {

using namespace std::chrono_literals;
using test::olderLine;
using test::version2Line;

// The served samples by "name{labels}", as Prometheus' text format writes them.
std::map<std::string, std::string> served(const MetricsState &state, MetricsState::SteadyTime now)
{
    const std::string text = prometheus::TextSerializer().Serialize(metricFamilies(state, now));
    std::map<std::string, std::string> series;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && line[0] != '#')
            series[line.substr(0, line.rfind(' '))] = line.substr(line.rfind(' ') + 1);
    }
    return series;
}

struct MetricsRig : test::RunRig {
    RunMetrics metrics{{"9.9", "", SamplingMode::Continuous, 0, 6600, false, 5000ms}, run};
    MetricsRig() { run.follow(&metrics); }
    std::map<std::string, std::string> now()
    {
        metrics.refresh();
        return served(metrics.snapshot(), std::chrono::steady_clock::now());
    }
};

// The run's own events: each ESC by its reason, the link's state, lines, samples and rows.
TEST(RunMetricsOfARun, WakesLinkLinesSamplesAndRowsAsTheRunHasThem)
{
    MetricsRig rig;
    auto s = rig.now();
    EXPECT_EQ(s["svglogger_link_state{state=\"stopped\"}"], "1");
    EXPECT_EQ(s.count("svglogger_grid_voltage_volts"), 0u); // no sample yet
    EXPECT_EQ(s.count("svglogger_last_sample_timestamp_seconds"), 0u);
    rig.start();
    rig.watchdogTimer.fire(); // no prompt
    rig.controllerSends("D:");
    rig.controllerSends("Ver1.00\r" + olderLine("0011", "6601", "1000", "-500", "800") + "\r" + "MN R,garbled\r");
    s = rig.now();
    EXPECT_EQ(s["svglogger_controller_wakeups_total{reason=\"start\"}"], "1");
    EXPECT_EQ(s["svglogger_controller_wakeups_total{reason=\"no_answer\"}"], "1");
    EXPECT_EQ(s["svglogger_controller_wakeups_total{reason=\"no_data\"}"], "0");
    EXPECT_EQ(s["svglogger_link_state{state=\"streaming\"}"], "1");
    EXPECT_EQ(s["svglogger_link_state{state=\"no_answer\"}"], "0");
    EXPECT_EQ(s["svglogger_lines_received_total"], "3");
    EXPECT_EQ(s["svglogger_samples_total"], "1");
    EXPECT_EQ(s["svglogger_rows_written_total"], "1");
    EXPECT_EQ(s["svglogger_log_file_open"], "1");
    EXPECT_EQ(s["svglogger_grid_voltage_volts"], "6601");
    EXPECT_EQ(s["svglogger_controller_info{controller_version=\"1\",mode=\"continuous\"}"], "1");
    EXPECT_EQ(s["svglogger_status_bit{bit=\"0\"}"], "1");
    EXPECT_EQ(s["svglogger_status_bit{bit=\"4\"}"], "1");
    EXPECT_EQ(s["svglogger_status_bit{bit=\"1\"}"], "0");
    EXPECT_EQ(s.count("svglogger_negative_sequence_voltage_volts{axis=\"d\"}"), 0u); // an older controller
    EXPECT_EQ(s.count("svglogger_mqtt_connected"), 0u);                            // no broker configured
    rig.watchdogTimer.fire(); // five seconds without a line
    s = rig.now();
    EXPECT_EQ(s["svglogger_controller_wakeups_total{reason=\"no_data\"}"], "1");
    EXPECT_EQ(s["svglogger_link_state{state=\"no_data\"}"], "1");
    // A file that cannot be written: the row is counted as failed, the error shown.
    rig.controllerSends("D:");
    rig.controllerSends("Ver1.00\r");
    rig.files.fullAfterLines = 2; // the header and the first row
    rig.controllerSends(olderLine("0000", "6602", "1000", "-500", "800") + "\r");
    s = rig.now();
    EXPECT_EQ(s["svglogger_rows_failed_total"], "1");
    EXPECT_EQ(s["svglogger_log_file_error"], "1");
    EXPECT_EQ(s["svglogger_rows_written_total"], "1");
    rig.run.stop();
    EXPECT_EQ(rig.now()["svglogger_link_state{state=\"stopped\"}"], "1");
}

// What a state serves: the last values only while fresh (up to the watchdog's time), only
// those the controller sends, MQTT only when configured, the bits of a negative status word.
TEST(MetricFamiliesOfAState, FreshnessAndWhatIsServed)
{
    const auto t0 = std::chrono::steady_clock::time_point(1000s);
    MetricsState base;
    base.version = "1.2.3";
    base.revision = "3f7f6b6";
    base.lastSampleAt = t0;
    base.lastSampleSeconds = 1'800'000'000.25;
    base.controllerVersion = ControllerVersion::Version2;
    base.last[MeasurementSample::GridVoltage] = 6600.0f;
    base.last[MeasurementSample::LoadActivePower] = 119.4f;
    base.last[MeasurementSample::NegSeqVoltageD] = 3.0f;
    base.last[MeasurementSample::NegSeqVoltageQ] = 4.0f;
    base.last[MeasurementSample::StatusWord] = static_cast<float>(0x8001 - 0x10000);
    struct Case {
        const char *name;
        std::chrono::milliseconds age;
        void (*change)(MetricsState &);
        std::map<std::string, const char *> expected; // nullptr: not served
    } cases[] = {
        {"FreshAtTheWatchdogsTime", 5000ms, [](MetricsState &) {},
         {{"svglogger_grid_voltage_volts", "6600"},
          {"svglogger_load_active_power_watts", "119400"},
          {"svglogger_voltage_unbalance_ratio", "0.0007575757575757576"},
          {"svglogger_status_bit{bit=\"0\"}", "1"},
          {"svglogger_status_bit{bit=\"15\"}", "1"},
          {"svglogger_status_bit{bit=\"14\"}", "0"},
          {"svglogger_uncompensated_voltage_volts", nullptr},
          {"svglogger_build_info{revision=\"3f7f6b6\",version=\"1.2.3\"}", "1"},
          {"svglogger_last_sample_timestamp_seconds", "1800000000.25"}}},
        {"StaleAMillisecondLater", 5001ms, [](MetricsState &) {},
         {{"svglogger_grid_voltage_volts", nullptr},
          {"svglogger_status_bit{bit=\"0\"}", nullptr},
          {"svglogger_negative_sequence_voltage_volts{axis=\"d\"}", nullptr},
          {"svglogger_last_sample_timestamp_seconds", "1800000000.25"},
          {"svglogger_samples_total", "0"},
          {"svglogger_link_state{state=\"stopped\"}", "1"}}},
        {"OlderControllerNoNegativeSequence", 0ms, [](MetricsState &s) { s.controllerVersion = ControllerVersion::Older; },
         {{"svglogger_negative_sequence_voltage_volts{axis=\"d\"}", nullptr},
          {"svglogger_voltage_unbalance_ratio", nullptr},
          {"svglogger_grid_voltage_volts", "6600"}}},
        {"UncompensatedWithItsReactance", 0ms, [](MetricsState &s) {
             s.uncompensatedServed = true;
             s.last[MeasurementSample::UncompensatedVoltage] = 6650.5f;
         },
         {{"svglogger_uncompensated_voltage_volts", "6650.5"}}},
        {"MqttWhenConfigured", 0ms, [](MetricsState &s) {
             MetricsState::Mqtt mqtt{true, 12, 3, 1, 5, 2};
             mqtt.delivered = 5021;
             mqtt.refused = 3;
             mqtt.repeated = 20;
             mqtt.reconnects = 7;
             mqtt.clientIdTaken = true;
             mqtt.spoolOnDisk = true;
             mqtt.spoolBytes = 3'371'740;
             mqtt.spoolMessages = 8925;
             mqtt.spoolLimitBytes = 3'400'000;
             mqtt.spoolWriteErrors = 7;
             mqtt.lostMessages = 594;
             s.mqtt = mqtt;
         },
         {{"svglogger_mqtt_connected", "1"},
          {"svglogger_mqtt_queued_messages", "12"},
          {"svglogger_mqtt_dropped_messages_total{kind=\"samples\"}", "3"},
          {"svglogger_mqtt_dropped_messages_total{kind=\"events\"}", "1"},
          {"svglogger_mqtt_damaged_messages_total", "5"},
          {"svglogger_mqtt_spool_segments_set_aside_total", "2"},
          {"svglogger_mqtt_delivered_messages_total", "5021"},
          {"svglogger_mqtt_refused_messages_total", "3"},
          {"svglogger_mqtt_repeated_messages_total", "20"},
          {"svglogger_mqtt_reconnects_total", "7"},
          {"svglogger_mqtt_client_id_taken", "1"},
          {"svglogger_mqtt_spool_on_disk", "1"},
          {"svglogger_mqtt_spool_bytes", "3371740"},
          {"svglogger_mqtt_spool_messages", "8925"},
          {"svglogger_mqtt_spool_limit_bytes", "3400000"},
          {"svglogger_mqtt_spool_write_errors_total", "7"},
          {"svglogger_mqtt_lost_messages_total", "594"}}},
        {"MqttFreshlyConfigured", 0ms, [](MetricsState &s) { s.mqtt = MetricsState::Mqtt{}; },
         {{"svglogger_mqtt_connected", "0"},
          {"svglogger_mqtt_spool_on_disk", "0"},
          {"svglogger_mqtt_lost_messages_total", "0"}}},
        {"NoBrokerNoMqttFamilies", 0ms, [](MetricsState &) {},
         {{"svglogger_mqtt_damaged_messages_total", nullptr},
          {"svglogger_mqtt_spool_segments_set_aside_total", nullptr},
          {"svglogger_mqtt_delivered_messages_total", nullptr},
          {"svglogger_mqtt_reconnects_total", nullptr},
          {"svglogger_mqtt_client_id_taken", nullptr},
          {"svglogger_mqtt_spool_on_disk", nullptr},
          {"svglogger_mqtt_lost_messages_total", nullptr},
          {"svglogger_clock_synchronised", nullptr}}}, // the kernel could not say
        {"ClockSynchronised", 0ms, [](MetricsState &s) { s.clockSynchronised = true; },
         {{"svglogger_clock_synchronised", "1"}}},
        {"ClockNotSynchronised", 0ms, [](MetricsState &s) { s.clockSynchronised = false; },
         {{"svglogger_clock_synchronised", "0"}}},
        {"NoGridVoltageNoRatio", 0ms, [](MetricsState &s) { s.last[MeasurementSample::GridVoltage] = 0.0f; },
         {{"svglogger_voltage_unbalance_ratio", nullptr}, {"svglogger_grid_voltage_volts", "0"}}},
        {"HistogramCumulative", 0ms, [](MetricsState &s) {
             s.voltageBounds = {5940, 6072, 6270, 6435, 6600, 6765, 6930, 7128, 7260};
             s.voltageCounts = {1, 0, 0, 0, 2, 0, 0, 0, 0, 4};
         },
         {{"svglogger_grid_voltage_distribution_volts_bucket{le=\"5940\"}", "1"},
          {"svglogger_grid_voltage_distribution_volts_bucket{le=\"6600\"}", "3"},
          {"svglogger_grid_voltage_distribution_volts_bucket{le=\"7260\"}", "3"},
          {"svglogger_grid_voltage_distribution_volts_bucket{le=\"+Inf\"}", "7"},
          {"svglogger_grid_voltage_distribution_volts_count", "7"}}},
    };
    for (const Case &c : cases) {
        MetricsState state = base;
        c.change(state);
        const auto series = served(state, t0 + c.age);
        for (const auto &[name, value] : c.expected) {
            if (!value)
                EXPECT_EQ(series.count(name), 0u) << c.name << ": " << name;
            else if (!series.count(name))
                ADD_FAILURE() << c.name << ": " << name << " not served";
            else
                EXPECT_EQ(series.at(name), value) << c.name << ": " << name;
        }
    }
}

// The link_state family: a series for every condition, labelled with its word, 1 for the
// present one alone.
TEST(MetricFamiliesOfAState, LinkStateSeriesAreTheConditionsWords)
{
    for (const auto &[present, presentWord] : test::kLinkWords) {
        MetricsState state;
        state.link = present;
        const auto series = served(state, std::chrono::steady_clock::time_point(1000s));
        for (const auto &[condition, word] : test::kLinkWords) {
            const std::string name = "svglogger_link_state{state=\"" + word + "\"}";
            ASSERT_EQ(series.count(name), 1u) << name;
            EXPECT_EQ(series.at(name), condition == present ? "1" : "0") << presentWord << ": " << name;
        }
    }
}

// log_file_error is the file's own failure (rows are being lost); a disk merely short of
// --min-free-mb is log_disk_short, and rows are still written.
TEST(RunMetricsOfARun, AShortDiskIsNoFileError)
{
    enum class Step { DiskShort, DiskRoom, FileFails, FileWrites };
    const struct Row {
        Step step;
        const char *fileError;
        const char *diskShort;
    } rows[] = {
        {Step::DiskShort, "0", "1"},  // retention found nothing left to remove
        {Step::FileFails, "1", "1"},
        {Step::DiskRoom, "1", "0"},
        {Step::FileWrites, "0", "0"},
    };
    MetricsRig rig;
    int i = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE("row " + std::to_string(i++));
        switch (row.step) {
        case Step::DiskShort:
        case Step::DiskRoom:
            rig.metrics.setDiskShort(row.step == Step::DiskShort);
            break;
        case Step::FileFails:
        case Step::FileWrites:
            rig.metrics.fileProblemChanged(row.step == Step::FileFails ? FileProblem::CannotWrite : FileProblem::None, "");
            break;
        }
        auto s = rig.now();
        EXPECT_EQ(s["svglogger_log_file_error"], row.fileError);
        EXPECT_EQ(s["svglogger_log_disk_short"], row.diskShort);
    }
}

// The load's energy: each step with the earlier sample's power; silences longer than the
// watchdog's time and negative power add nothing; the histogram counts each voltage once,
// a voltage on a bound within that bound's bucket.
TEST(RunMetricsOfARun, EnergyOverTheStepsAndTheVoltageBuckets)
{
    test::RunRig rig;
    RunMetrics metrics({"1", "", SamplingMode::Continuous, 0, 6600, false, 5000ms}, rig.run);
    const auto record = [&](std::int64_t ms, float kw, float volts) {
        LineRecord r;
        r.epochMilliseconds = ms;
        r.sample[MeasurementSample::LoadActivePower] = kw;
        r.sample[MeasurementSample::GridVoltage] = volts;
        metrics.lineRecorded(r);
    };
    record(0, 100.0f, 5940.0f);    // on the lowest bound
    record(200, 100.0f, 6600.0f);  // 100 kW × 0.2 s = 20 kJ
    record(400, -50.0f, 6600.5f);  // another 20 kJ
    record(600, 100.0f, 7300.0f);  // reverse flow before: nothing
    record(6600, 100.0f, 6000.0f); // six seconds of silence: nothing
    record(7600, 100.0f, 6000.0f); // 100 kJ
    const MetricsState state = metrics.snapshot();
    EXPECT_DOUBLE_EQ(state.loadEnergyJoules, 140'000.0);
    EXPECT_EQ(state.samples, 6u);
    EXPECT_EQ(state.voltageBounds[3], 6435.0);
    EXPECT_EQ(state.voltageBounds[5], 6765.0);
    const std::array<std::uint64_t, 10> counts{1, 2, 0, 0, 1, 1, 0, 0, 0, 1};
    EXPECT_EQ(state.voltageCounts, counts);
    EXPECT_DOUBLE_EQ(state.voltageSum, 5940.0 + 6600.0 + 6600.5 + 7300.0 + 6000.0 + 6000.0);
}

} // namespace
} // namespace svglogger
