#include "tools/MeasurementGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace svglogger {

namespace {

// The decoder's scaling: quantity = V / 114329 x reading x 1.732.
double rawFromPower(double power, double voltage)
{
    return power / (voltage / 114329.0 * 1.732);
}

// Negative-sequence command: amperes = reading / sqrt(3) / 6.6 / 2350 x 300.
double rawFromCommand(double amperes)
{
    return amperes * std::sqrt(3.0) * 6.6 * 2350.0 / 300.0;
}

int clampReading(double value)
{
    return static_cast<int>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

} // namespace

MeasurementGenerator::MeasurementGenerator(const Options &options)
    : m_options(options)
    , m_random(options.seed)
{
}

std::string MeasurementGenerator::versionLine() const
{
    return m_options.version == 1 ? "SVG CONTROLLER Ver1.20" : "SVG CONTROLLER Ver2.10";
}

double MeasurementGenerator::noise(double amplitude)
{
    return std::normal_distribution<double>(0.0, amplitude)(m_random);
}

std::string MeasurementGenerator::nextLine()
{
    const double t = static_cast<double>(m_index) / m_options.linesPerSecond;
    ++m_index;
    constexpr double twoPi = 2 * std::numbers::pi;

    double voltage = 6600.0 + 60.0 * std::sin(twoPi * t / 600.0) + noise(4.0);
    double loadKw = 150.0 + 60.0 * std::sin(twoPi * t / 300.0) + noise(2.0);
    double loadKvar = 80.0 + 40.0 * std::sin(twoPi * t / 420.0 + 1.0) + noise(1.5);

    if (m_options.eventEverySeconds > 0) {
        const double period = m_options.eventEverySeconds;
        const double sinceEvent = std::fmod(t, period);
        const auto eventNumber = static_cast<std::int64_t>(t / period);
        if (t >= period && sinceEvent < 1.0)
            voltage -= m_options.dipVolts; // a one-second dip (500 V: below the usual lower limit)
        if (eventNumber % 2 == 1)
            loadKw += 120.0; // the load steps up at one event and back down at the next
    }

    // The SVG supplies about nine tenths of the load's reactive power: its output, a positive
    // one being in the load's direction (the window's V_unc = V + Q_svg·X), is of the other sign.
    const double svgKvar = -0.9 * loadKvar + noise(1.0);

    const int v = clampReading(voltage);
    const int p = clampReading(rawFromPower(loadKw, voltage));
    const int q = clampReading(rawFromPower(loadKvar, voltage));
    const int s = clampReading(q + rawFromPower(svgKvar, voltage));
    // The line carries Q with its sign reversed.
    const int qField = -q;

    char status[8];
    std::snprintf(status, sizeof status, "%04X", m_options.status & 0xFFFF);
    std::string line = "MN R,";
    line += status;
    auto field = [&line](long long value) {
        line += ',';
        line += std::to_string(value);
    };
    if (m_options.version == 1) {
        // 0 status, 1 -, 2 V, 3 -, 4 P, 5 Q, 6 S, 7 -
        field(m_index % 1000);
        field(v);
        field(50);
        field(p);
        field(qField);
        field(s);
        field(0);
        return line;
    }
    // 0 status, 1-4 -, 5 V, 6 -, 7 P, 8 Q, 9 S, 10-13 -, 14 Vd, 15 Vq, 16 Cd, 17 Cq
    const double angle = twoPi * t / 90.0;
    const double negSeqVolts = 18.0 + 6.0 * std::sin(twoPi * t / 240.0) + noise(0.5);
    const double negSeqAmps = 4.0 + 1.5 * std::sin(twoPi * t / 200.0) + noise(0.2);
    field(m_index % 1000);
    field(0);
    field(0);
    field(0);
    field(v);
    field(50);
    field(p);
    field(qField);
    field(s);
    field(0);
    field(0);
    field(0);
    field(0);
    field(clampReading(negSeqVolts * std::cos(angle)));
    field(clampReading(negSeqVolts * std::sin(angle)));
    field(clampReading(rawFromCommand(negSeqAmps * std::cos(angle + 0.5))));
    field(clampReading(rawFromCommand(negSeqAmps * std::sin(angle + 0.5))));
    return line;
}

} // namespace svglogger
