#include "support/Broker.h"
#include "support/HeadlessSite.h"
#include "support/HttpGet.h"
#include "support/ScopedVariable.h"
#include "support/Split.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

using test::Site;
using Clock = std::chrono::steady_clock;
using Series = std::map<std::string, double>;

// The exposition's samples by "name{labels}"; comment lines left out.
Series seriesOf(const std::string &body)
{
    Series series;
    for (const std::string &line : test::split(body, '\n')) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.rfind(' ');
        series[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
    }
    return series;
}

// The port the journal says the endpoint serves on.
int metricsPort(Site &site)
{
    if (!site.journalSays("/metrics"))
        return 0;
    std::smatch match;
    const std::regex served("metrics: serving http://[^ ]*:([0-9]+)/metrics");
    return std::regex_search(site.journal, match, served) ? std::stoi(match[1]) : 0;
}

Series scrape(int port)
{
    return seriesOf(test::httpGet(port, "/metrics").body);
}

// Scrapes until `ready` holds (up to `timeout`); the last scrape.
template <typename Ready>
Series scrapeUntil(int port, Ready ready, std::chrono::milliseconds timeout = 10s)
{
    const auto end = Clock::now() + timeout;
    Series series = scrape(port);
    while (!ready(series) && Clock::now() < end) {
        std::this_thread::sleep_for(100ms);
        series = scrape(port);
    }
    return series;
}

// Why a test that needs `program` (Debian's prometheus, or its promtool) fails where it is
// not installed: these tests are never skipped.
std::string notInstalled(const char *program)
{
    return std::string(program) + " is not installed, and this test needs it: ./scripts/deps.sh installs it";
}

// promtool's verdict on an exposition: its exit code and what it printed.
std::pair<int, std::string> promtool(const QString &path, const QStringList &arguments, const std::string &input)
{
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForStarted())
        return {-1, "promtool did not start"};
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitCode(), (process.readAllStandardOutput() + process.readAllStandardError()).toStdString()};
}

// A CSV field's number times 10^exponent, shifted in the text as the endpoint does.
double fieldTimes(const std::string &field, int exponent)
{
    const std::string text = field + "e" + std::to_string(exponent);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Version-2 lines of known numbers; the last one's status word is 0x8013.
QString writeKnownLines(const QTemporaryDir &folder, int count)
{
    const QString path = folder.path() + "/lines.txt";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    for (int i = 0; i < count; ++i) {
        const char *status = i + 1 == count ? "8013" : "0000";
        file.write(QString("MN R,%1,%2,0,0,0,%3,50,%4,%5,%6,0,0,0,0,%7,%8,%9,%10\r\n")
                       .arg(status)
                       .arg(i % 1000)
                       .arg(6600 + i % 7)
                       .arg(4000 + 13 * i)
                       .arg(-2000 - 7 * i)
                       .arg(1000 + 3 * i)
                       .arg(15 + i % 3)
                       .arg(-10)
                       .arg(300)
                       .arg(-200 + i)
                       .toLatin1());
    }
    return path;
}

// The logger's listening TCP sockets: its socket inodes found in LISTEN state (0A) in
// /proc/net/tcp and tcp6.
int listeningSockets(qint64 pid)
{
    std::vector<std::string> inodes;
    const std::string fdFolder = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR *dir = ::opendir(fdFolder.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            char target[256];
            const ssize_t n = ::readlink((fdFolder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)).rfind("socket:[", 0) == 0)
                inodes.push_back(std::string(target + 8, static_cast<std::size_t>(n) - 9));
        }
        ::closedir(dir);
    }
    int listening = 0;
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        for (const std::string &line : test::split(test::readBytes(table), '\n')) {
            std::vector<std::string> fields;
            for (const std::string &field : test::split(line, ' '))
                if (!field.empty())
                    fields.push_back(field);
            if (fields.size() > 9 && fields[3] == "0A" && std::find(inodes.begin(), inodes.end(), fields[9]) != inodes.end())
                ++listening;
        }
    }
    return listening;
}

TEST(MetricsEndpoint, ScrapeIsValidAndItsValuesAreTheCsvRowsAndTheMqttSamples)
{
    const QString promtoolPath = QStandardPaths::findExecutable("promtool");
    ASSERT_FALSE(promtoolPath.isEmpty()) << notInstalled("promtool");
    QTemporaryDir folder;
    constexpr int kLines = 30;
    Site site({"--replay", writeKnownLines(folder, kLines), "--rate", "10", "--controller-version", "2"});
    test::Broker broker;
    ASSERT_TRUE(broker.start());
    test::Subscriber subscriber(broker.plainPort, std::string(Site::kTopic) + "/sample");
    ASSERT_TRUE(subscriber.waitUntilSubscribed());
    site.start({"--metrics-listen", "127.0.0.1:0", "--reactance-percent", "50", "--mqtt",
                QString("mqtt://127.0.0.1:%1").arg(broker.port)});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;

    const Series series = scrapeUntil(port, [](const Series &s) {
        return s.count("svglogger_samples_total") && s.at("svglogger_samples_total") == kLines
            && s.at("svglogger_rows_written_total") == kLines;
    });
    const test::HttpReply reply = test::httpGet(port, "/metrics");
    ASSERT_EQ(reply.code, 200);
    EXPECT_NE(reply.headers.find("Content-Type: text/plain"), std::string::npos) << reply.headers;
    const auto [code, said] = promtool(promtoolPath, {"check", "metrics"}, reply.body);
    EXPECT_EQ(code, 0) << said;
    EXPECT_EQ(said, "");
    // No timestamps: each sample line is a series and its value, nothing after.
    for (const std::string &line : test::split(reply.body, '\n')) {
        if (!line.empty() && line[0] != '#') {
            const std::size_t labelsEnd = line.find('}') == std::string::npos ? 0 : line.find('}') + 1;
            EXPECT_EQ(std::count(line.begin() + static_cast<std::ptrdiff_t>(labelsEnd), line.end(), ' '), 1) << line;
        }
    }
    const auto [extendedCode, table] = promtool(promtoolPath, {"check", "metrics", "--extended"}, reply.body);
    std::smatch total;
    ASSERT_TRUE(std::regex_search(table, total, std::regex("Total +([0-9]+)"))) << table;
    // A box's series stay few: 83 with the spool's six and log_disk_short.
    EXPECT_LE(std::stoi(total[1]), 90) << table;

    ASSERT_EQ(series.at("svglogger_samples_total"), kLines) << reply.body;
    const std::vector<std::string> rows = site.rows();
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kLines));
    EXPECT_EQ(series.at("svglogger_lines_received_total"), kLines + 1); // and the version line
    const std::vector<std::string> f = test::split(rows.back(), ',');
    ASSERT_EQ(f.size(), 10u) << rows.back();
    EXPECT_EQ(series.at("svglogger_grid_voltage_volts"), fieldTimes(f[1], 0));
    EXPECT_EQ(series.at("svglogger_load_active_power_watts"), fieldTimes(f[2], 3));
    EXPECT_EQ(series.at("svglogger_load_reactive_power_volt_amperes_reactive"), fieldTimes(f[3], 3));
    EXPECT_EQ(series.at("svglogger_svg_output_volt_amperes_reactive"), fieldTimes(f[4], 3));
    EXPECT_EQ(series.at("svglogger_negative_sequence_voltage_volts{axis=\"d\"}"), fieldTimes(f[5], 0));
    EXPECT_EQ(series.at("svglogger_negative_sequence_voltage_volts{axis=\"q\"}"), fieldTimes(f[6], 0));
    EXPECT_EQ(series.at("svglogger_negative_sequence_command_amperes{axis=\"d\"}"), fieldTimes(f[7], 0));
    EXPECT_EQ(series.at("svglogger_negative_sequence_command_amperes{axis=\"q\"}"), fieldTimes(f[8], 0));
    EXPECT_NEAR(series.at("svglogger_voltage_unbalance_ratio"), std::hypot(std::stod(f[5]), std::stod(f[6])) / std::stod(f[1]), 1e-12);
    EXPECT_TRUE(series.count("svglogger_uncompensated_voltage_volts"));
    // Status word 0x8013 (a negative number in the row): bits 0, 1, 4 and 15.
    EXPECT_EQ(std::stoi(f[9]), 0x8013 - 0x10000);
    for (int bit = 0; bit < 16; ++bit)
        EXPECT_EQ(series.at("svglogger_status_bit{bit=\"" + std::to_string(bit) + "\"}"),
                  bit == 0 || bit == 1 || bit == 4 || bit == 15 ? 1 : 0) << bit;
    EXPECT_EQ(series.at("svglogger_link_state{state=\"streaming\"}"), 1);
    EXPECT_EQ(series.at("svglogger_controller_info{controller_version=\"2\",mode=\"continuous\"}"), 1);
    EXPECT_EQ(series.at("svglogger_grid_voltage_distribution_volts_count"), kLines);
    EXPECT_EQ(series.at("svglogger_grid_voltage_distribution_volts_bucket{le=\"6600\"}"), 5); // 6600 itself, every 7th line
    EXPECT_EQ(series.at("svglogger_grid_voltage_distribution_volts_bucket{le=\"6765\"}"), kLines);
    EXPECT_EQ(series.at("svglogger_mqtt_connected"), 1);

    // The broker's last sample: the same numbers.
    std::vector<test::Subscriber::Message> samples;
    for (int i = 0; i < 50 && samples.size() < static_cast<std::size_t>(kLines); ++i) {
        std::this_thread::sleep_for(100ms);
        samples = subscriber.messages(std::string(Site::kTopic) + "/sample");
    }
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(kLines));
    const QJsonObject last = QJsonDocument::fromJson(QByteArray::fromStdString(samples.back().payload)).object();
    EXPECT_EQ(last.value("grid_voltage_v").toDouble(), series.at("svglogger_grid_voltage_volts"));
    EXPECT_EQ(fieldTimes(std::to_string(last.value("load_active_power_kw").toDouble()), 3),
              series.at("svglogger_load_active_power_watts"));
    EXPECT_EQ(last.value("negative_sequence_command_q_a").toDouble(),
              series.at("svglogger_negative_sequence_command_amperes{axis=\"q\"}"));
    EXPECT_EQ(site.stop(), 0);
}

// The controller stops in mid-stream and answers the next ESC only with its prompt: the last
// values go within the watchdog's time, the link says so; both come back with the stream.
TEST(MetricsEndpoint, StaleValuesGoAndComeBackWithTheStream)
{
    Site site({"--rate", "10", "--fall-silent-after", "25", "--seed", "3"});
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    Series series = scrapeUntil(port, [](const Series &s) { return s.count("svglogger_samples_total") && s.at("svglogger_samples_total") >= 25; });
    ASSERT_EQ(series.at("svglogger_samples_total"), 25);
    const auto silent = Clock::now();
    series = scrapeUntil(port, [](const Series &s) {
        return !s.count("svglogger_grid_voltage_volts")
            && s.at("svglogger_link_state{state=\"no_data\"}") + s.at("svglogger_link_state{state=\"no_answer\"}") == 1;
    });
    EXPECT_LT(Clock::now() - silent, 10s);
    EXPECT_FALSE(series.count("svglogger_grid_voltage_volts"));
    EXPECT_FALSE(series.count("svglogger_status_bit{bit=\"0\"}"));
    EXPECT_EQ(series.at("svglogger_link_state{state=\"no_data\"}") + series.at("svglogger_link_state{state=\"no_answer\"}"), 1);
    EXPECT_EQ(series.at("svglogger_samples_total"), 25); // health and counters stay
    series = scrapeUntil(port, [](const Series &s) {
        return s.count("svglogger_grid_voltage_volts") && s.at("svglogger_link_state{state=\"streaming\"}") == 1;
    });
    EXPECT_TRUE(series.count("svglogger_grid_voltage_volts"));
    EXPECT_EQ(series.at("svglogger_link_state{state=\"streaming\"}"), 1);
    EXPECT_GE(series.at("svglogger_controller_wakeups_total{reason=\"no_data\"}"), 1);
    EXPECT_GT(series.at("svglogger_samples_total"), 25);
    EXPECT_EQ(site.stop(), 0);
}

// No option, no socket; an address that cannot be bound is a fault and exit 2, never a run
// without its endpoint; basic auth asks for the password; / links /metrics.
TEST(MetricsEndpoint, SocketOnlyWhenAskedBindFailureExitsAndAuthIsAsked)
{
    {
        Site site;
        site.start({});
        ASSERT_TRUE(site.journalSays("file opened")) << site.journal;
        EXPECT_EQ(listeningSockets(site.logger.processId()), 0);
        EXPECT_EQ(site.stop(), 0);
    }
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr *>(&address), &length);
    for (const QString &listen : {QString("127.0.0.1:%1").arg(ntohs(address.sin_port)), QString("192.0.2.1:9464")}) {
        Site site;
        site.start({"--metrics-listen", listen});
        ASSERT_TRUE(site.logger.waitForFinished(10000));
        site.journal += site.logger.readAllStandardError().toStdString();
        EXPECT_EQ(site.logger.exitCode(), 2) << listen.toStdString();
        EXPECT_NE(site.journal.find("metrics-listen: cannot listen on " + listen.toStdString()), std::string::npos)
            << site.journal;
    }
    ::close(taken);

    Site site;
    {
        const test::ScopedVariable password("SVG_LOGGER_METRICS_PASSWORD", "s3cret");
        site.start({"--metrics-listen", "127.0.0.1:0", "--metrics-user", "prom"});
    }
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    EXPECT_EQ(test::httpGet(port, "/metrics").code, 401);
    EXPECT_EQ(test::httpGet(port, "/metrics", "Basic " + QByteArray("prom:wrong").toBase64().toStdString()).code, 401);
    const test::HttpReply right = test::httpGet(port, "/metrics", "Basic " + QByteArray("prom:s3cret").toBase64().toStdString());
    EXPECT_EQ(right.code, 200);
    EXPECT_NE(right.body.find("svglogger_build_info"), std::string::npos);
    const test::HttpReply landing = test::httpGet(port, "/");
    EXPECT_EQ(landing.code, 200);
    EXPECT_NE(landing.body.find("href=\"/metrics\""), std::string::npos);
    EXPECT_EQ(test::httpGet(port, "/other").code, 404);
    EXPECT_EQ(site.stop(), 0);
}

// A real Prometheus scraping every second: the target is up, the samples' rate is the
// controller's, every query of the dashboard and the alert rules is one it accepts; when the
// logger stops, up goes to 0.
TEST(MetricsEndpoint, RealPrometheusScrapesItAndAnswersTheDashboardsQueries)
{
    const QString prometheus = QStandardPaths::findExecutable("prometheus");
    ASSERT_FALSE(prometheus.isEmpty()) << notInstalled("prometheus");
    Site site;
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    const std::string instance = "127.0.0.1:" + std::to_string(port);

    QTemporaryDir folder;
    const int webPort = test::freeLoopbackPort();
    {
        QFile config(folder.path() + "/prometheus.yml");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QString("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                             "rule_files: ['%1']\n"
                             "scrape_configs:\n  - job_name: svg-logger\n    static_configs:\n"
                             "      - targets: ['%2']\n")
                         .arg(SVG_PROMETHEUS_RULES, QString::fromStdString(instance))
                         .toUtf8());
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=" + folder.path() + "/prometheus.yml",
                              "--storage.tsdb.path=" + folder.path() + "/data",
                              QString("--web.listen-address=127.0.0.1:%1").arg(webPort)});
    ASSERT_TRUE(server.waitForStarted());
    const auto query = [&](const std::string &expr) {
        const QByteArray encoded = QUrl::toPercentEncoding(QString::fromStdString(expr));
        const test::HttpReply reply = test::httpGet(webPort, "/api/v1/query?query=" + encoded.toStdString());
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
    };
    const auto scalar = [&](const std::string &expr) -> std::optional<double> {
        const QJsonArray result = query(expr).value("data").toObject().value("result").toArray();
        if (result.isEmpty())
            return std::nullopt;
        return result[0].toObject().value("value").toArray()[1].toString().toDouble();
    };
    const auto waitFor = [&](const std::string &expr, auto accept, std::chrono::seconds timeout) {
        std::optional<double> value;
        for (const auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(500ms))
            if ((value = scalar(expr)) && accept(*value))
                break;
        return value;
    };
    const std::string up = "up{instance=\"" + instance + "\"}";
    const std::optional<double> isUp = waitFor(up, [](double v) { return v == 1; }, 30s);
    ASSERT_EQ(isUp, 1.0) << server.readAll().toStdString();
    const std::optional<double> rate = waitFor("rate(svglogger_samples_total[10s])", [](double v) { return v > 4; }, 20s);
    ASSERT_TRUE(rate);
    EXPECT_NEAR(*rate, 5.0, 1.0);

    QFile dashboardFile(SVG_GRAFANA_DASHBOARD);
    ASSERT_TRUE(dashboardFile.open(QIODevice::ReadOnly));
    const QJsonObject dashboard = QJsonDocument::fromJson(dashboardFile.readAll()).object();
    std::vector<std::string> expressions;
    for (const QJsonValue &panel : dashboard.value("panels").toArray())
        for (const QJsonValue &target : panel.toObject().value("targets").toArray())
            expressions.push_back(target.toObject().value("expr").toString().toStdString());
    ASSERT_GE(expressions.size(), 8u);
    for (std::string expr : expressions) {
        for (const auto &[variable, value] : {std::pair{std::string("$instance"), instance}, {"$__rate_interval", "10s"}})
            for (std::size_t at; (at = expr.find(variable)) != std::string::npos;)
                expr.replace(at, variable.size(), value);
        const QJsonObject answer = query(expr);
        EXPECT_EQ(answer.value("status").toString(), "success") << expr << ": " << answer.value("error").toString().toStdString();
    }
    // The instance variable's query, as Grafana asks it.
    const test::HttpReply values = test::httpGet(webPort, "/api/v1/label/instance/values?match[]=svglogger_build_info");
    EXPECT_NE(values.body.find(instance), std::string::npos) << values.body;
    // The rules were loaded and evaluate without error.
    const QJsonObject rules = QJsonDocument::fromJson(QByteArray::fromStdString(test::httpGet(webPort, "/api/v1/rules").body)).object();
    const QJsonArray groups = rules.value("data").toObject().value("groups").toArray();
    ASSERT_EQ(groups.size(), 1);
    for (const QJsonValue &rule : groups[0].toObject().value("rules").toArray())
        EXPECT_EQ(rule.toObject().value("health").toString(), "ok") << rule.toObject().value("name").toString().toStdString();

    EXPECT_EQ(site.stop(), 0);
    EXPECT_EQ(waitFor(up, [](double v) { return v == 0; }, 15s), 0.0);
    server.terminate();
    server.waitForFinished(10000);
}

// Scraped at 50 Hz for a minute while streaming: every scrape answers, the counters never go
// back, and at the end every line the simulator sent is counted and in the CSV file.
TEST(MetricsEndpoint, FiftyScrapesASecondForAMinuteLoseNothing)
{
    QTemporaryDir folder;
    constexpr int kLines = 1200; // a minute at 20 lines a second
    Site site({"--replay", writeKnownLines(folder, kLines), "--rate", "20", "--controller-version", "2"});
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    int scrapes = 0, failures = 0, backwards = 0;
    double lastSamples = 0;
    for (const auto end = Clock::now() + 60s; Clock::now() < end; std::this_thread::sleep_for(20ms)) {
        const test::HttpReply reply = test::httpGet(port, "/metrics");
        ++scrapes;
        if (reply.code != 200) {
            ++failures;
            continue;
        }
        const Series series = seriesOf(reply.body);
        const double samples = series.count("svglogger_samples_total") ? series.at("svglogger_samples_total") : -1;
        if (samples < lastSamples)
            ++backwards;
        lastSamples = samples;
    }
    EXPECT_GT(scrapes, 2000);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(backwards, 0);
    const Series series = scrapeUntil(port, [](const Series &s) {
        return s.at("svglogger_samples_total") == kLines && s.at("svglogger_rows_written_total") == kLines;
    });
    EXPECT_EQ(series.at("svglogger_samples_total"), kLines);
    EXPECT_EQ(series.at("svglogger_rows_written_total"), kLines);
    EXPECT_EQ(site.rows().size(), static_cast<std::size_t>(kLines));
    // Every line received: the measurement lines and a version line for each stream started
    // (the first, and at most one after each wake-up the silence at the end brought).
    const double wakes = series.at("svglogger_controller_wakeups_total{reason=\"no_data\"}")
        + series.at("svglogger_controller_wakeups_total{reason=\"no_answer\"}");
    EXPECT_GE(series.at("svglogger_lines_received_total"), kLines + 1);
    EXPECT_LE(series.at("svglogger_lines_received_total"), kLines + 1 + wakes);
    EXPECT_EQ(site.stop(), 0);
    // Built with ThreadSanitizer (test.sh does), a race would be reported here.
    EXPECT_EQ(site.journal.find("ThreadSanitizer"), std::string::npos) << site.journal;
}

} // namespace
} // namespace svglogger
