#include "support/Broker.h"
#include "support/HeadlessSite.h"
#include "support/HttpGet.h"
#include "support/ScopedVariable.h"
#include "support/Split.h"
#include "support/TestCertificates.h"

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
#include <cerrno>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timex.h>
#include <sys/time.h>
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
    const std::regex served("metrics: serving https?://[^ ]*:([0-9]+)/metrics");
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

// Debian's Prometheus on a free loopback port with `scrapeConfig` (YAML after
// "scrape_configs:"), scraping every second; its queries' answers.
struct PrometheusServer {
    QTemporaryDir folder;
    QProcess process;
    int webPort = test::freeLoopbackPort();

    // Empty when it runs, else why not.
    std::string start(const QString &scrapeConfig, const QString &extra = {})
    {
        const QString prometheus = QStandardPaths::findExecutable("prometheus");
        if (prometheus.isEmpty())
            return notInstalled("prometheus");
        QFile config(folder.path() + "/prometheus.yml");
        if (!config.open(QIODevice::WriteOnly))
            return "cannot write prometheus.yml";
        config.write(("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n" + extra + "scrape_configs:\n"
                      + scrapeConfig).toUtf8());
        config.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(prometheus, {"--config.file=" + folder.path() + "/prometheus.yml",
                                   "--storage.tsdb.path=" + folder.path() + "/data",
                                   QString("--web.listen-address=127.0.0.1:%1").arg(webPort)});
        return process.waitForStarted() ? "" : "prometheus did not start";
    }
    ~PrometheusServer()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
    }
    QJsonObject query(const std::string &expr)
    {
        const QByteArray encoded = QUrl::toPercentEncoding(QString::fromStdString(expr));
        const test::HttpReply reply = test::httpGet(webPort, "/api/v1/query?query=" + encoded.toStdString());
        return QJsonDocument::fromJson(QByteArray::fromStdString(reply.body)).object();
    }
    std::optional<double> scalar(const std::string &expr)
    {
        const QJsonArray result = query(expr).value("data").toObject().value("result").toArray();
        if (result.isEmpty())
            return std::nullopt;
        return result[0].toObject().value("value").toArray()[1].toString().toDouble();
    }
    template <typename Accept>
    std::optional<double> waitFor(const std::string &expr, Accept accept, std::chrono::seconds timeout)
    {
        std::optional<double> value;
        for (const auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(500ms))
            if ((value = scalar(expr)) && accept(*value))
                break;
        return value;
    }
};

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
    // A box's series stay few: some 90 with MQTT, its spool and the process' own.
    EXPECT_LE(std::stoi(total[1]), 100) << table;

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
// without its endpoint; basic auth asks for the password, on / (which links /metrics) too.
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
    // The landing page and a path that is none are behind the password too.
    const std::string authorised = "Basic " + QByteArray("prom:s3cret").toBase64().toStdString();
    const test::HttpReply asked = test::httpGet(port, "/");
    EXPECT_EQ(asked.code, 401);
    EXPECT_NE(asked.headers.find("WWW-Authenticate: Basic realm=\"svg-logger-headless\""), std::string::npos) << asked.headers;
    const test::HttpReply landing = test::httpGet(port, "/", authorised);
    EXPECT_EQ(landing.code, 200);
    EXPECT_NE(landing.body.find("href=\"/metrics\""), std::string::npos);
    EXPECT_EQ(test::httpGet(port, "/other").code, 401);
    EXPECT_EQ(test::httpGet(port, "/other", authorised).code, 404);
    EXPECT_EQ(site.stop(), 0);
}

// A real Prometheus scraping every second: the target is up, the samples' rate is the
// controller's, every query of the dashboard and the alert rules is one it accepts; when the
// logger stops, up goes to 0.
TEST(MetricsEndpoint, RealPrometheusScrapesItAndAnswersTheDashboardsQueries)
{
    Site site;
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    const std::string instance = "127.0.0.1:" + std::to_string(port);

    PrometheusServer server;
    const std::string started = server.start(
        QString("  - job_name: svg-logger\n    static_configs:\n      - targets: ['%1']\n").arg(QString::fromStdString(instance)),
        QString("rule_files: ['%1']\n").arg(SVG_PROMETHEUS_RULES));
    ASSERT_EQ(started, "");
    const int webPort = server.webPort;
    const auto query = [&](const std::string &expr) { return server.query(expr); };
    const auto waitFor = [&](const std::string &expr, auto accept, std::chrono::seconds timeout) {
        return server.waitFor(expr, accept, timeout);
    };
    const std::string up = "up{instance=\"" + instance + "\"}";
    const std::optional<double> isUp = waitFor(up, [](double v) { return v == 1; }, 30s);
    ASSERT_EQ(isUp, 1.0) << server.process.readAll().toStdString();
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

// How many times `text` stands in `journal`.
std::size_t timesSaid(const std::string &journal, const std::string &text)
{
    std::size_t n = 0;
    for (std::size_t at = journal.find(text); at != std::string::npos; at = journal.find(text, at + 1))
        ++n;
    return n;
}

// Two loggers with one client id on Debian's mosquitto, which closes the older connection
// without a word: each takes the connection from the other every few seconds. The journal
// names it once, instead of a "broker lost" and "broker back" each time; the endpoint serves
// it and the reconnects, and once the other logger stops and the connection holds, it is over.
// The delivered and repeated messages against what the test's subscriber received; the
// clock's synchronisation against the kernel's word.
TEST(MetricsEndpoint, TwoLoggersSharingAClientIdAreNamedOnceServedAndOverWhenOneStops)
{
    test::Broker broker;
    ASSERT_TRUE(broker.start());
    test::Subscriber subscriber(broker.plainPort, std::string(Site::kTopic) + "/#");
    ASSERT_TRUE(subscriber.waitUntilSubscribed());
    const QString url = QString("mqtt://127.0.0.1:%1").arg(broker.port);
    Site site;
    Site other;
    site.start({"--mqtt", url, "--mqtt-client-id", "shared-id", "--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    ASSERT_TRUE(site.journalSays("mqtt: connected")) << site.journal;
    other.start({"--mqtt", url, "--mqtt-client-id", "shared-id", "--mqtt-topic", "svg-logger/other-site"});

    const std::string named = "mqtt: another client connected with the client id shared-id: the broker closed 3 "
                              "connections in a row within 10 s of making them";
    ASSERT_TRUE(site.journalSays(named, 45s)) << site.journal;
    Series series = scrapeUntil(port, [](const Series &s) { return s.at("svglogger_mqtt_client_id_taken") == 1; }, 3s);
    EXPECT_EQ(series.at("svglogger_mqtt_client_id_taken"), 1);
    EXPECT_GE(series.at("svglogger_mqtt_reconnects_total"), 2) << "the third connection was the third one lost";
    const double reconnectsNamed = series.at("svglogger_mqtt_reconnects_total");
    site.run(15s); // the loggers go on taking the connection from each other
    series = scrape(port);
    EXPECT_EQ(series.at("svglogger_mqtt_client_id_taken"), 1);
    EXPECT_GE(series.at("svglogger_mqtt_reconnects_total"), reconnectsNamed + 3) << "a connection every 2-4 s";
    EXPECT_EQ(timesSaid(site.journal, "another client connected"), 1u) << site.journal;
    // Said one by one only before the takeover was seen: the first loss and the short ones before it.
    EXPECT_LE(timesSaid(site.journal, "mqtt: broker lost"), 3u) << site.journal;
    EXPECT_LE(timesSaid(site.journal, "mqtt: broker back"), 3u) << site.journal;

    EXPECT_EQ(other.stop(), 0);
    ASSERT_TRUE(site.journalSays("mqtt: the connection to 127.0.0.1:" + std::to_string(broker.port)
                                     + " has held 10 s: no other client takes the client id shared-id any more",
                                 20s))
        << site.journal;
    series = scrapeUntil(port, [](const Series &s) { return s.at("svglogger_mqtt_client_id_taken") == 0; }, 3s);
    EXPECT_EQ(series.at("svglogger_mqtt_client_id_taken"), 0);

    // Every message the broker acknowledged reached the subscriber; each it received twice
    // was handed over twice (one handed over twice may have reached the broker once). The
    // simulator ends, so that the figures stand still once its port is said lost.
    site.simulator.kill();
    site.run(3s);
    auto distinctAndTotal = [&] {
        std::set<std::string> distinct;
        std::size_t total = 0;
        for (const auto &m : subscriber.all())
            if (m.topic == std::string(Site::kTopic) + "/sample" || m.topic == std::string(Site::kTopic) + "/event") {
                distinct.insert(m.payload);
                ++total;
            }
        return std::pair{distinct.size(), total};
    };
    series = scrapeUntil(port, [&](const Series &s) {
        return s.at("svglogger_mqtt_queued_messages") == 0
            && s.at("svglogger_mqtt_delivered_messages_total") == static_cast<double>(distinctAndTotal().first);
    });
    const auto [distinct, total] = distinctAndTotal();
    EXPECT_GT(distinct, 100u);
    EXPECT_EQ(series.at("svglogger_mqtt_delivered_messages_total"), static_cast<double>(distinct));
    EXPECT_GE(series.at("svglogger_mqtt_repeated_messages_total"), static_cast<double>(total - distinct));
    EXPECT_EQ(series.at("svglogger_mqtt_refused_messages_total"), 0);

    timex state{};
    const int clock = ::adjtimex(&state);
    if (clock < 0)
        EXPECT_EQ(series.count("svglogger_clock_synchronised"), 0u) << "the kernel cannot say: not served";
    else
        EXPECT_EQ(series.at("svglogger_clock_synchronised"), clock != TIME_ERROR && !(state.status & STA_UNSYNC) ? 1 : 0);
    EXPECT_EQ(site.stop(), 0);
}

// A socket connected to the endpoint on 127.0.0.1 that sends nothing yet; -1 when refused or
// not accepted within a second (a full backlog drops the handshake).
int connectedSocket(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// Whether the endpoint has closed `s`: the end of the stream (or a reset) within `wait`.
bool closedWithin(int s, std::chrono::milliseconds wait)
{
    timeval timeout{static_cast<time_t>(wait.count() / 1000), static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char byte = 0;
    const ssize_t n = ::recv(s, &byte, 1, 0);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// 300 connections that send nothing and 20 that trickle a request a byte a second, the
// stalls of a careless or hostile client: scrapes are answered at once all the same, and the
// endpoint closes the idle ones at its request timeout (5 s), the trickling ones too.
TEST(MetricsEndpoint, ScrapesAreAnsweredWhileThreeHundredConnectionsIdleOrTrickle)
{
    Site site;
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    ASSERT_EQ(test::httpGet(port, "/metrics").code, 200);

    const auto opened = Clock::now();
    std::vector<int> idle, trickling;
    for (int i = 0; i < 300; ++i)
        if (const int s = connectedSocket(port); s >= 0)
            idle.push_back(s);
    for (int i = 0; i < 20; ++i)
        if (const int s = connectedSocket(port); s >= 0)
            trickling.push_back(s);
    EXPECT_EQ(idle.size(), 300u);
    EXPECT_EQ(trickling.size(), 20u);
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(100, 'a');
        for (std::size_t i = 0; i < request.size() && !stop; ++i) {
            for (const int s : trickling)
                (void)!::send(s, &request[i], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int wait = 0; wait < 10 && !stop; ++wait)
                std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(1500ms); // a byte or two of each trickle is in

    std::chrono::milliseconds slowest{0};
    for (int scrape = 0; scrape < 3; ++scrape) {
        const auto asked = Clock::now();
        const test::HttpReply reply = test::httpGet(port, "/metrics");
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
        slowest = std::max(slowest, took);
        EXPECT_EQ(reply.code, 200) << "scrape " << scrape << " after " << took.count() << " ms";
        EXPECT_NE(reply.body.find("svglogger_samples_total"), std::string::npos);
        EXPECT_LT(took, 3s) << "scrape " << scrape; // not stalled; the figure itself is reported below
    }
    std::cout << "[ measured ] slowest of 3 scrapes beside 300 idle and 20 trickling connections: " << slowest.count()
              << " ms" << std::endl;

    // Closed at the timeout: not before 3 s (the scrapes above ran beside them), by 5 s and a margin.
    int closedEarly = 0, closedInTime = 0;
    for (const int s : idle)
        closedEarly += closedWithin(s, 1ms) ? 1 : 0;
    const auto checkedAt = Clock::now();
    for (const int s : idle) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(opened + 10s - Clock::now());
        closedInTime += closedWithin(s, std::max(left, std::chrono::milliseconds(1))) ? 1 : 0;
    }
    EXPECT_GE(checkedAt - opened, 1500ms);
    EXPECT_EQ(closedEarly, 0) << "closed before the timeout";
    EXPECT_EQ(closedInTime, 300) << "idle connections still open 10 s after they were made";
    int trickleClosed = 0;
    for (const int s : trickling)
        trickleClosed += closedWithin(s, 2s) ? 1 : 0;
    EXPECT_EQ(trickleClosed, 20) << "trickling connections still open";
    stop = true;
    trickle.join();
    for (const int s : idle)
        ::close(s);
    for (const int s : trickling)
        ::close(s);
    EXPECT_EQ(test::httpGet(port, "/metrics").code, 200);
    EXPECT_EQ(site.stop(), 0);
}

// IPv6: its loopback, and every address of both families at once ("[::]" answers on IPv4 too).
TEST(MetricsEndpoint, ListensOnIpv6LoopbackAndOnEveryAddressOfBothFamilies)
{
    const int freePort = test::freeLoopbackPort();
    struct Case {
        QString listen;
        std::vector<std::string> hosts;
    };
    const Case cases[] = {
        {"[::1]:0", {"::1"}},
        {QString("[::]:%1").arg(freePort), {"::1", "127.0.0.1"}},
    };
    for (const Case &c : cases) {
        Site site;
        site.start({"--metrics-listen", c.listen});
        const int port = metricsPort(site);
        ASSERT_NE(port, 0) << c.listen.toStdString() << ": " << site.journal;
        for (const std::string &host : c.hosts) {
            const test::HttpReply reply = test::httpRequest("GET", port, "/metrics", {}, host);
            EXPECT_EQ(reply.code, 200) << c.listen.toStdString() << " from " << host;
            EXPECT_NE(reply.body.find("svglogger_build_info"), std::string::npos) << host;
        }
        EXPECT_EQ(site.stop(), 0);
    }
    // An address that is no address of this machine: a fault naming it, exit 2.
    Site site;
    site.start({"--metrics-listen", "[2001:db8::1]:9464"});
    ASSERT_TRUE(site.logger.waitForFinished(10000));
    site.journal += site.logger.readAllStandardError().toStdString();
    EXPECT_EQ(site.logger.exitCode(), 2);
    EXPECT_NE(site.journal.find("metrics-listen: cannot listen on [2001:db8::1]:9464: Cannot assign requested address"),
              std::string::npos) << site.journal;
}

// HEAD, as a load balancer's or an operator's check asks it: the headers of GET, no body.
TEST(MetricsEndpoint, HeadAnswersTheHeadersWithoutABody)
{
    Site site;
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    for (const char *path : {"/metrics", "/"}) {
        const test::HttpReply head = test::httpRequest("HEAD", port, path);
        EXPECT_EQ(head.code, 200) << path << ": " << head.headers;
        EXPECT_EQ(head.body, "") << path;
        const test::HttpReply get = test::httpGet(port, path);
        std::smatch length;
        ASSERT_TRUE(std::regex_search(head.headers, length, std::regex("Content-Length: ([0-9]+)"))) << head.headers;
        EXPECT_GT(std::stoul(length[1]), 0u);
        EXPECT_NE(head.headers.find(std::string("Content-Type: ") + (std::string(path) == "/" ? "text/html" : "text/plain")),
                  std::string::npos) << head.headers;
        if (std::string(path) == "/") {
            EXPECT_EQ(std::stoul(length[1]), get.body.size());
        }
    }
    const test::HttpReply post = test::httpRequest("POST", port, "/metrics");
    EXPECT_EQ(post.code, 405);
    EXPECT_NE(post.headers.find("Allow: GET, HEAD"), std::string::npos) << post.headers;
    EXPECT_EQ(site.stop(), 0);
}

// The process' own figures, found another way from outside: its descriptors in /proc/PID/fd,
// its start between the moments this test started it, its memory as ps(1) reads it.
TEST(MetricsEndpoint, ProcessFiguresAreTheProgramsOwn)
{
    Site site;
    const double before = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    site.start({"--metrics-listen", "127.0.0.1:0"});
    const double after = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const int port = metricsPort(site);
    ASSERT_NE(port, 0) << site.journal;
    const Series series = scrapeUntil(port, [](const Series &s) { return s.count("svglogger_samples_total") && s.at("svglogger_samples_total") > 5; });
    const std::string pid = std::to_string(site.logger.processId());
    int fds = 0;
    if (DIR *dir = ::opendir(("/proc/" + pid + "/fd").c_str())) {
        while (const dirent *entry = ::readdir(dir))
            fds += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    ASSERT_TRUE(series.count("process_open_fds")) << "no process_open_fds";
    EXPECT_NEAR(series.at("process_open_fds"), fds, 2); // the scrape's own socket comes and goes
    const double tick = 1.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    EXPECT_GE(series.at("process_start_time_seconds"), before - tick);
    EXPECT_LE(series.at("process_start_time_seconds"), after + tick);
    const test::ToolRun ps = test::runTool("ps -o rss=,vsz= -p " + pid);
    std::istringstream sizes(ps.output);
    double rssKiB = 0, vszKiB = 0;
    ASSERT_TRUE(sizes >> rssKiB >> vszKiB) << ps.output;
    EXPECT_NEAR(series.at("process_resident_memory_bytes"), rssKiB * 1024, 4 << 20);
    EXPECT_NEAR(series.at("process_virtual_memory_bytes"), vszKiB * 1024, 4 << 20);
    EXPECT_GT(series.at("process_cpu_seconds_total"), 0);
    // Room made for the 512 connections, as far as the hard limit (the program inherits this one's) allows.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_GE(series.at("process_max_fds"), std::min<double>(512 + 64, static_cast<double>(limit.rlim_max)));
    EXPECT_EQ(site.stop(), 0);
}

// The exporters' web configuration in a folder of its own: certificates openssl made, a hash
// htpasswd made; promtool accepts it as Prometheus' exporters would.
struct WebSite {
    QTemporaryDir folder;
    std::string path;
    // Starts `site` serving on a free loopback port with this web configuration: the port, 0
    // when it does not serve.
    int serve(Site &site) const
    {
        site.start({"--metrics-listen", "127.0.0.1:0", "--metrics-web-config", QString::fromStdString(path)});
        return metricsPort(site);
    }
    std::string make(const std::string &clientAuth)
    {
        for (const auto &[program, package] : {std::pair{"openssl", "openssl"}, {"htpasswd", "apache2-utils"}, {"curl", "curl"}})
            if (std::string missing = test::missingTool(program, package); !missing.empty())
                return missing;
        const std::string dir = folder.path().toStdString();
        if (std::string error = test::makeCertificates(dir); !error.empty())
            return error;
        path = dir + "/web.yml";
        std::ofstream(path) << "# The endpoint's TLS and its scrapers.\ntls_server_config:\n  cert_file: server.crt\n"
                               "  key_file: server.key\n"
                            << (clientAuth.empty() ? "" : "  client_ca_file: ca.crt\n  client_auth_type: " + clientAuth + "\n")
                            << "basic_auth_users:\n  prom: " << test::bcryptHash("s3cret") << "\n";
        const QString promtool = QStandardPaths::findExecutable("promtool");
        if (promtool.isEmpty())
            return notInstalled("promtool");
        if (const test::ToolRun check = test::runTool(promtool.toStdString() + " check web-config " + path); check.code != 0)
            return "promtool check web-config: " + check.output;
        return {};
    }
    // curl's HTTP code for an HTTPS request (000 when no answer came) and its exit code.
    std::pair<std::string, int> curl(int port, const std::string &arguments, const std::string &path = "/metrics")
    {
        const std::string dir = folder.path().toStdString();
        const test::ToolRun run = test::runTool("curl -sS -o /dev/null -w '%{http_code}' --max-time 10 --cacert " + dir
                                                + "/ca.crt " + arguments + " https://127.0.0.1:" + std::to_string(port) + path);
        return {run.output.substr(run.output.size() < 3 ? 0 : run.output.size() - 3), run.code};
    }
};

// TLS with the scrapers' bcrypt hashes: curl trusting the test CA gets the metrics with the
// right password, 401 with a wrong or none, on the landing page too; plain HTTP gets nothing.
TEST(MetricsEndpoint, WebConfigServesTlsAndChecksPasswordsAgainstBcryptHashes)
{
    WebSite web;
    ASSERT_EQ(web.make(""), "");
    Site site;
    const int port = web.serve(site);
    ASSERT_NE(port, 0) << site.journal;
    EXPECT_TRUE(site.journalSays("metrics: serving https://127.0.0.1:" + std::to_string(port) + "/metrics (basic auth, 1 user of "
                                 + web.path + ")")) << site.journal;
    EXPECT_EQ(site.journal.find("$2y$"), std::string::npos) << site.journal;
    struct Case {
        const char *arguments;
        const char *path;
        const char *code;
    };
    const Case cases[] = {
        {"-u prom:s3cret", "/metrics", "200"}, {"-u prom:s3cret", "/", "200"},     {"-u prom:wrong", "/metrics", "401"},
        {"-u other:s3cret", "/metrics", "401"}, {"", "/metrics", "401"},             {"", "/", "401"},
        {"-u prom:s3cret --head", "/metrics", "200"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(web.curl(port, c.arguments, c.path), std::make_pair(std::string(c.code), 0)) << c.arguments << " " << c.path;
    const test::ToolRun body = test::runTool("curl -sS --max-time 10 --cacert " + web.folder.path().toStdString()
                                             + "/ca.crt -u prom:s3cret https://localhost:" + std::to_string(port) + "/metrics");
    EXPECT_NE(body.output.find("svglogger_build_info"), std::string::npos) << body.output;
    EXPECT_NE(body.output.find("process_open_fds"), std::string::npos);
    EXPECT_EQ(test::httpGet(port, "/metrics").code, 0); // plain HTTP to a TLS port
    EXPECT_EQ(site.stop(), 0);
}

// Client certificates: curl with the certificate the client CA made gets in; with one another
// CA made, nothing is answered; without one, only where they are verified when given.
TEST(MetricsEndpoint, WebConfigTakesOnlyClientCertificatesItsCaMade)
{
    struct Case {
        std::string clientAuth;
        std::string journal;
        bool withoutCertificate;
    };
    const Case cases[] = {
        {"RequireAndVerifyClientCert", "(client certificates required)", false},
        {"VerifyClientCertIfGiven", "(client certificates verified when given)", true},
    };
    for (const Case &c : cases) {
        WebSite web;
        ASSERT_EQ(web.make(c.clientAuth), "");
        Site site;
        const int port = web.serve(site);
        ASSERT_NE(port, 0) << site.journal;
        EXPECT_NE(site.journal.find(c.journal), std::string::npos) << site.journal;
        const std::string dir = web.folder.path().toStdString();
        const std::string client = "--cert " + dir + "/client.crt --key " + dir + "/client.key ";
        const std::string stranger = "--cert " + dir + "/stranger.crt --key " + dir + "/stranger.key ";
        EXPECT_EQ(web.curl(port, client + "-u prom:s3cret"), std::make_pair(std::string("200"), 0)) << c.clientAuth;
        EXPECT_EQ(web.curl(port, client + "-u prom:wrong"), std::make_pair(std::string("401"), 0)) << c.clientAuth;
        const auto [strangerCode, strangerExit] = web.curl(port, stranger + "-u prom:s3cret");
        EXPECT_EQ(strangerCode, "000") << c.clientAuth;
        EXPECT_NE(strangerExit, 0) << c.clientAuth;
        const auto [code, exit] = web.curl(port, "-u prom:s3cret");
        EXPECT_EQ(code, c.withoutCertificate ? "200" : "000") << c.clientAuth;
        EXPECT_EQ(exit == 0, c.withoutCertificate) << c.clientAuth;
        EXPECT_EQ(site.stop(), 0);
    }
}

// Debian's Prometheus scrapes over TLS with its client certificate and basic auth, as a
// fleet's would: the target is up.
TEST(MetricsEndpoint, RealPrometheusScrapesOverTlsWithBasicAuth)
{
    WebSite web;
    ASSERT_EQ(web.make("RequireAndVerifyClientCert"), "");
    Site site;
    const int port = web.serve(site);
    ASSERT_NE(port, 0) << site.journal;
    const QString dir = web.folder.path();
    PrometheusServer server;
    ASSERT_EQ(server.start(QString("  - job_name: svg-logger\n    scheme: https\n"
                                   "    tls_config:\n      ca_file: %1/ca.crt\n      cert_file: %1/client.crt\n"
                                   "      key_file: %1/client.key\n"
                                   "    basic_auth:\n      username: prom\n      password: s3cret\n"
                                   "    static_configs:\n      - targets: ['127.0.0.1:%2']\n")
                               .arg(dir)
                               .arg(port)),
              "");
    EXPECT_EQ(server.waitFor("up{job=\"svg-logger\"}", [](double v) { return v == 1; }, 30s), 1.0)
        << server.process.readAll().toStdString();
    EXPECT_EQ(server.waitFor("svglogger_samples_total", [](double v) { return v > 0; }, 10s).value_or(0) > 0, true);
    EXPECT_TRUE(server.scalar("process_resident_memory_bytes"));
    EXPECT_EQ(site.stop(), 0);
}

// A web configuration that cannot be served, or a plain password on a network address: exit 2
// at start with the file and the fault, no hash and no password in the journal.
TEST(MetricsEndpoint, BadWebConfigOrPlainPasswordOnTheNetworkExitsTwo)
{
    QTemporaryDir folder;
    const QString file = folder.path() + "/web.yml";
    std::ofstream(file.toStdString()) << "basic_auth_users:\n  prom: s3cret-in-clear\n";
    struct Case {
        QStringList arguments;
        std::string said;
    };
    const Case cases[] = {
        {{"--metrics-listen", "0.0.0.0:0", "--metrics-web-config", file},
         "svg-logger-headless: metrics-web-config: " + file.toStdString()
             + ": basic_auth_users: the hash of user 'prom' is no bcrypt hash ($2y$, $2b$ or $2a$, as htpasswd -nB makes it)"},
        {{"--metrics-listen", "127.0.0.1:0", "--metrics-web-config", folder.path() + "/none.yml"},
         "svg-logger-headless: metrics-web-config: " + folder.path().toStdString()
             + "/none.yml: cannot be read: No such file or directory"},
        {{"--metrics-listen", "0.0.0.0:0", "--metrics-user", "prom"},
         "svg-logger-headless: metrics-user with a plain-text password only on a loopback address (127.0.0.1, [::1]); "
         "for 0.0.0.0:0 give the users with bcrypt hashes, and TLS, in --metrics-web-config FILE"},
    };
    for (const Case &c : cases) {
        Site site;
        {
            const test::ScopedVariable password("SVG_LOGGER_METRICS_PASSWORD", "s3cret-in-clear");
            site.start(c.arguments);
        }
        ASSERT_TRUE(site.logger.waitForFinished(10000));
        site.journal += site.logger.readAllStandardError().toStdString();
        EXPECT_EQ(site.logger.exitCode(), 2) << site.journal;
        EXPECT_NE(site.journal.find(c.said), std::string::npos) << site.journal;
        EXPECT_EQ(site.journal.find("s3cret-in-clear"), std::string::npos) << site.journal;
    }
}

} // namespace
} // namespace svglogger
