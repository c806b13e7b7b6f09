#include "support/Broker.h"
#include "support/HeadlessSite.h"
#include "support/HttpGet.h"
#include "support/SmallDisk.h"
#include "support/Split.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

namespace fs = std::filesystem;
using test::Site;
constexpr std::int64_t kMiB = 1024 * 1024;

// The endpoint's samples by "name{labels}".
std::map<std::string, double> scrape(Site &site)
{
    std::map<std::string, double> series;
    std::smatch match;
    const std::regex served("metrics: serving http://[^ ]*:([0-9]+)/metrics");
    if (!site.journalSays("/metrics") || !std::regex_search(site.journal, match, served))
        return series;
    for (const std::string &line : test::split(test::httpGet(std::stoi(match[1]), "/metrics").body, '\n')) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.rfind(' ');
        series[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
    }
    return series;
}

// The stop line's figures: delivered, left in the spool, lost, dropped.
std::vector<std::uint64_t> stopFigures(const std::string &journal)
{
    std::smatch match;
    const std::regex stopLine("mqtt: stop: (\\d+) messages delivered, (\\d+) left in the spool for the next start "
                              "\\([^)]*\\), (\\d+) lost[^,]*, (\\d+) dropped, ");
    if (!std::regex_search(journal, match, stopLine))
        return {};
    return {std::stoull(match[1]), std::stoull(match[2]), std::stoull(match[3]), std::stoull(match[4])};
}

// The bytes of the spool's segment files under a folder.
std::int64_t segmentBytes(const std::string &folder)
{
    std::int64_t bytes = 0;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        if (entry.path().extension() == ".seg")
            bytes += static_cast<std::int64_t>(entry.file_size());
    return bytes;
}

// One small disk holds the CSV files and the spool, as the packaged layout has both under
// /var/lib/svg-logger. The spool's floor, given as 0, is min-free-mb's (said). With the broker
// away the spool stops at its floor and drops its oldest samples; when another program takes
// the disk below --min-free-mb the spool gives its room back and the retention removes no CSV
// file for it; no row fails; when the broker is back, what the spool kept is delivered, as
// many as the stop line said were left.
TEST(MqttSpoolDisk, OnASmallDiskTheCsvFilesComeFirst)
{
    test::SmallDisk disk(8);
    ASSERT_EQ(disk.error(), "");
    const std::string logs = disk.path() + "/logs";
    fs::create_directories(logs);
    // The logger's own files of earlier days: what the retention could remove for space.
    std::vector<std::string> earlier;
    for (int hour = 1; hour <= 4; ++hour) {
        earlier.push_back(logs + "/Tarmin1D" + std::to_string(hour) + "H0M0.csv");
        std::ofstream(earlier.back()) << std::string(100'000, 'x');
        fs::last_write_time(earlier.back(), fs::file_time_type::clock::now() - 48h);
    }
    test::Broker broker; // not started: away
    constexpr std::int64_t kFloor = kMiB;
    const QStringList options{"--mqtt", QString("mqtt://127.0.0.1:%1").arg(broker.port), "--folder",
                              QString::fromStdString(logs), "--min-free-mb", "1", "--spool-min-free-mb", "0",
                              "--sync-seconds", "1", "--metrics-listen", "127.0.0.1:0"};
    disk.leaveFree(kFloor + 512 * 1024); // another program took the rest
    Site site({"--rate", "50", "--seed", "9"});
    site.stateHome = QString::fromStdString(disk.path() + "/state");

    // The broker away: the spool fills what is above its floor, and stays there.
    site.start(options);
    ASSERT_TRUE(site.journalSays("mqtt: spool at its free-space floor", 60s)) << site.journal;
    EXPECT_NE(site.journal.find("spool-min-free-mb 0 is below min-free-mb 1 on the log folder's disk: the spool "
                                "keeps 1 MiB free"),
              std::string::npos)
        << site.journal;
    std::int64_t lowest = disk.free();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(100ms);
        lowest = std::min(lowest, disk.free());
    }
    // Between two syncs the CSV file grows by a second of rows; tmpfs counts whole pages.
    EXPECT_GE(lowest, kFloor - 32 * 1024);
    std::map<std::string, double> metrics = scrape(site);
    EXPECT_EQ(metrics["svglogger_rows_failed_total"], 0);
    EXPECT_EQ(metrics["svglogger_log_file_error"], 0);
    EXPECT_EQ(metrics["svglogger_mqtt_spool_on_disk"], 1);
    EXPECT_GT(metrics["svglogger_mqtt_dropped_messages_total{kind=\"samples\"}"], 0);
    EXPECT_LT(metrics["svglogger_mqtt_spool_limit_bytes"], kMiB) << "the floor, not the 100 MiB bound";
    EXPECT_EQ(site.stop(), 0);
    const std::vector<std::uint64_t> first = stopFigures(site.journal);
    ASSERT_EQ(first.size(), 4u) << site.journal;
    EXPECT_EQ(first[2], 0u) << "nothing lost: " << site.journal;
    EXPECT_GT(first[1], 0u);

    // Another program takes the disk below --min-free-mb, by half what the spool holds: the
    // spool gives that back; the retention at start removes nothing for it.
    const std::int64_t spooled = segmentBytes(disk.path() + "/state");
    ASSERT_GT(spooled, 200 * 1024);
    disk.leaveFree(kMiB - spooled / 2);
    site.journal.clear();
    site.start(options);
    ASSERT_TRUE(site.journalSays(std::to_string(first[1]) + " messages an earlier run did not deliver"))
        << "as many as the stop line said were left\n" << site.journal;
    site.run(3s);
    EXPECT_GE(disk.free(), kFloor - 32 * 1024) << "the spool gave back its oldest samples";
    metrics = scrape(site);
    EXPECT_EQ(metrics["svglogger_rows_failed_total"], 0);
    EXPECT_EQ(metrics["svglogger_retention_removed_files_total"], 0);
    EXPECT_EQ(metrics["svglogger_log_disk_short"], 0);
    EXPECT_EQ(site.stop(), 0);
    EXPECT_EQ(site.journal.find("retention: removed"), std::string::npos) << site.journal;
    for (const std::string &path : earlier)
        EXPECT_TRUE(fs::exists(path)) << path;
    const std::vector<std::uint64_t> second = stopFigures(site.journal);
    ASSERT_EQ(second.size(), 4u) << site.journal;
    EXPECT_EQ(second[2], 0u) << site.journal;
    EXPECT_GT(second[1], 0u) << site.journal;

    // The broker back: what was left is delivered.
    ASSERT_TRUE(broker.start());
    test::Subscriber subscriber(broker.plainPort, "svg-logger/test-site/#");
    ASSERT_TRUE(subscriber.waitUntilSubscribed());
    site.journal.clear();
    site.start(options);
    ASSERT_TRUE(site.journalSays(std::to_string(second[1]) + " messages an earlier run did not deliver"))
        << site.journal;
    ASSERT_TRUE(site.journalSays("mqtt: connected", 10s)) << site.journal;
    site.run(3s);
    EXPECT_EQ(site.stop(), 0);
    const std::vector<std::uint64_t> third = stopFigures(site.journal);
    ASSERT_EQ(third.size(), 4u) << site.journal;
    EXPECT_EQ(third[1], 0u) << site.journal;
    EXPECT_EQ(third[2], 0u) << site.journal;
    std::this_thread::sleep_for(500ms);
    // The last run's own messages aside, every message of the first two runs that was left.
    auto runOf = [](const test::Subscriber::Message &m) {
        const QJsonObject payload = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
        return payload.value("run").toString().toStdString();
    };
    const auto samples = subscriber.messages("svg-logger/test-site/sample");
    ASSERT_FALSE(samples.empty());
    const std::string lastRun = runOf(samples.back());
    std::set<std::string> earlierMessages;
    for (const char *topic : {"svg-logger/test-site/sample", "svg-logger/test-site/event"})
        for (const auto &m : subscriber.messages(topic))
            if (runOf(m) != lastRun)
                earlierMessages.insert(m.payload);
    EXPECT_EQ(earlierMessages.size(), second[1]);
}

} // namespace
} // namespace svglogger
