#include "metrics/ProcessMetrics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

namespace svglogger {
namespace {

// The wall clock when this test program was loaded: its process started a little before.
const double g_loadedAt = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();

std::map<std::string, double> values()
{
    std::map<std::string, double> out;
    for (const prometheus::MetricFamily &family : processMetricFamilies()) {
        EXPECT_EQ(family.metric.size(), 1u) << family.name;
        out[family.name] = family.type == prometheus::MetricType::Counter ? family.metric[0].counter.value
                                                                          : family.metric[0].gauge.value;
    }
    return out;
}

double rusageSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The descriptors open, found by asking each possible one (not by /proc/self/fd).
double fcntlOpenFds()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    double open = 0;
    for (int fd = 0; fd < static_cast<int>(limit.rlim_cur); ++fd)
        if (::fcntl(fd, F_GETFD) != -1)
            ++open;
    return open;
}

// Each figure against the same one found another way: getrusage, getrlimit, fcntl on every
// descriptor, memory this test maps and touches, the time this program was loaded.
TEST(ProcessMetrics, EachFigureIsTheOneTheKernelGivesAnotherWay)
{
    std::map<std::string, double> v = values();
    ASSERT_EQ(v.size(), 6u);
    for (const char *name : {"process_cpu_seconds_total", "process_resident_memory_bytes", "process_virtual_memory_bytes",
                             "process_open_fds", "process_max_fds", "process_start_time_seconds"})
        EXPECT_EQ(v.count(name), 1u) << name;

    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_EQ(v["process_max_fds"], static_cast<double>(limit.rlim_cur));
    EXPECT_EQ(v["process_open_fds"], fcntlOpenFds());
    std::vector<int> opened;
    for (int i = 0; i < 25; ++i)
        opened.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(values()["process_open_fds"], v["process_open_fds"] + 25);
    for (int fd : opened)
        ::close(fd);

    // Clock ticks (1/100 s) against getrusage's microseconds: equal within two ticks.
    const double tick = 1.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double cpuBefore = rusageSeconds();
    v = values();
    EXPECT_NEAR(v["process_cpu_seconds_total"], cpuBefore, 2 * tick);
    volatile double sink = 0;
    for (const double end = rusageSeconds() + 0.3; rusageSeconds() < end;)
        sink = sink + 1;
    const double cpuAfter = rusageSeconds();
    EXPECT_NEAR(values()["process_cpu_seconds_total"] - v["process_cpu_seconds_total"], cpuAfter - cpuBefore, 3 * tick);

    // 64 MiB touched: resident grows by them; 1 GiB reserved: virtual grows by exactly that.
    const double page = static_cast<double>(::sysconf(_SC_PAGESIZE));
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LE(v["process_resident_memory_bytes"], static_cast<double>(usage.ru_maxrss) * 1024 + 64 * page);
    constexpr std::size_t kTouched = 64u << 20, kReserved = 1u << 30;
    void *touched = ::mmap(nullptr, kTouched, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(touched, MAP_FAILED);
    std::memset(touched, 1, kTouched);
    void *reserved = ::mmap(nullptr, kReserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(reserved, MAP_FAILED);
    const std::map<std::string, double> grown = values();
    EXPECT_NEAR(grown.at("process_resident_memory_bytes") - v["process_resident_memory_bytes"], kTouched, 4 << 20);
    EXPECT_NEAR(grown.at("process_virtual_memory_bytes") - v["process_virtual_memory_bytes"], kTouched + kReserved,
                4 << 20);
    ::munmap(touched, kTouched);
    ::munmap(reserved, kReserved);

    // Started before this program's globals were made, and not long before (loading it and
    // gtest's start take milliseconds; a busy machine is given seconds).
    EXPECT_LE(v["process_start_time_seconds"], g_loadedAt + tick);
    EXPECT_GE(v["process_start_time_seconds"], g_loadedAt - 10);
}

} // namespace
} // namespace svglogger
