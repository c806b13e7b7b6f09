#include "metrics/MetricFamilies.h"

#include "link/Quantity.h"
#include "pipeline/LinkCondition.h"
#include "recording/CsvText.h"

#include <charconv>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

namespace svglogger {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;
using Labels = std::vector<ClientMetric::Label>;

// Why the controller was woken, in WakeReason's order.
constexpr const char *kWakeReasons[] = {"start", "no_answer", "no_data", "stream_paused", "port_back"};
static_assert(std::size(kWakeReasons) == kWakeReasonCount, "a label for each wake-up reason");

class Families
{
public:
    MetricFamily &add(const char *name, const char *help, MetricType type)
    {
        MetricFamily family;
        family.name = std::string("svglogger_") + name;
        family.help = help;
        family.type = type;
        m_families.push_back(std::move(family));
        return m_families.back();
    }
    void one(const char *name, const char *help, MetricType type, double value, Labels labels = {})
    {
        point(add(name, help, type), value, std::move(labels));
    }
    static void point(MetricFamily &family, double value, Labels labels = {})
    {
        ClientMetric metric;
        metric.label = std::move(labels);
        if (family.type == MetricType::Counter)
            metric.counter.value = value;
        else
            metric.gauge.value = value;
        family.metric.push_back(std::move(metric));
    }
    std::vector<MetricFamily> take() { return std::move(m_families); }

private:
    std::vector<MetricFamily> m_families;
};

const char *modeName(SamplingMode mode)
{
    return mode == SamplingMode::Interval ? "interval" : "continuous";
}

double number(bool value)
{
    return value ? 1.0 : 0.0;
}

// A quantity's number as its CSV field and its MQTT sample give it, times 10^exponent (kW to
// W): shifted in the text, so 119.4 kW is exactly 119400 W, not 119399.99999999999.
double fieldNumber(const MeasurementSample &sample, MeasurementSample::Index index, int exponent = 0)
{
    int decimals = -1;
    for (const Quantity &q : kQuantities)
        if (q.index == index)
            decimals = q.continuousDecimals;
    const std::string text = numberText(sample[index], decimals) + "e" + std::to_string(exponent);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

std::vector<MetricFamily> metricFamilies(const MetricsState &s, MetricsState::SteadyTime now)
{
    constexpr MetricType kGauge = MetricType::Gauge;
    constexpr MetricType kCounter = MetricType::Counter;
    Families f;
    // prometheus-cpp 1.0 has no info type: an info metric is a gauge at 1 with its labels.
    f.one("build_info", "The program's version and the git revision it was built from.", kGauge, 1,
          {{"revision", s.revision}, {"version", s.version}});
    f.one("controller_info", "The controller's protocol version (0: not known yet) and the sampling mode.", kGauge, 1,
          {{"controller_version", std::to_string(versionNumber(s.controllerVersion))}, {"mode", modeName(s.mode)}});
    f.one("start_time_seconds", "When the program started, since 1970-01-01 UTC.", kGauge, s.startTimeSeconds);

    MetricFamily &link = f.add("link_state", "The serial link's condition: 1 for the present one.", kGauge);
    for (std::size_t i = 0; i < kLinkConditionCount; ++i)
        Families::point(link, number(static_cast<std::size_t>(s.link) == i),
                        {{"state", linkConditionName(static_cast<LinkCondition>(i))}});
    MetricFamily &woken = f.add("controller_wakeups_total", "ESC sent to the controller, by reason.", kCounter);
    for (std::size_t i = 0; i < kWakeReasonCount; ++i)
        Families::point(woken, static_cast<double>(s.wakeups[i]), {{"reason", kWakeReasons[i]}});
    f.one("port_reconnects_total", "The serial port came back after a loss.", kCounter, static_cast<double>(s.portReconnects));

    f.one("lines_received_total", "Lines received from the controller, prompts and garbled ones too.", kCounter,
          static_cast<double>(s.linesReceived));
    f.one("samples_total", "Measurement lines decoded.", kCounter, static_cast<double>(s.samples));
    f.one("rows_written_total", "CSV rows written into log files.", kCounter, static_cast<double>(s.rowsWritten));
    f.one("rows_failed_total", "CSV rows that no log file took (none could be made, or the write failed).", kCounter,
          static_cast<double>(s.rowsFailed));
    if (s.lastSampleSeconds)
        f.one("last_sample_timestamp_seconds", "When the last measurement line was decoded, since 1970-01-01 UTC.",
              kGauge, *s.lastSampleSeconds);

    f.one("log_file_open", "1 while a log file is open.", kGauge, number(s.fileOpen));
    f.one("log_file_error", "1 while the log file cannot be made or written: rows are being lost.", kGauge,
          number(s.fileError));
    f.one("log_disk_short", "1 while the log folder's disk has less free space than --min-free-mb and no file is "
          "left to remove; rows are still written.", kGauge, number(s.diskShort));
    if (s.diskFreeBytes)
        f.one("log_disk_free_bytes", "Free space of the log folder's file system.", kGauge,
              static_cast<double>(*s.diskFreeBytes));
    f.one("retention_removed_files_total", "Log files removed by the retention (age or free space).", kCounter,
          static_cast<double>(s.retentionRemoved));

    f.one("trigger_armed", "1 while the trigger waits for its condition.", kGauge, number(s.triggerArmed));
    f.one("trigger_fired_total", "Trigger captures started.", kCounter, static_cast<double>(s.triggerFired));

    if (s.mqtt) {
        f.one("mqtt_connected", "1 while the MQTT broker is connected.", kGauge, number(s.mqtt->connected));
        f.one("mqtt_queued_messages", "Messages not yet acknowledged by the broker, in memory and spooled.", kGauge,
              static_cast<double>(s.mqtt->queued));
        MetricFamily &dropped = f.add("mqtt_dropped_messages_total",
                                      "Messages dropped unsent because the queue and the spool were full.", kCounter);
        Families::point(dropped, static_cast<double>(s.mqtt->droppedSamples), {{"kind", "samples"}});
        Families::point(dropped, static_cast<double>(s.mqtt->droppedEvents), {{"kind", "events"}});
        f.one("mqtt_damaged_messages_total", "Spool records found damaged and skipped (not sent).", kCounter,
              static_cast<double>(s.mqtt->damaged));
        f.one("mqtt_spool_segments_set_aside_total",
              "Spool segment files of a format this program does not know, moved aside (kept).", kCounter,
              static_cast<double>(s.mqtt->segmentsSetAside));
        f.one("mqtt_delivered_messages_total", "Messages the broker acknowledged (QoS 1), refused ones not counted.",
              kCounter, static_cast<double>(s.mqtt->delivered));
        f.one("mqtt_refused_messages_total",
              "Messages the broker refused (an MQTT 5 acknowledgement with a failure reason, or too large to send); "
              "never sent again.",
              kCounter, static_cast<double>(s.mqtt->refused));
        f.one("mqtt_repeated_messages_total",
              "Messages handed to the broker more than once in this run (again after a lost connection). Those an "
              "earlier run left in the spool count only when this run hands them over twice: whether the earlier "
              "run had sent them is not known.",
              kCounter, static_cast<double>(s.mqtt->repeated));
        f.one("mqtt_reconnects_total", "Connections to the broker made after the run's first.", kCounter,
              static_cast<double>(s.mqtt->reconnects));
        f.one("mqtt_client_id_taken",
              "1 while another client with the same client id takes the connections over (the broker closes "
              "each soon after making it, or says Session taken over).",
              kGauge, number(s.mqtt->clientIdTaken));
        f.one("mqtt_spool_on_disk", "1: the spool is on disk and outlives the program; 0: memory only.", kGauge,
              number(s.mqtt->spoolOnDisk));
        f.one("mqtt_spool_bytes", "Bytes of the spool's segment files.", kGauge,
              static_cast<double>(s.mqtt->spoolBytes));
        f.one("mqtt_spool_messages", "Messages waiting in the spool, in memory and on disk.", kGauge,
              static_cast<double>(s.mqtt->spoolMessages));
        f.one("mqtt_spool_limit_bytes", "The most the spool may take now: its bound, or its bytes and the free space "
              "above its free-space floor if that is less.", kGauge, static_cast<double>(s.mqtt->spoolLimitBytes));
        f.one("mqtt_spool_write_errors_total", "Failed writes and syncs of the spool.", kCounter,
              static_cast<double>(s.mqtt->spoolWriteErrors));
        f.one("mqtt_lost_messages_total", "Messages neither delivered nor on disk at a stop (this run's, or the "
              "previous run's, read from the spool at start).", kCounter, static_cast<double>(s.mqtt->lostMessages));
    }
    if (s.clockSynchronised)
        f.one("clock_synchronised", "1 while the kernel counts the system clock as synchronised (NTP), else 0.", kGauge,
              number(*s.clockSynchronised));

    if (s.fresh(now)) {
        using S = MeasurementSample;
        const MeasurementSample &v = s.last;
        const double grid = fieldNumber(v, S::GridVoltage);
        f.one("grid_voltage_volts", "The last sample's grid voltage.", kGauge, grid);
        f.one("load_active_power_watts", "The last sample's load active power.", kGauge, fieldNumber(v, S::LoadActivePower, 3));
        f.one("load_reactive_power_volt_amperes_reactive", "The last sample's load reactive power.", kGauge,
              fieldNumber(v, S::LoadReactivePower, 3));
        f.one("svg_output_volt_amperes_reactive", "The last sample's SVG output.", kGauge, fieldNumber(v, S::SvgOutput, 3));
        if (s.uncompensatedServed)
            f.one("uncompensated_voltage_volts", "The grid voltage without the SVG, from its output and %X.", kGauge,
                  fieldNumber(v, S::UncompensatedVoltage));
        if (s.controllerVersion == ControllerVersion::Version2) {
            const double d = fieldNumber(v, S::NegSeqVoltageD), q = fieldNumber(v, S::NegSeqVoltageQ);
            MetricFamily &voltage = f.add("negative_sequence_voltage_volts", "The last sample's negative-sequence voltage.", kGauge);
            Families::point(voltage, d, {{"axis", "d"}});
            Families::point(voltage, q, {{"axis", "q"}});
            MetricFamily &command = f.add("negative_sequence_command_amperes", "The last sample's negative-sequence command.", kGauge);
            Families::point(command, fieldNumber(v, S::NegSeqCommandD), {{"axis", "d"}});
            Families::point(command, fieldNumber(v, S::NegSeqCommandQ), {{"axis", "q"}});
            if (grid > 0)
                f.one("voltage_unbalance_ratio", "Negative-sequence voltage over the grid voltage.", kGauge,
                      std::hypot(d, q) / grid);
        }
        MetricFamily &bits = f.add("status_bit", "The last sample's status word, bit by bit (0 the lowest).", kGauge);
        const auto word = static_cast<std::uint16_t>(static_cast<std::int32_t>(v[S::StatusWord]));
        for (int bit = 0; bit < 16; ++bit)
            Families::point(bits, (word >> bit) & 1, {{"bit", std::to_string(bit)}});
    }
    f.one("load_active_energy_joules_total", "The load's active energy taken from the grid, from the samples' power.",
          kCounter, s.loadEnergyJoules);

    MetricFamily &histogram = f.add("grid_voltage_distribution_volts", "The samples' grid voltage.", MetricType::Histogram);
    ClientMetric distribution;
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < s.voltageBounds.size(); ++i) {
        cumulative += s.voltageCounts[i];
        distribution.histogram.bucket.push_back({cumulative, s.voltageBounds[i]});
    }
    cumulative += s.voltageCounts.back();
    distribution.histogram.bucket.push_back({cumulative, std::numeric_limits<double>::infinity()});
    distribution.histogram.sample_count = cumulative;
    distribution.histogram.sample_sum = s.voltageSum;
    histogram.metric.push_back(std::move(distribution));
    return f.take();
}

} // namespace svglogger
