#pragma once

#include <string>
#include <vector>

namespace svglogger::test {

// Measurement lines as the controllers send them (without CR).
// Older layout: status, -, V, -, P, Q (sign reversed), S, -.
inline std::string olderLine(const std::string &status, const std::string &v, const std::string &p,
                             const std::string &q, const std::string &s)
{
    return "MN R," + status + ",0," + v + ",0," + p + "," + q + "," + s + ",0";
}

// Version 2: status, 4 ignored, V, -, P, Q, S, 4 ignored, Vd, Vq, Cd, Cq.
inline std::string version2Line(const std::string &status, const std::string &v, const std::string &p,
                                const std::string &q, const std::string &s, const std::string &vd,
                                const std::string &vq, const std::string &cd, const std::string &cq)
{
    return "MN R," + status + ",0,0,0,0," + v + ",0," + p + "," + q + "," + s + ",0,0,0,0," + vd + ","
        + vq + "," + cd + "," + cq;
}

} // namespace svglogger::test
