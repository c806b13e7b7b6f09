#pragma once

#include "link/ControllerVersion.h"
#include "link/MeasurementSample.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace svglogger {

struct Settings;

// What one line turned out to be.
struct LineOutcome {
    enum class Kind {
        Measurement, // decoded into the sample
        Version,     // carried "Ver": the controller's version was (re)applied
        Unversioned, // a measurement line before the controller's version is known: not decoded
        Other        // nothing was done with it
    };
    Kind kind = Kind::Other;
    ControllerVersion version = ControllerVersion::Unknown; // for Version
    bool versionFirstKnown = false; // for Version: ControllerVersion left 0 at this line
};

// Decodes measurement lines into the MeasurementSample and the trend history, and recognises
// version lines. Each step succeeds or fails on its own: a failing reading or calculation
// leaves its target as it was (the previous line of the same receive event, or 0).
class MeasurementDecoder
{
public:
    explicit MeasurementDecoder(const Settings &settings);

    // Start of a receive event: the sample and the working readings return to 0.
    void beginReceiveEvent();
    // One line without its CR.
    LineOutcome processLine(std::string_view line);

    const MeasurementSample &sample() const { return m_sample; }
    ControllerVersion controllerVersion() const { return m_controllerVersion; }
    // Shift of the four main fields: 0 for an older controller, 3 for version 2.
    int fieldOffset() const { return m_fieldOffset; }

private:
    void splitFields(std::string_view payload);
    void decodeMeasurement();
    LineOutcome applyVersion(std::string_view text);
    // Decimal field rounded to 16 bits into `target`; a missing or out-of-range field
    // leaves `target` as it was.
    void readReading(std::size_t field, bool negate, std::int16_t &target) const;

    const Settings &m_settings;
    MeasurementSample m_sample;
    ControllerVersion m_controllerVersion = ControllerVersion::Unknown;
    std::int16_t m_fieldOffset = 0;

    // Working readings of the receive event: V, P, Q, S and the version-2 Vd, Vq, Cd, Cq.
    std::int16_t m_voltage = 0;
    std::int16_t m_active = 0;
    std::int16_t m_reactive = 0;
    std::int16_t m_svg = 0;
    std::int16_t m_negSeqVoltageD = 0;
    std::int16_t m_negSeqVoltageQ = 0;
    std::int16_t m_negSeqCommandD = 0;
    std::int16_t m_negSeqCommandQ = 0;

    std::vector<std::string_view> m_fields; // fields of the line being decoded
};

} // namespace svglogger
