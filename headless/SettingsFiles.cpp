#include "headless/SettingsFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace svglogger {

SettingsFiles settingsFiles(const std::string &file)
{
    namespace fs = std::filesystem;
    SettingsFiles result;
    result.paths.push_back(file);
    const fs::path folder = fs::path(file).replace_extension(".d");
    std::error_code error;
    if (!fs::exists(folder, error))
        return result;
    std::vector<std::string> names;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        std::error_code notAFile;
        if (name.starts_with('.') || !name.ends_with(".ini") || !fs::is_regular_file(entries->path(), notAFile))
            continue;
        names.push_back(name);
    }
    if (error) {
        result.error = folder.string() + ": " + error.message();
        return result;
    }
    std::sort(names.begin(), names.end()); // bytes, not the locale: 10-a.ini before 9-b.ini
    for (const std::string &name : names)
        result.paths.push_back((folder / name).string());
    return result;
}

} // namespace svglogger
