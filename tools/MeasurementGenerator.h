#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace svglogger {

// Measurement lines as an SVG controller streams them, with realistic, moving values:
// grid voltage around 6600 V with slow drift and noise, load power changing over minutes,
// an SVG output that compensates most of the load's reactive power, and for version 2 the
// negative-sequence voltage and command. The same seed gives the same lines.
class MeasurementGenerator
{
public:
    struct Options {
        int version = 2;              // 1 older layout (8 fields), 2 version 2 (18 fields)
        std::uint32_t seed = 1;
        double linesPerSecond = 5.0;
        double eventEverySeconds = 0; // > 0: a voltage dip and a load step at that period
        int status = 0;               // status word, e.g. 0x10 and 0x20 for the correction bits
        double dipVolts = 500.0;      // how far each event's one-second dip falls
    };

    explicit MeasurementGenerator(const Options &options);

    // "… Ver2.10" or "… Ver1.20", without CR.
    std::string versionLine() const;
    // The next measurement line, without CR.
    std::string nextLine();

private:
    double noise(double amplitude);

    Options m_options;
    std::mt19937 m_random;
    std::int64_t m_index = 0;
};

} // namespace svglogger
