#pragma once

#include "recording/TriggerSettings.h"

#include <string>
#include <vector>

namespace svglogger {

class IniFile;

// The trigger settings window's settings from an INI file: what the file leaves out keeps the
// window's default, the record counts and the comparison depth are validated by the window's
// rules. Keys (k one of voltage, active-power, reactive-power, svg-output,
// negative-sequence-voltage, negative-sequence-command):
//   type = single | continuous           combination = or | and
//   pre-trigger-count, record-count, compare-depth
//   <k>-window-out = on | off            <k>-upper, <k>-lower (the first four), <k>-limit (the others)
//   <k>-change = on | off                <k>-change-threshold
struct TriggerFile {
    TriggerSettings settings;
    int enabledConditions = 0;          // checked condition boxes of both kinds
    std::vector<std::string> corrections; // what the window's rules changed, for the journal
    std::string error;                  // "<file>:<line>: ..." for an unknown key or a bad value

    static TriggerFile read(const std::string &path);
    static TriggerFile fromIni(const IniFile &ini);
};

} // namespace svglogger
