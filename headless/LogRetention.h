#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace svglogger {

// Keeps the log folder within bounds on a box left alone for months: the logger's own files
// (named as it names them, "Tarmin…D…H…M…[G][-n].csv") older than the kept days go, and while
// the folder's disk has less free space than asked, the oldest of them go first. Nothing else
// in the folder is ever touched, never the file being written, and for space never the file
// closed last.
class LogRetention
{
public:
    struct Rule {
        int keepDays = 0;          // 0: kept however old
        std::int64_t minFreeMb = 0; // 0: no free-space floor; MiB
    };
    struct Outcome {
        std::vector<std::string> removed;  // paths, oldest first
        std::vector<std::string> failures; // "<path>: <reason>"
        bool stillShort = false;           // below the floor with nothing left to remove
        std::int64_t freeMb = -1;          // after the removals; -1 when it cannot be asked
    };
    // Free bytes of the disk that holds a folder; -1 when it cannot be asked.
    using FreeSpace = std::function<std::int64_t(const std::filesystem::path &)>;
    static std::int64_t systemFreeSpace(const std::filesystem::path &folder);

    // "Tarmin7D11H40M31.csv", "Tarmin24D0H0M0G-2.csv"
    static bool isOwnFileName(std::string_view name);

    static Outcome apply(const std::filesystem::path &folder, const Rule &rule, const std::string &openFile,
                         std::filesystem::file_time_type now = std::filesystem::file_time_type::clock::now(),
                         const FreeSpace &freeSpace = systemFreeSpace);
};

} // namespace svglogger
