#pragma once

#include <string>
#include <vector>

namespace svglogger {

// The settings files that --config FILE stands for: FILE, then the *.ini files of its drop-in
// folder (headless.ini: headless.d/) in byte order of their names, so that a later file's key
// wins over an earlier one's and a site's own settings never sit in the packaged file. Names
// that begin with "." and anything but a file (or a link to one) are left out; a missing
// folder is none. `error` says why the folder could not be read.
struct SettingsFiles {
    std::vector<std::string> paths;
    std::string error;
};
SettingsFiles settingsFiles(const std::string &file);

} // namespace svglogger
