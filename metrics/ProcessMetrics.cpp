#include "metrics/ProcessMetrics.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include <dirent.h>
#include <unistd.h>

namespace svglogger {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

std::string fileText(const char *path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// /proc/self/stat's fields from the third (state) on: the second, the command's name in
// parentheses, may hold spaces and parentheses itself, so the fields start after the last ')'.
std::vector<std::string> statFields()
{
    const std::string text = fileText("/proc/self/stat");
    const std::size_t close = text.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos)
        return fields;
    std::istringstream in(text.substr(close + 1));
    for (std::string field; in >> field;)
        fields.push_back(field);
    return fields;
}

// Field n of stat(5) (1-based, as the manual counts them), from statFields().
std::optional<double> statField(const std::vector<std::string> &fields, std::size_t n)
{
    if (n < 3 || n - 3 >= fields.size())
        return std::nullopt;
    char *end = nullptr;
    const double value = std::strtod(fields[n - 3].c_str(), &end);
    return *end == '\0' ? std::optional<double>(value) : std::nullopt;
}

double seconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The descriptors open now: /proc/self/fd's entries but the one reading it.
std::optional<double> openFds()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return std::nullopt;
    double count = 0;
    const std::string own = std::to_string(::dirfd(dir));
    while (const dirent *entry = ::readdir(dir))
        if (entry->d_name[0] != '.' && own != entry->d_name)
            ++count;
    ::closedir(dir);
    return count;
}

// The soft limit of "Max open files" in /proc/self/limits; none when it is "unlimited".
std::optional<double> maxFds()
{
    std::istringstream in(fileText("/proc/self/limits"));
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("Max open files"))
            continue;
        std::istringstream fields(line.substr(std::string_view("Max open files").size()));
        double soft = 0;
        if (fields >> soft)
            return soft;
    }
    return std::nullopt;
}

void add(std::vector<MetricFamily> &families, const char *name, const char *help, MetricType type,
         std::optional<double> value)
{
    if (!value)
        return;
    MetricFamily family;
    family.name = name;
    family.help = help;
    family.type = type;
    ClientMetric metric;
    if (type == MetricType::Counter)
        metric.counter.value = *value;
    else
        metric.gauge.value = *value;
    family.metric.push_back(std::move(metric));
    families.push_back(std::move(family));
}

} // namespace

std::vector<MetricFamily> processMetricFamilies()
{
    const std::vector<std::string> stat = statFields();
    const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double pageBytes = static_cast<double>(::sysconf(_SC_PAGESIZE));
    std::optional<double> cpu, resident, start;
    if (const auto user = statField(stat, 14), system = statField(stat, 15); user && system)
        cpu = (*user + *system) / ticks;
    if (const auto pages = statField(stat, 24))
        resident = *pages * pageBytes;
    // The start in ticks since boot on the boot-time clock: the wall clock less the time since
    // then. /proc/stat's btime would do the same but counts whole seconds only.
    if (const auto started = statField(stat, 22))
        start = seconds(CLOCK_REALTIME) - (seconds(CLOCK_BOOTTIME) - *started / ticks);

    constexpr MetricType kGauge = MetricType::Gauge;
    std::vector<MetricFamily> families;
    add(families, "process_cpu_seconds_total", "Total user and system CPU time spent in seconds.", MetricType::Counter,
        cpu);
    add(families, "process_resident_memory_bytes", "Resident memory size in bytes.", kGauge, resident);
    add(families, "process_virtual_memory_bytes", "Virtual memory size in bytes.", kGauge, statField(stat, 23));
    add(families, "process_open_fds", "Number of open file descriptors.", kGauge, openFds());
    add(families, "process_max_fds", "Maximum number of open file descriptors.", kGauge, maxFds());
    add(families, "process_start_time_seconds", "Start time of the process since unix epoch in seconds.", kGauge, start);
    return families;
}

} // namespace svglogger
