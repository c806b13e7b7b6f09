#include "headless/LogRetention.h"

#include "recording/LogFileName.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace svglogger {

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

} // namespace

std::int64_t LogRetention::systemFreeSpace(const std::filesystem::path &folder)
{
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(folder, error);
    return error ? -1 : static_cast<std::int64_t>(space.available);
}

bool LogRetention::isOwnFileName(std::string_view name)
{
    // The "-n" of a name that was taken as the recorder writes it: 1 to 4 digits.
    const std::optional<ParsedLogFileName> parsed = parseLogFileName(name);
    return parsed && parsed->exact && parsed->copyDigits <= 4;
}

LogRetention::Outcome LogRetention::apply(const std::filesystem::path &folder, const Rule &rule,
                                          const std::string &openFile, std::filesystem::file_time_type now,
                                          const FreeSpace &freeSpace)
{
    namespace fs = std::filesystem;
    Outcome outcome;
    if (rule.keepDays <= 0 && rule.minFreeMb <= 0)
        return outcome;

    struct Own {
        fs::path path;
        fs::file_time_type modified;
    };
    std::vector<Own> own;
    std::error_code error;
    const fs::path open = openFile.empty() ? fs::path() : fs::weakly_canonical(openFile, error);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code entryError;
        // Regular files only (a link is never followed), by the logger's own names.
        if (!it->is_regular_file(entryError) || it->is_symlink(entryError)
            || !isOwnFileName(it->path().filename().string()))
            continue;
        if (!open.empty() && fs::weakly_canonical(it->path(), entryError) == open)
            continue;
        const fs::file_time_type modified = it->last_write_time(entryError);
        if (!entryError)
            own.push_back({it->path(), modified});
    }
    std::sort(own.begin(), own.end(), [](const Own &a, const Own &b) { return a.modified < b.modified; });

    auto remove = [&outcome](const Own &file) {
        std::error_code removeError;
        if (fs::remove(file.path, removeError))
            outcome.removed.push_back(file.path.string());
        else
            outcome.failures.push_back(file.path.string() + ": " + removeError.message());
        return !removeError;
    };
    std::size_t next = 0;
    if (rule.keepDays > 0) {
        const fs::file_time_type limit = now - std::chrono::hours(24) * rule.keepDays;
        for (; next < own.size() && own[next].modified < limit; ++next)
            remove(own[next]);
    }
    std::int64_t free = freeSpace(folder);
    if (rule.minFreeMb > 0 && free >= 0) {
        // The file closed last (the newest not open) is the hour just recorded: never removed
        // for space, or a box on a full disk would lose each hour as it closes.
        const std::size_t removable = own.empty() ? 0 : own.size() - 1;
        for (; next < removable && free < rule.minFreeMb * kMiB; ++next) {
            if (remove(own[next]))
                free = freeSpace(folder);
        }
        outcome.stillShort = free < rule.minFreeMb * kMiB;
    }
    outcome.freeMb = free < 0 ? -1 : free / kMiB;
    return outcome;
}

} // namespace svglogger
