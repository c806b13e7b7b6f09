#include "link/MeasurementDecoder.h"

#include "common/Settings.h"
#include "common/TextNumber.h"

#include <cmath>

namespace svglogger {

namespace {

constexpr std::string_view kMarker = "MN";
constexpr std::size_t kPayloadOffset = 5; // the marker and the three characters after it
constexpr std::string_view kVersionMarker = "Ver";

// Nominal line-to-line voltage base and the square root of 3 as the controller's
// firmware scales its raw power components.
constexpr double kPowerBase = 114329.0;
constexpr double kRoot3 = 1.732;

std::string_view lastChars(std::string_view text, std::size_t count)
{
    return text.size() <= count ? text : text.substr(text.size() - count);
}

} // namespace

MeasurementDecoder::MeasurementDecoder(const Settings &settings)
    : m_settings(settings)
{
    m_fields.reserve(32);
}

void MeasurementDecoder::beginReceiveEvent()
{
    m_sample.clear();
    m_voltage = m_active = m_reactive = m_svg = 0;
    m_negSeqVoltageD = m_negSeqVoltageQ = m_negSeqCommandD = m_negSeqCommandQ = 0;
}

LineOutcome MeasurementDecoder::processLine(std::string_view line)
{
    std::size_t marker = line.find(kMarker);
    std::string_view rest = line;
    if (marker != std::string_view::npos) {
        std::size_t start = marker + kPayloadOffset;
        rest = start < line.size() ? line.substr(start) : std::string_view{};
        splitFields(rest);
        if (m_fields.size() >= static_cast<std::size_t>(3 * m_fieldOffset + 8)) {
            // Before the version line the layout is unknown: a version-2 stream still running
            // from an earlier session would read as zeros and noise. Such a line is no sample.
            if (m_controllerVersion == ControllerVersion::Unknown)
                return {LineOutcome::Kind::Unversioned};
            decodeMeasurement();
            return {LineOutcome::Kind::Measurement};
        }
    }
    return applyVersion(rest);
}

void MeasurementDecoder::splitFields(std::string_view payload)
{
    m_fields.clear();
    if (payload.empty())
        return;
    // Fields are short: a plain scan beats a library search call per comma.
    const char *data = payload.data();
    std::size_t start = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if (data[i] == ',') {
            m_fields.emplace_back(data + start, i - start);
            start = i + 1;
        }
    }
    m_fields.emplace_back(data + start, payload.size() - start);
}

void MeasurementDecoder::readReading(std::size_t field, bool negate, std::int16_t &target) const
{
    if (field >= m_fields.size())
        return;
    double value = readTextNumber(m_fields[field]);
    if (auto rounded = roundToInt16(negate ? -value : value))
        target = *rounded;
}

void MeasurementDecoder::decodeMeasurement()
{
    using S = MeasurementSample;
    const std::size_t o = static_cast<std::size_t>(m_fieldOffset);
    const std::string_view status = m_fields[0];
    const int lowByte = readHexDigits(lastChars(status, 2));

    const int powerFlowSign = (m_settings.powerFlow && (lowByte & 0x10)) ? -1 : 1;
    const int phaseSign = (m_settings.phaseRotation && (lowByte & 0x20)) ? -1 : 1;

    readReading(o + 2, false, m_voltage);
    readReading(o + 4, false, m_active);
    readReading(o + 5, true, m_reactive);
    readReading(o + 6, false, m_svg);

    const double v = m_voltage;
    m_sample[S::GridVoltage] = static_cast<float>(v);
    m_sample[S::LoadActivePower] = static_cast<float>(v / kPowerBase * m_active * kRoot3 * powerFlowSign);
    m_sample[S::LoadReactivePower] = powerFlowSign == 1
        ? static_cast<float>(v / kPowerBase * m_reactive * kRoot3)
        : static_cast<float>(v / kPowerBase * m_svg * kRoot3);
    // S - Q is a 16-bit quantity in the controller's arithmetic; an overflow fails the step.
    const int svgMinusReactive = int{m_svg} - int{m_reactive};
    if (svgMinusReactive >= -32768 && svgMinusReactive <= 32767) {
        m_sample[S::SvgOutput] = static_cast<float>(
            v / kPowerBase * svgMinusReactive * kRoot3 * phaseSign * powerFlowSign);
    }


    // Voltage the grid would have without the SVG, from its output and the percentage
    // reactance X typed in "%X=" (per 10 MVA).
    const double x = readTextNumber(m_settings.reactancePercent);
    const double uncompensated = uncompensatedVoltage(m_sample[S::GridVoltage], m_sample[S::SvgOutput], x);
    if (auto single = toSingle(uncompensated))
        m_sample[S::UncompensatedVoltage] = *single;

    const int word = readHexDigits(lastChars(status, 4));
    m_sample[S::StatusWord] = static_cast<float>(word >= 0x8000 ? word - 0x10000 : word);


    if (m_controllerVersion == ControllerVersion::Version2) {
        readReading(14, false, m_negSeqVoltageD);
        readReading(15, false, m_negSeqVoltageQ);
        readReading(16, false, m_negSeqCommandD);
        readReading(17, false, m_negSeqCommandQ);
        // Command currents are scaled from the converter's internal units to amperes.
        const double root3 = std::sqrt(3.0);
        m_sample[S::NegSeqVoltageD] = static_cast<float>(m_negSeqVoltageD);
        m_sample[S::NegSeqVoltageQ] = static_cast<float>(m_negSeqVoltageQ);
        m_sample[S::NegSeqCommandD] = static_cast<float>(m_negSeqCommandD / root3 / 6.6 / 2350.0 * 300.0);
        m_sample[S::NegSeqCommandQ] = static_cast<float>(m_negSeqCommandQ / root3 / 6.6 / 2350.0 * 300.0);
    }
}

LineOutcome MeasurementDecoder::applyVersion(std::string_view text)
{
    std::size_t at = text.find(kVersionMarker);
    if (at == std::string_view::npos)
        return {};
    const bool version2 = text.substr(at + kVersionMarker.size(), 2) == "2.";
    const ControllerVersion version = version2 ? ControllerVersion::Version2 : ControllerVersion::Older;
    LineOutcome outcome{LineOutcome::Kind::Version, version, m_controllerVersion == ControllerVersion::Unknown};
    m_controllerVersion = version;
    m_fieldOffset = version2 ? 3 : 0;
    return outcome;
}

} // namespace svglogger
