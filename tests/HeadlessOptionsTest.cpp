#include "common/TextNumber.h"
#include "headless/HeadlessOptions.h"
#include "common/IniFile.h"
#include "recording/TriggerFile.h"
#include "link/Quantity.h"
#include "recording/TriggerEvaluator.h"
#include "support/ScopedVariable.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <sstream>
#include <string>
#include <vector>

namespace svglogger {
namespace {

QStringList args(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *a : list)
        out << a;
    return out;
}

struct OptionsCase {
    const char *name;
    QStringList arguments;
    const char *error; // empty: accepted
};

class HeadlessCommandLine : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(HeadlessCommandLine, IsAcceptedOrRefusedNamingTheOption)
{
    const ParsedOptions parsed = parseHeadlessOptions(GetParam().arguments, "/home/op");
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Options, HeadlessCommandLine, ::testing::Values(
    OptionsCase{"Nothing", {}, ""},
    OptionsCase{"Everything", args({"--port", "svg-sim", "--folder", "/data", "--mode", "interval", "--interval", "2.5",
                                    "--power-flow-correction", "--duration", "60", "--quiet"}), ""},
    OptionsCase{"UnknownOption", args({"--colour", "red"}), "Unknown option 'colour'."},
    OptionsCase{"MissingValue", args({"--port"}), "Missing value after '--port'."},
    OptionsCase{"BadMode", args({"--mode", "fast"}), "--mode takes continuous or interval, not 'fast'"},
    OptionsCase{"IntervalNotANumber", args({"--interval", "abc"}), "--interval takes a number of seconds, not 'abc'"},
    OptionsCase{"IntervalBelowOne", args({"--interval", "0.4"}), "--interval takes at least 1 second, not '0.4'"},
    OptionsCase{"DurationZero", args({"--duration", "0"}), "--duration takes a number of seconds above 0, not '0'"},
    OptionsCase{"StrayArgument", args({"/dev/ttyUSB0"}), "unexpected argument '/dev/ttyUSB0'"},
    OptionsCase{"SyncEveryRow", args({"--sync-seconds", "0"}), ""},
    OptionsCase{"PublishRows", args({"--mqtt-publish", "rows"}), ""},
    OptionsCase{"TopicNotUtf8", QStringList{"--mqtt-topic", QString::fromUtf8("site/\xff\xfe")},
                "--mqtt-topic is not valid UTF-8: 'site/\\xef\\xbf\\xbd\\xef\\xbf\\xbd'"},
    OptionsCase{"ProtocolThree", args({"--mqtt-protocol", "3.1.1"}), ""},
    OptionsCase{"ProtocolFour", args({"--mqtt-protocol", "4"}), "--mqtt-protocol takes 5 or 3.1.1, not '4'"},
    OptionsCase{"FormatCompact", args({"--mqtt-format", "compact"}), ""},
    OptionsCase{"FormatXml", args({"--mqtt-format", "xml"}), "--mqtt-format takes json or compact, not 'xml'"},
    OptionsCase{"ClientIdWithSlash", args({"--mqtt-client-id", "a/b"}),
                "--mqtt-client-id takes 1 to 128 printable characters without spaces, '/', '+' or '#', not 'a/b'"},
    OptionsCase{"SpoolOff", args({"--mqtt-spool-mb", "0"}), ""},
    OptionsCase{"SpoolFloorOff", args({"--spool-min-free-mb", "0"}), ""},
    OptionsCase{"SpoolFloorNegative", args({"--spool-min-free-mb", "-1"}),
                "--spool-min-free-mb takes a whole number of MiB from 0 to 1000000000, not '-1'"},
    OptionsCase{"BadValueEscaped", args({"--mode", "\x1b[2Jfast"}), "--mode takes continuous or interval, not '\\x1b[2Jfast'"},
    OptionsCase{"PublishAll", args({"--mqtt-publish", "all"}), "--mqtt-publish takes samples or rows, not 'all'"},
    OptionsCase{"SyncNegative", args({"--sync-seconds", "-1"}),
                "--sync-seconds takes a whole number of seconds from 0 to 86400, not '-1'"},
    OptionsCase{"SyncFraction", args({"--sync-seconds", "2.5"}),
                "--sync-seconds takes a whole number of seconds from 0 to 86400, not '2.5'"},
    OptionsCase{"DurationNan", args({"--duration", "nan"}), "--duration takes a number of seconds above 0, not 'nan'"},
    OptionsCase{"DurationInfinite", args({"--duration", "inf"}),
                "--duration takes a number of seconds above 0, not 'inf'"},
    OptionsCase{"QueueNan", args({"--mqtt-queue", "nan"}),
                "--mqtt-queue takes a whole number of messages from 1 to 100000000, not 'nan'"},
    OptionsCase{"SyncNan", args({"--sync-seconds", "nan"}),
                "--sync-seconds takes a whole number of seconds from 0 to 86400, not 'nan'"},
    OptionsCase{"IntervalNan", args({"--interval", "nan"}), "--interval takes a number of seconds, not 'nan'"},
    OptionsCase{"MetricsLoopback", args({"--metrics-listen", "127.0.0.1:9464"}), ""},
    OptionsCase{"MetricsAnyFreePort", args({"--metrics-listen", "0.0.0.0:0"}), ""},
    OptionsCase{"MetricsIpv6", args({"--metrics-listen", "[::1]:9464"}), ""},
    OptionsCase{"MetricsHostName", args({"--metrics-listen", "localhost:9464"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not 'localhost:9464'"},
    OptionsCase{"MetricsNoPort", args({"--metrics-listen", "127.0.0.1"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '127.0.0.1'"},
    OptionsCase{"MetricsPortTooLarge", args({"--metrics-listen", "127.0.0.1:65536"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '127.0.0.1:65536'"},
    OptionsCase{"MetricsThreeParts", args({"--metrics-listen", "10.0.1:80"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '10.0.1:80'"},
    OptionsCase{"MetricsOctetTooLarge", args({"--metrics-listen", "10.0.0.256:80"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '10.0.0.256:80'"},
    OptionsCase{"MetricsIpv6NoBrackets", args({"--metrics-listen", "::1:9464"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '::1:9464'"},
    OptionsCase{"MetricsSignedPort", args({"--metrics-listen", "127.0.0.1:+80"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '127.0.0.1:+80'"},
    OptionsCase{"MetricsUserWithoutPassword", args({"--metrics-user", "prom"}),
                "metrics-user needs a password: the INI key metrics-password, systemd's credential metrics-password or "
                "SVG_LOGGER_METRICS_PASSWORD"},
    OptionsCase{"MetricsIpv6Any", args({"--metrics-listen", "[::]:9464"}), ""},
    OptionsCase{"MetricsIpv6Garbled", args({"--metrics-listen", "[::g]:9464"}), "--metrics-listen takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '[::g]:9464'"},
    OptionsCase{"MetricsTimeout", args({"--metrics-timeout-s", "2", "--metrics-max-connections", "1000"}), ""},
    OptionsCase{"MetricsTimeoutZero", args({"--metrics-timeout-s", "0"}), "--metrics-timeout-s takes a whole number of seconds from 1 to 300, not '0'"},
    OptionsCase{"MetricsOneConnection", args({"--metrics-max-connections", "1"}), "--metrics-max-connections takes a whole number of connections from 2 to 60000, not '1'"},
    OptionsCase{"MetricsWebConfigEmpty", args({"--metrics-web-config", ""}), "--metrics-web-config takes a file"},
    OptionsCase{"MetricsWebConfigAnywhere", args({"--metrics-listen", "0.0.0.0:9464", "--metrics-web-config", "/etc/w.yml"}), ""},
    OptionsCase{"NominalZero", args({"--nominal-voltage", "0"}), "--nominal-voltage takes a voltage above 0 up to 1000000, not '0'"},
    OptionsCase{"ReactanceText", args({"--reactance-percent", "x"}), "--reactance-percent takes a percentage from 0 to 1000, not 'x'"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HeadlessOptions, DefaultsAreTheWindowsAndTheValuesAreTaken)
{
    ParsedOptions parsed = parseHeadlessOptions({}, "/home/op");
    EXPECT_EQ(parsed.options.folder, "/home/op/temp/");
    EXPECT_EQ(parsed.options.samplingMode, SamplingMode::Continuous);
    EXPECT_EQ(parsed.options.interval, "1");
    EXPECT_FALSE(parsed.options.durationSeconds);
    EXPECT_TRUE(parsed.options.port.empty());
    EXPECT_FALSE(parsed.options.spoolMinFreeMb) << "unset: the default, raised to min-free-mb where it shares the disk";
    EXPECT_EQ(parseHeadlessOptions(args({"--spool-min-free-mb", "300"}), "/home/op").options.spoolMinFreeMb, 300);
    parsed = parseHeadlessOptions(args({"--folder", "/data/site", "--mode", "interval", "--interval", "60",
                                        "--duration", "2.5", "--power-flow-correction", "--trigger", "t.ini"}),
                                  "/home/op");
    EXPECT_EQ(parsed.options.folder, "/data/site/");
    EXPECT_EQ(parsed.options.samplingMode, SamplingMode::Interval);
    EXPECT_EQ(parsed.options.interval, "60");
    EXPECT_EQ(parsed.options.durationSeconds, 2.5);
    EXPECT_TRUE(parsed.options.powerFlowCorrection);
    EXPECT_EQ(parsed.options.triggerFile, "t.ini");
}

TEST(HeadlessOptions, HelpListsEveryOptionWithItsDefaultAndVersionPrints)
{
    const ParsedOptions help = parseHeadlessOptions(args({"--help"}), "/home/op");
    for (const char *option : {"--port", "--list-ports", "--folder", "--mode", "--interval", "--power-flow-correction",
                               "--trigger", "--duration", "--config", "--quiet", "--version", "--spool-min-free-mb"})
        EXPECT_NE(help.print.find(option), std::string::npos) << option;
    EXPECT_NE(help.print.find("default ~/temp/"), std::string::npos);
    EXPECT_EQ(parseHeadlessOptions(args({"--version"}), "/home/op").print.rfind("svg-logger-headless ", 0), 0u);
}

struct ConfigFixture : ::testing::Test {
    QTemporaryDir dir;
    std::string write(const std::string &name, const std::string &text)
    {
        const std::string path = dir.path().toStdString() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
};

TEST_F(ConfigFixture, ConfigKeysAreTheOptionsAndTheCommandLineWins)
{
    const std::string ini = write("h.ini", "; the site's logger\n[General]\nport = svg-sim\nfolder=/var/log/svg\n"
                                           "mode = interval\ninterval = \"60\"\nquiet = true\n");
    const ParsedOptions parsed =
        parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini), "--interval", "10"}, "/home/op");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.port, "svg-sim");
    EXPECT_EQ(parsed.options.folder, "/var/log/svg/");
    EXPECT_EQ(parsed.options.samplingMode, SamplingMode::Interval);
    EXPECT_EQ(parsed.options.interval, "10");
    EXPECT_TRUE(parsed.options.quiet);
}

TEST_F(ConfigFixture, BadConfigNamesTheKeyAndTheLine)
{
    struct Case {
        const char *text;
        const char *error;
    };
    const Case cases[] = {
        {"port=a\n\nportt=b\n", "h.ini:3: unknown key 'portt'"},
        {"interval=ten\n", "h.ini:1: interval takes a number of seconds, not 'ten'"},
        {"quiet=maybe\n", "h.ini:1: quiet takes on or off, not 'maybe'"},
        {"[Trigger]\n", "h.ini:1: unknown section [Trigger]"},
        {"just words\n", "h.ini:1: not a key=value line: just words"},
        {"config=other.ini\n", "h.ini:1: unknown key 'config'"},
        {"port = a\nquiet = on\nport = b\n", "h.ini:3: port is given twice (also on line 1)"},
        {"folder = \"/x\" y\n", "h.ini:1: text after the quoted value of folder"},
    };
    for (const Case &c : cases) {
        const std::string ini = write("h.ini", c.text);
        const ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
        EXPECT_EQ(parsed.error, dir.path().toStdString() + "/" + c.error) << c.text;
    }
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", "/nonexistent/h.ini"}, "/h").error,
              "/nonexistent/h.ini: cannot be read: No such file or directory");
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", dir.path()}, "/h").error,
              dir.path().toStdString() + ": cannot be read: it is a folder");
    // A device or a pipe would be read for ever; a huge file is no settings file.
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", "/dev/zero"}, "/h").error,
              "/dev/zero: cannot be read: it is no regular file (a device, a pipe or a socket)");
    const std::string fifo = dir.path().toStdString() + "/fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", QString::fromStdString(fifo)}, "/h").error,
              fifo + ": cannot be read: it is no regular file (a device, a pipe or a socket)");
    const std::string large = write("large.ini", "# " + std::string(1u << 20, 'x') + "\n");
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", QString::fromStdString(large)}, "/h").error,
              large + ": cannot be read: it is larger than 1 MiB, too large for settings");
}

// A refusal goes to the journal: it names the file, the line and the key of a secret, never
// its value, whatever is wrong with the line; a quote left open is refused, not taken into the
// value. Each secret key by each kind of error.
TEST_F(ConfigFixture, BadConfigNeverRepeatsASecret)
{
    const std::string secret = "Pa55-w0rd-S3cret";
    struct Kind {
        const char *name;
        std::string (*text)(const std::string &key, const std::string &secret);
        std::string (*error)(const std::string &key); // after "<file>:"
    };
    const Kind kinds[] = {
        {"no =", [](const std::string &k, const std::string &v) { return k + " " + v + "\n"; },
         [](const std::string &k) { return "1: " + k + ": not a key=value line (its value is not repeated here)"; }},
        {"a colon", [](const std::string &k, const std::string &v) { return k + ": " + v + "\n"; },
         [](const std::string &k) { return "1: " + k + ": not a key=value line (its value is not repeated here)"; }},
        {"= within the value", [](const std::string &k, const std::string &v) { return k + " " + v + "=x\n"; },
         [](const std::string &k) { return "1: " + k + ": not a key=value line (its value is not repeated here)"; }},
        {"a space in the key",
         [](const std::string &k, const std::string &v) { return k.substr(0, k.rfind('-')) + " password = " + v + "\n"; },
         [](const std::string &k) {
             return "1: " + k.substr(0, k.rfind('-')) + ": not a key=value line (its value is not repeated here)";
         }},
        {"no closing quote", [](const std::string &k, const std::string &v) { return k + " = \"" + v + "\n"; },
         [](const std::string &k) { return "1: the value of " + k + " has no closing quote"; }},
        {"text after the quotes", [](const std::string &k, const std::string &v) { return k + " = \"" + v + "\" x\n"; },
         [](const std::string &k) { return "1: text after the quoted value of " + k; }},
        {"given twice", [](const std::string &k, const std::string &v) { return k + " = " + v + "\n" + k + " = " + v + "2\n"; },
         [](const std::string &k) { return "2: " + k + " is given twice (also on line 1)"; }},
        {"the value going on on the next line",
         [](const std::string &k, const std::string &v) { return k + " = " + v.substr(0, 4) + "\n" + v.substr(4) + "\n"; },
         [](const std::string &k) {
             return "2: not a key=value line (not repeated here: it may go on with the value of " + k + " above)";
         }},
    };
    for (const char *key : {"mqtt-password", "mqtt-key-password", "metrics-password"}) {
        ASSERT_TRUE(IniFile::isSecret(key)) << key;
        for (const Kind &kind : kinds) {
            SCOPED_TRACE(std::string(key) + ", " + kind.name);
            const std::string ini = write("h.ini", kind.text(key, secret));
            const std::string error = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h").error;
            EXPECT_EQ(error, ini + ":" + kind.error(key));
            EXPECT_EQ(error.find("S3cret"), std::string::npos) << error;
            EXPECT_EQ(error.find("Pa55"), std::string::npos) << error;
        }
    }
    // Closed quotes keep what a password may hold, a "#" after a space too.
    const std::string ini = write("h.ini", "mqtt-password = \"Pa55 #w0rd\" ; the broker's\n");
    EXPECT_EQ(parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h").options.mqttPassword,
              "Pa55 #w0rd");
}

// The one rule for a secret: the key's name says password, secret or token.
TEST(IniSecrets, AKeyIsSecretByItsName)
{
    const std::pair<const char *, bool> keys[] = {
        {"mqtt-password", true}, {"metrics-password", true}, {"mqtt-key-password", true}, {"api-token", true},
        {"Client_Secret", true}, {"MQTT-PASSWORD", true},    {"mqtt-user", false},        {"folder", false},
        {"metrics-user", false}, {"mqtt-key", false},
    };
    for (const auto &[key, secret] : keys)
        EXPECT_EQ(IniFile::isSecret(key), secret) << key;
}

// Values as an engineer writes them into /etc: comments after them, a home folder, a file
// saved by a Windows editor with its byte-order mark.
TEST_F(ConfigFixture, ValuesWithCommentsHomeFoldersAndAByteOrderMark)
{
    struct Case {
        const char *text;
        const char *folder;
    };
    const Case cases[] = {
        {"folder = /x ; note\n", "/x/"},
        {"folder = /x\t# note\n", "/x/"},
        {"folder = /x;y\n", "/x;y/"},               // no white space before it: part of the value
        {"folder = \"/x ;y\" ; note\n", "/x ;y/"}, // quoted: as it stands
        {"folder = ~/x\n", "/home/op/x/"},
        {"folder = ~\n", "/home/op/"},
        {"folder = /a/~/x\n", "/a/~/x/"},
        {"\xEF\xBB\xBF" "folder = /bom\n", "/bom/"},
    };
    for (const Case &c : cases) {
        const std::string ini = write("h.ini", c.text);
        const ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/home/op");
        EXPECT_EQ(parsed.error, "") << c.text;
        EXPECT_EQ(parsed.options.folder, c.folder) << c.text;
    }
    EXPECT_EQ(parseHeadlessOptions(args({"--folder", "~/logs"}), "/home/op/").options.folder, "/home/op/logs/");
}

// The example settings with every key uncommented, and its trigger example as a trigger file,
// are accepted as they stand.
TEST_F(ConfigFixture, TheExampleSettingsWithEveryLineUncommentedAreAccepted)
{
    std::ifstream in(SVG_EXAMPLE_INI);
    ASSERT_TRUE(in) << SVG_EXAMPLE_INI;
    std::string settings, trigger;
    int keys = 0, triggerKeys = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t equals = line.find(" = ");
        if (line.starts_with(";   ") && equals != std::string::npos) { // the trigger file's example
            trigger += line.substr(4) + "\n";
            ++triggerKeys;
        } else if (line.starts_with(';') && line.size() > 1 && std::islower(static_cast<unsigned char>(line[1]))
                   && equals != std::string::npos && line.find(' ') == equals) {
            settings += line.substr(1) + "\n";
            ++keys;
        } else {
            settings += line + "\n";
        }
    }
    EXPECT_GE(keys, 8) << "the mqtt keys and the trigger";
    EXPECT_GE(triggerKeys, 10);
    const ParsedOptions parsed =
        parseHeadlessOptions(QStringList{"--config", QString::fromStdString(write("h.ini", settings))}, "/h");
    EXPECT_EQ(parsed.error, "") << settings;
    EXPECT_FALSE(parsed.options.mqttUrl.empty());
    const TriggerFile file = TriggerFile::read(write("t.ini", trigger));
    EXPECT_EQ(file.error, "") << trigger;
}

TEST_F(ConfigFixture, TriggerFileFillsTheWindowsControlsAndKeepsItsDefaults)
{
    const TriggerFile file = TriggerFile::read(write("t.ini", "type = single\ncombination = and\n"
                                                              "pre-trigger-count = 20\nrecord-count = 200\n"
                                                              "voltage-window-out = on\nvoltage-upper = 6750\n"
                                                              "svg-output-change = on\nsvg-output-change-threshold = 50\n"
                                                              "negative-sequence-voltage-window-out = yes\n"
                                                              "negative-sequence-voltage-limit = 80\ncompare-depth = 10\n"));
    ASSERT_EQ(file.error, "");
    const TriggerSettings &s = file.settings;
    EXPECT_FALSE(s.continuousCapture());
    EXPECT_FALSE(s.orSelected());
    EXPECT_EQ(s.preTriggerCountText(), "20");
    EXPECT_EQ(s.recordCountText(), "200");
    EXPECT_TRUE(s.windowOutEnabled(0));
    EXPECT_EQ(s.limitText(0), "6750");
    EXPECT_EQ(s.limitText(1), "6300"); // left out: the window's default
    EXPECT_TRUE(s.changeEnabled(3));
    EXPECT_EQ(s.changeThresholdText(3), "50");
    EXPECT_TRUE(s.windowOutEnabled(4));
    EXPECT_EQ(s.limitText(8), "80");
    EXPECT_EQ(s.compareDepthText(), "10");
    EXPECT_EQ(file.enabledConditions, 3);
    EXPECT_TRUE(file.corrections.empty());
}

TEST_F(ConfigFixture, TriggerFileIsValidatedByTheWindowsRulesAndRefusesWhatItCannotRead)
{
    TriggerFile file = TriggerFile::read(write("t.ini", "pre-trigger-count = 100\nrecord-count = 5\ncompare-depth = 0\n"));
    ASSERT_EQ(file.error, "");
    EXPECT_EQ(file.settings.preTriggerCountText(), "5");
    EXPECT_EQ(file.settings.recordCountText(), "10");
    EXPECT_EQ(file.settings.compareDepthText(), "1");
    EXPECT_EQ(file.corrections, (std::vector<std::string>{"pre-trigger-count 100 becomes 5",
                                                          "record-count 5 becomes 10", "compare-depth 0 becomes 1"}));
    const std::pair<const char *, const char *> refused[] = {
        {"voltage-upper = high\n", "t.ini:1: voltage-upper takes a number, not 'high'"},
        {"\n\nvoltage-limit = 100\n", "t.ini:3: unknown key 'voltage-limit'"},
        {"negative-sequence-command-upper = 1\n", "t.ini:1: unknown key 'negative-sequence-command-upper'"},
        {"type = double\n", "t.ini:1: type takes single or continuous, not 'double'"},
        {"record-count = 12x\n", "t.ini:1: record-count takes a number, not '12x'"},
    };
    for (const auto &[text, error] : refused) {
        file = TriggerFile::read(write("t.ini", text));
        EXPECT_EQ(file.error, dir.path().toStdString() + "/" + error) << text;
    }
}

struct UrlCase {
    const char *url;
    bool ok;
    const char *host;
    int port;
    bool tls;
};

class MqttUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(MqttUrls, HostPortAndTls)
{
    MqttAddress address;
    ASSERT_EQ(parseMqttUrl(GetParam().url, address), GetParam().ok) << GetParam().url;
    if (GetParam().ok) {
        EXPECT_EQ(address.host, GetParam().host);
        EXPECT_EQ(address.port, GetParam().port);
        EXPECT_EQ(address.tls, GetParam().tls);
    }
}

INSTANTIATE_TEST_SUITE_P(Urls, MqttUrls, ::testing::Values(
    UrlCase{"mqtt://broker.example", true, "broker.example", 1883, false},
    UrlCase{"mqtt://10.0.0.5:11883/", true, "10.0.0.5", 11883, false},
    UrlCase{"mqtts://broker.example", true, "broker.example", 8883, true},
    UrlCase{"mqtts://broker.example:443", true, "broker.example", 443, true},
    UrlCase{"http://broker.example", false, "", 0, false},
    UrlCase{"mqtt://", false, "", 0, false},
    UrlCase{"mqtt://host:70000", false, "", 0, false},
    UrlCase{"mqtt://host:port", false, "", 0, false},
    UrlCase{"mqtt://host/path", false, "", 0, false},
    UrlCase{"mqtt://[::1]:1883", true, "::1", 1883, false},
    UrlCase{"mqtts://[fd00::5]", true, "fd00::5", 8883, true},
    UrlCase{"mqtt://[fe80::1%eth0]:1884/", true, "fe80::1%eth0", 1884, false},
    UrlCase{"mqtt://::1:1883", false, "", 0, false},   // an IPv6 address needs its brackets
    UrlCase{"mqtt://[::1", false, "", 0, false},
    UrlCase{"mqtt://[]:1883", false, "", 0, false},
    UrlCase{"mqtt://[::1]x", false, "", 0, false},
    UrlCase{"mqtt://[::1]:", false, "", 0, false},
    UrlCase{"mqtt://user@host", false, "", 0, false}));

// A plain-text metrics password only where it cannot cross a network: on a loopback address.
TEST(HeadlessOptions, PlainMetricsPasswordOnlyOnLoopback)
{
    const test::ScopedVariable password("SVG_LOGGER_METRICS_PASSWORD", "s3cret");
    for (const char *listen : {"127.0.0.1:9464", "127.3.4.5:0", "[::1]:9464"})
        EXPECT_EQ(parseHeadlessOptions(args({"--metrics-listen", listen, "--metrics-user", "prom"}), "/h").error, "")
            << listen;
    for (const char *listen : {"0.0.0.0:9464", "192.168.1.5:9464", "[::]:9464", "[::ffff:127.0.0.1]:9464"}) {
        const std::string error = parseHeadlessOptions(args({"--metrics-listen", listen, "--metrics-user", "prom"}), "/h").error;
        EXPECT_EQ(error, "metrics-user with a plain-text password only on a loopback address (127.0.0.1, [::1]); for "
                         + std::string(listen) + " give the users with bcrypt hashes, and TLS, in --metrics-web-config FILE");
        EXPECT_EQ(error.find("s3cret"), std::string::npos);
    }
    const ParsedOptions defaults = parseHeadlessOptions(args({"--metrics-listen", "127.0.0.1:0"}), "/h");
    EXPECT_EQ(defaults.options.metricsTimeoutSeconds, 5);
    EXPECT_EQ(defaults.options.metricsMaxConnections, 512);
}

// The metrics password as the MQTT one: never on the command line, the environment wins.
TEST(HeadlessOptions, MetricsPasswordFromTheIniFileOrTheEnvironment)
{
    EXPECT_EQ(parseHeadlessOptions(args({"--metrics-password", "x"}), "/h").error, "Unknown option 'metrics-password'.");
    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/h.ini";
    std::ofstream(ini) << "metrics-listen = [::1]:9464\nmetrics-user = prom\nmetrics-password = from-the-file\n"
                          "nominal-voltage = 22000\nreactance-percent = 45.5\n";
    ::chmod(ini.c_str(), 0640);
    ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.metricsListen, "[::1]:9464");
    EXPECT_EQ(parsed.options.metricsUser, "prom");
    EXPECT_EQ(parsed.options.metricsPassword, "from-the-file");
    EXPECT_EQ(parsed.options.nominalVoltage, 22000.0);
    EXPECT_EQ(parsed.options.reactancePercent, "45.5");
    EXPECT_TRUE(parsed.warnings.empty());
    {
        const test::ScopedVariable password("SVG_LOGGER_METRICS_PASSWORD", "from-the-environment");
        parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    }
    EXPECT_EQ(parsed.options.metricsPassword, "from-the-environment");
}

TEST(HeadlessOptions, MqttPasswordOnlyFromTheIniFileOrTheEnvironment)
{
    EXPECT_EQ(parseHeadlessOptions(args({"--mqtt-password", "x"}), "/h").error, "Unknown option 'mqtt-password'.");
    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/h.ini";
    std::ofstream(ini) << "mqtt = mqtts://b.example\nmqtt-user = site\nmqtt-password = from-the-file\nmqtt-queue = 500\n";
    ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.mqttPassword, "from-the-file");
    EXPECT_EQ(parsed.options.mqttQueue, 500u);
    {
        const test::ScopedVariable password("SVG_LOGGER_MQTT_PASSWORD", "from-the-environment");
        parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    }
    EXPECT_EQ(parsed.options.mqttPassword, "from-the-environment");
    EXPECT_EQ(parseHeadlessOptions(args({"--mqtt-queue", "0"}), "/h").error,
              "--mqtt-queue takes a whole number of messages from 1 to 100000000, not '0'");
}

// systemd's LoadCredential: a third source, between the INI file and the environment; an INI
// file that holds the password and every user can read is named in a warning.
TEST(HeadlessOptions, MqttPasswordFromSystemdsCredentialAndAWarningForAReadableFile)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/h.ini";
    std::ofstream(ini.toStdString()) << "mqtt-password = from-the-file\n";
    QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", ini}, "/h");
    EXPECT_TRUE(parsed.warnings.empty());
    QFile::setPermissions(ini, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    parsed = parseHeadlessOptions(QStringList{"--config", ini}, "/h");
    ASSERT_EQ(parsed.warnings.size(), 1u);
    EXPECT_EQ(parsed.warnings[0], ini.toStdString() + " holds mqtt-password and every user can read it: chmod 0640 it");

    std::ofstream(dir.path().toStdString() + "/mqtt-password") << "from-the-credential\n";
    const test::ScopedVariable credentials("CREDENTIALS_DIRECTORY", dir.path().toStdString());
    parsed = parseHeadlessOptions(QStringList{"--config", ini}, "/h");
    EXPECT_EQ(parsed.options.mqttPassword, "from-the-credential");
    const test::ScopedVariable password("SVG_LOGGER_MQTT_PASSWORD", "from-the-environment");
    parsed = parseHeadlessOptions(QStringList{"--config", ini}, "/h");
    EXPECT_EQ(parsed.options.mqttPassword, "from-the-environment");
}

// Prefixes the broker would refuse or silently discard are refused when read, naming the key.
TEST(HeadlessOptions, TopicPrefixesABrokerRefusesAreRefusedWhenRead)
{
    struct Refused {
        std::string prefix;
        const char *why;
        bool onTheCommandLine; // invalid UTF-8 reaches the program only through a file
    };
    const Refused refused[] = {
        {"site/#", "holds a wildcard", true},
        {"site/+/x", "holds a wildcard", true},
        {"trail/", "has an empty level", true},
        {"a//b", "has an empty level", true},
        {"/lead", "has an empty level", true},
        {"$SYS/x", "starts with '$'", true},
        {std::string(70000, 'a'), "is longer than MQTT's 65526 bytes", true},
        {"bad\xff\xfe/x", "is not valid UTF-8", false},
        {"tab\there", "is not valid UTF-8 (or holds a control character)", true},
    };
    QTemporaryDir dir;
    for (const auto &[prefix, why, onTheCommandLine] : refused) {
        if (onTheCommandLine) {
            const ParsedOptions line =
                parseHeadlessOptions(QStringList{"--mqtt-topic", QString::fromStdString(prefix)}, "/h");
            EXPECT_EQ(line.error.rfind("--mqtt-topic takes a topic prefix the broker accepts", 0), 0u) << line.error;
            EXPECT_NE(line.error.find(why), std::string::npos) << line.error;
            EXPECT_LT(line.error.size(), 200u) << "a long prefix is shortened in the message";
        }
        // The same from an INI file, bytes as they stand.
        const std::string ini = dir.path().toStdString() + "/topic.ini";
        std::ofstream(ini, std::ios::binary) << "mqtt-topic = " << prefix << "\n";
        const ParsedOptions file = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
        EXPECT_NE(file.error.find(":1: mqtt-topic takes a topic prefix"), std::string::npos) << file.error;
        EXPECT_NE(file.error.find(why), std::string::npos) << file.error;
    }
    for (const char *accepted : {"svg-logger/site-3", "grid/東京/svg 1", "a"}) {
        const ParsedOptions parsed = parseHeadlessOptions(QStringList{"--mqtt-topic", QString::fromUtf8(accepted)}, "/h");
        EXPECT_EQ(parsed.error, "") << accepted;
        EXPECT_EQ(parsed.options.mqttTopic, accepted);
    }
}

// Every watched quantity of the table, named by its key in a settings file, fires the
// evaluator on its own value just beyond the limit given there, and on nothing else's.
TEST(TriggerFileKeys, EachQuantityOfTheTableFiresOnTheLimitItsKeysSet)
{
    for (std::size_t k = 0; k < kTriggerQuantities.size(); ++k) {
        const TriggerQuantity &q = kTriggerQuantities[k];
        const std::string key(q.key);
        const std::string text = key + "-window-out = on\n"
            + (q.magnitude() ? key + "-limit = 3\n" : key + "-upper = 3\n" + key + "-lower = -3\n");
        const TriggerFile file = TriggerFile::fromIni(IniFile::parse(text, "t.ini"));
        ASSERT_TRUE(file.error.empty()) << file.error;
        ASSERT_EQ(file.enabledConditions, 1) << key;
        for (std::size_t other = 0; other < kTriggerQuantities.size(); ++other) {
            TriggerEvaluator evaluator(file.settings);
            evaluator.resize(1);
            MeasurementSample sample;
            sample[kTriggerQuantities[other].value] = 4; // beyond 3, and a magnitude of 4
            EXPECT_EQ(evaluator.evaluate(sample, 1), other == k) << key << " with " << kTriggerQuantities[other].key;
        }
    }
}

} // namespace
} // namespace svglogger
