#include "headless/HeadlessOptions.h"

#include "common/TextNumber.h"
#include "common/IniFile.h"
#include "common/ProgramVersion.h"
#include "headless/SettingsFiles.h"
#include "metrics/ListenAddress.h"
#include "mqtt/MqttMessages.h"
#include "recording/LogRecorder.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace svglogger {

namespace {

// One option: its key (the long option without "--", and the INI key), the help text, the
// name of its value (empty for a flag) and how a value is applied; an error text when the
// value cannot be taken.
struct Option {
    const char *key;
    const char *help;
    const char *valueName;
    std::function<std::string(HeadlessOptions &, const std::string &)> apply;
};

std::string endWithSeparator(std::string folder)
{
#ifdef _WIN32
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
#else
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
#endif
    return folder;
}

// A value in a message: at most 60 bytes, bytes that are no printable ASCII as \xNN.
std::string printable(const std::string &value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < value.size() && i < 60; ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
    }
    return value.size() > 60 ? text + "…" : text;
}

// The number a field holds: an optional one's, set when given.
template <typename T>
struct WholeOf {
    using type = T;
};
template <typename T>
struct WholeOf<std::optional<T>> {
    using type = T;
};

// A whole number from `low` to `high` into `field`; `what` names its unit ("seconds", or none).
template <typename T>
auto wholeFrom(T HeadlessOptions::*field, long long low, long long high, const char *what)
{
    return [=](HeadlessOptions &o, const std::string &v) {
        const std::optional<double> n = numberIfWholeText(v);
        if (!n || *n < static_cast<double>(low) || *n > static_cast<double>(high) || *n != std::floor(*n))
            return "takes a whole number " + std::string(*what ? "of " : "") + what + (*what ? " " : "") + "from "
                + std::to_string(low) + " to " + std::to_string(high) + ", not '" + printable(v) + "'";
        o.*field = static_cast<typename WholeOf<T>::type>(*n);
        return std::string();
    };
}

// An option whose value is taken as it stands.
auto asGiven(std::string HeadlessOptions::*field)
{
    return [field](HeadlessOptions &o, const std::string &v) {
        o.*field = v;
        return std::string();
    };
}

std::string flag(bool &target, const std::string &value)
{
    const std::optional<bool> on = switchIfWholeText(value);
    if (!on)
        return "takes on or off, not '" + printable(value) + "'";
    target = *on;
    return {};
}

// The passwords: an INI key only (on the command line every user of the machine would see
// them), systemd's credential of the same name, or the environment variable.
struct Password {
    const char *key;
    const char *variable;
    std::string HeadlessOptions::*field;
};
constexpr Password kPasswords[] = {
    {"mqtt-password", "SVG_LOGGER_MQTT_PASSWORD", &HeadlessOptions::mqttPassword},
    {"mqtt-key-password", "SVG_LOGGER_MQTT_KEY_PASSWORD", &HeadlessOptions::mqttKeyPassword},
    {"metrics-password", "SVG_LOGGER_METRICS_PASSWORD", &HeadlessOptions::metricsPassword},
};

const std::vector<Option> &options()
{
    static const std::vector<Option> all{
        {"port", "The port: an entry as --list-ports shows it, a virtual port's name, or a device path "
                 "(default: the first port of the list).",
         "NAME|PATH",
         asGiven(&HeadlessOptions::port)},
        {"folder", "The log folder (default ~/temp/).", "DIR",
         [](HeadlessOptions &o, const std::string &v) {
             if (v.empty())
                 return std::string("takes a folder");
             o.folder = endWithSeparator(v);
             return std::string();
         }},
        {"mode", "continuous: every line a row (default); interval: a row per interval.", "continuous|interval",
         [](HeadlessOptions &o, const std::string &v) {
             if (v != "continuous" && v != "interval")
                 return "takes continuous or interval, not '" + printable(v) + "'";
             o.samplingMode = v == "interval" ? SamplingMode::Interval : SamplingMode::Continuous;
             return std::string();
         }},
        {"interval", "The interval of the interval mode in seconds, at least 1 (default 1).", "SECONDS",
         [](HeadlessOptions &o, const std::string &v) {
             const std::optional<double> seconds = numberIfWholeText(v);
             if (!seconds)
                 return "takes a number of seconds, not '" + printable(v) + "'";
             if (readTextNumber(v) < 1.0)
                 return "takes at least 1 second, not '" + printable(v) + "'";
             o.interval = v;
             return std::string();
         }},
        {"power-flow-correction", "Power-flow correction: file names end in \"G\" (off by default).", "",
         [](HeadlessOptions &o, const std::string &v) { return flag(o.powerFlowCorrection, v); }},
        {"trigger", "Record triggered captures with the trigger settings of this INI file (default: no trigger).",
         "FILE",
         asGiven(&HeadlessOptions::triggerFile)},
        {"duration", "Stop by itself after this many seconds (default: until a signal).", "SECONDS",
         [](HeadlessOptions &o, const std::string &v) {
             const std::optional<double> seconds = numberIfWholeText(v);
             if (!seconds || *seconds <= 0)
                 return "takes a number of seconds above 0, not '" + printable(v) + "'";
             o.durationSeconds = seconds;
             return std::string();
         }},
        {"sync-seconds", "Rows reach the disk itself (fdatasync) at most every SECONDS and when a file is closed; "
                         "0: after every row (default 10).",
         "SECONDS", wholeFrom(&HeadlessOptions::syncSeconds, 0, 86400, "seconds")},
        {"keep-days", "Remove the logger's own files (Tarmin…csv) of the log folder older than DAYS, at start and "
                      "every hour (default 0: keep all).",
         "DAYS", wholeFrom(&HeadlessOptions::keepDays, 0, 36500, "days")},
        {"min-free-mb", "While the log folder's disk has less than MB free, remove the oldest of the logger's own "
                        "files first, never the open one nor the one closed last; looked at every minute "
                        "(default 0: off).",
         "MB", wholeFrom(&HeadlessOptions::minFreeMb, 0, 1'000'000'000, "MiB")},
        {"quiet", "Only faults go to the journal.", "",
         [](HeadlessOptions &o, const std::string &v) { return flag(o.quiet, v); }},
        {"mqtt", "Publish every sample to this MQTT broker: mqtt://host[:port] (1883), or mqtts://host[:port] "
                 "(8883) with TLS (default: no publishing).",
         "URL",
         [](HeadlessOptions &o, const std::string &v) {
             MqttAddress address;
             if (!parseMqttUrl(v, address))
                 return "takes mqtt://host[:port] or mqtts://host[:port], not '" + printable(v) + "'";
             o.mqttUrl = v;
             o.mqttAddress = address;
             return std::string();
         }},
        {"mqtt-ca", "The CA certificate file that signed the broker's certificate (mqtts://; default: the "
                    "system's CAs).",
         "FILE",
         asGiven(&HeadlessOptions::mqttCa)},
        {"mqtt-topic", "The topics' prefix: <prefix>/sample, <prefix>/interval, <prefix>/event, <prefix>/health, "
                       "<prefix>/status (default svg-logger/<host name>).",
         "PREFIX",
         [](HeadlessOptions &o, const std::string &v) {
             if (const std::string problem = mqtt::prefixProblem(v); !problem.empty())
                 return "takes a topic prefix the broker accepts; '" + printable(v) + "' " + problem;
             o.mqttTopic = v;
             return std::string();
         }},
        {"mqtt-publish", "samples: every decoded line on <prefix>/sample (default); rows: in the interval mode each "
                         "interval row on <prefix>/interval instead.",
         "samples|rows",
         [](HeadlessOptions &o, const std::string &v) {
             if (v != "samples" && v != "rows")
                 return "takes samples or rows, not '" + printable(v) + "'";
             o.mqttPublishRows = v == "rows";
             return std::string();
         }},
        {"mqtt-format", "json: each sample a message on <prefix>/sample (default); compact: each second's samples "
                        "in one message on <prefix>/samples, with short keys, for links that pay by the byte.",
         "json|compact",
         [](HeadlessOptions &o, const std::string &v) {
             if (v != "json" && v != "compact")
                 return "takes json or compact, not '" + printable(v) + "'";
             o.mqttCompact = v == "compact";
             return std::string();
         }},
        {"mqtt-user", "The broker's user name; the password comes from the INI key mqtt-password, systemd's "
                      "credential mqtt-password or the environment variable SVG_LOGGER_MQTT_PASSWORD, never from "
                      "the command line.",
         "NAME",
         asGiven(&HeadlessOptions::mqttUser)},
        {"mqtt-queue", "Messages (samples and events) kept in memory while the broker has not acknowledged "
                       "them; beyond, they go to the spool, or without one the oldest samples are dropped "
                       "(default 18000, an hour of samples).",
         "N", wholeFrom(&HeadlessOptions::mqttQueue, 1, 100'000'000, "messages")},
        {"mqtt-spool-mb", "What the broker has not acknowledged is kept on disk, in the state folder ($STATE_DIRECTORY, "
                          "else $XDG_STATE_HOME/svg-logger or ~/.local/state/svg-logger), up to MB; beyond, the oldest "
                          "samples are dropped first; 0: memory only, lost at stop (default 100).",
         "MB", wholeFrom(&HeadlessOptions::mqttSpoolMb, 0, 1'000'000, "MiB")},
        {"spool-min-free-mb", "The free space the MQTT spool leaves its disk for the log files: it writes nothing "
                              "that would take the disk below MB free, and below it drops its oldest samples first "
                              "(counted) to give the room back; on the log folder's disk never less than "
                              "min-free-mb, so that retention removes no CSV file for the spool; 0: no floor "
                              "(default 1024).",
         "MB", wholeFrom(&HeadlessOptions::spoolMinFreeMb, 0, 1'000'000'000, "MiB")},
        {"mqtt-client-id", "The MQTT client id (default: svg-logger- and 12 hex digits derived from /etc/machine-id "
                           "and the topic prefix, the same at every start, different on every box).",
         "ID",
         [](HeadlessOptions &o, const std::string &v) {
             if (v.empty() || v.size() > 128 || v.find_first_of("+#/") != std::string::npos
                 || std::any_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x21 || c == 0x7f; }))
                 return "takes 1 to 128 printable characters without spaces, '/', '+' or '#', not '" + printable(v) + "'";
             o.mqttClientId = v;
             return std::string();
         }},
        {"mqtt-protocol", "The MQTT version: 5 (default; the broker says why it refuses a message, and the health "
                          "message expires) or 3.1.1.",
         "5|3.1.1",
         [](HeadlessOptions &o, const std::string &v) {
             if (v != "5" && v != "3.1.1")
                 return "takes 5 or 3.1.1, not '" + printable(v) + "'";
             o.mqttProtocol = v == "5" ? MqttProtocol::Version5 : MqttProtocol::Version311;
             return std::string();
         }},
        {"mqtt-cert", "The client's certificate for mutual TLS (mqtts://), with --mqtt-key.", "FILE",
         asGiven(&HeadlessOptions::mqttCert)},
        {"mqtt-key", "The client's private key (PEM); its password, if any, comes from the INI key "
                     "mqtt-key-password, systemd's credential mqtt-key-password or SVG_LOGGER_MQTT_KEY_PASSWORD.",
         "FILE",
         asGiven(&HeadlessOptions::mqttKey)},
        {"metrics-listen", "Serve Prometheus metrics on /metrics at this address and port: 127.0.0.1:9464, "
                           "0.0.0.0:9464, [::1]:9464, [::]:9464 (IPv6 and IPv4); port 0 takes a free one, said in the journal "
                           "(default: no endpoint, no socket).",
         "ADDR:PORT",
         [](HeadlessOptions &o, const std::string &v) {
             if (!ListenAddress::parse(v))
                 return "takes a numeric address and a port from 0 to 65535 (127.0.0.1:9464, [::1]:9464), not '"
                     + printable(v) + "'";
             o.metricsListen = v;
             return std::string();
         }},
        {"metrics-user", "Ask scrapers for this user name (HTTP basic auth); the password comes from the INI key "
                         "metrics-password, systemd's credential metrics-password or SVG_LOGGER_METRICS_PASSWORD; on a loopback "
                         "address only (elsewhere --metrics-web-config).",
         "NAME",
         [](HeadlessOptions &o, const std::string &v) {
             if (v.empty() || v.find(':') != std::string::npos)
                 return "takes a name without ':', not '" + printable(v) + "'";
             o.metricsUser = v;
             return std::string();
         }},
        {"metrics-web-config", "The web configuration file Prometheus' exporters read: tls_server_config (cert_file, "
                               "key_file, client_ca_file, client_auth_type) serves HTTPS, basic_auth_users the scrapers "
                               "with bcrypt hashes (htpasswd -nB); the way for an address other than loopback.",
         "FILE",
         [](HeadlessOptions &o, const std::string &v) {
             if (v.empty())
                 return std::string("takes a file");
             o.metricsWebConfig = v;
             return std::string();
         }},
        {"metrics-timeout-s", "A scrape's connection is closed this long after it was accepted, answered or not, "
                              "however slowly it trickles (default 5).",
         "SECONDS", wholeFrom(&HeadlessOptions::metricsTimeoutSeconds, 1, 300, "seconds")},
        {"metrics-max-connections", "Connections the endpoint serves at once; beyond, new ones wait until one is "
                                    "closed (default 512).",
         "N", wholeFrom(&HeadlessOptions::metricsMaxConnections, 2, 60000, "connections")},
        {"nominal-voltage", "The grid's nominal voltage in V: the buckets of the voltage histogram are 90 % to "
                            "110 % of it (default 6600).",
         "VOLTS",
         [](HeadlessOptions &o, const std::string &v) {
             const std::optional<double> volts = numberIfWholeText(v);
             if (!volts || *volts <= 0 || *volts > 1e6)
                 return "takes a voltage above 0 up to 1000000, not '" + printable(v) + "'";
             o.nominalVoltage = *volts;
             return std::string();
         }},
        {"reactance-percent", "The percentage reactance %X (per 10 MVA) of the uncompensated voltage, as the "
                              "window's \"%X=\" box; the metric is served only when it is given.",
         "PERCENT",
         [](HeadlessOptions &o, const std::string &v) {
             const std::optional<double> percent = numberIfWholeText(v);
             if (!percent || *percent < 0 || *percent > 1000)
                 return "takes a percentage from 0 to 1000, not '" + printable(v) + "'";
             o.reactancePercent = v;
             return std::string();
         }},
    };
    return all;
}

const Option *findOption(const std::string &key)
{
    for (const Option &option : options())
        if (key == option.key)
            return &option;
    return nullptr;
}

} // namespace

bool parseMqttUrl(const std::string &url, MqttAddress &address)
{
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
        address = {{}, 1883, false};
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address = {{}, 8883, true};
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::string port;
    if (rest.starts_with('[')) {
        // An IPv6 literal: [::1] or [::1]:1883.
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        address.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return false;
            port = rest.substr(close + 2);
            if (port.empty())
                return false;
        }
        // Hex digits, colons and dots, then perhaps "%" and an interface (a link-local address).
        const std::string literal = address.host.substr(0, address.host.find('%'));
        if (literal.empty() || literal.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return false;
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            if (rest.find(':', colon + 1) != std::string::npos)
                return false; // an IPv6 address needs its brackets
            port = rest.substr(colon + 1);
            rest.resize(colon);
        }
        address.host = rest;
    }
    if (!port.empty()) {
        const std::optional<double> number = numberIfWholeText(port);
        if (!number || *number < 1 || *number > 65535 || *number != static_cast<int>(*number))
            return false;
        address.port = static_cast<int>(*number);
    }
    return !address.host.empty() && address.host.find_first_of("/?#@ ") == std::string::npos;
}

ParsedOptions parseHeadlessOptions(const QStringList &arguments, const std::string &homeFolder)
{
    ParsedOptions result;
    result.options.folder = LogRecorder::defaultLogFolder(homeFolder);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Records the SVG controller's measurement lines into CSV files without a window, as the "
        "window's Start does. SIGTERM, SIGINT and SIGHUP stop the run (ESC, files closed) and end it with 0; "
        "a second signal ends it at once.\n"
        "Exit codes: 0 after a stop, 2 for a bad option or INI file (or a metrics address that cannot be "
        "bound), 3 when the port is missing or cannot be opened at start.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the program's version.");
    const QCommandLineOption listPorts("list-ports", "Print the port list, one entry a line, and leave.");
    const QCommandLineOption config("config", "Read the options from this INI file (the same keys as the "
                                              "long options); the command line wins.", "FILE");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(listPorts);
    parser.addOption(config);
    std::map<std::string, QCommandLineOption> named;
    for (const Option &option : options()) {
        QCommandLineOption qt(option.key, option.help);
        if (*option.valueName != '\0')
            qt.setValueName(option.valueName);
        named.emplace(option.key, qt);
        parser.addOption(qt);
    }

    if (!parser.parse(QStringList{"svg-logger-headless"} + arguments)) {
        result.error = parser.errorText().toStdString();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = "unexpected argument '" + parser.positionalArguments().constFirst().toStdString() + "'";
        return result;
    }
    if (parser.isSet(help)) {
        result.print = parser.helpText().toStdString();
        return result;
    }
    if (parser.isSet(version)) {
        result.print = versionLine("svg-logger-headless");
        return result;
    }
    result.options.listPorts = parser.isSet(listPorts);

    // The file, then its drop-in folder's files in name order: the last one to set a key wins.
    const SettingsFiles settings = parser.isSet(config) ? settingsFiles(parser.value(config).toStdString()) : SettingsFiles();
    if (!settings.error.empty()) {
        result.error = settings.error;
        return result;
    }
    for (const std::string &path : settings.paths) {
        const IniFile file = IniFile::read(path);
        if (!file.ok()) {
            result.error = file.error();
            return result;
        }
        for (const IniFile::Entry &entry : file.entries()) {
            // Only in the INI file: a password on the command line would be seen by every
            // user of the machine.
            const auto password = std::find_if(std::begin(kPasswords), std::end(kPasswords),
                                               [&](const Password &p) { return entry.key == p.key; });
            if (password != std::end(kPasswords)) {
                result.options.*password->field = entry.value;
                if (QFileInfo(QString::fromStdString(path)).permissions() & QFileDevice::ReadOther)
                    result.warnings.push_back(path + " holds " + entry.key + " and every user can read it: chmod 0640 it");
                continue;
            }
            const Option *option = findOption(entry.key);
            if (!option) {
                result.error = file.where(entry, "unknown key '" + entry.key + "'");
                return result;
            }
            if (std::string why = option->apply(result.options, entry.value); !why.empty()) {
                result.error = file.where(entry, IniFile::isSecret(entry.key)
                                                     ? entry.key + ": the value is refused (not repeated here)"
                                                     : entry.key + " " + why);
                return result;
            }
        }
    }
    // systemd's LoadCredential=mqtt-password:FILE: a file only the service can read; the
    // environment wins over both.
    for (const Password &password : kPasswords) {
        std::string &target = result.options.*password.field;
        if (const QByteArray credentials = qgetenv("CREDENTIALS_DIRECTORY"); !credentials.isEmpty()) {
            QFile file(QString::fromLocal8Bit(credentials) + "/" + password.key);
            if (file.open(QIODevice::ReadOnly)) {
                QByteArray text = file.read(64 * 1024);
                while (text.endsWith('\n') || text.endsWith('\r'))
                    text.chop(1);
                target = text.toStdString();
            }
        }
        if (const QByteArray text = qgetenv(password.variable); !text.isEmpty())
            target = text.toStdString();
    }
    for (const Option &option : options()) {
        const QCommandLineOption &qt = named.at(option.key);
        if (!parser.isSet(qt))
            continue;
        const QString given = parser.value(qt);
        // The command line's bytes were decoded as UTF-8; a byte that is none became U+FFFD,
        // which must not reach a topic or an id in place of what was meant.
        if (given.contains(QChar::ReplacementCharacter)) {
            result.error = std::string("--") + option.key + " is not valid UTF-8: '" + printable(given.toStdString()) + "'";
            return result;
        }
        const std::string value = *option.valueName == '\0' ? "on" : given.toStdString();
        if (std::string why = option.apply(result.options, value); !why.empty()) {
            result.error = std::string("--") + option.key + " " + why;
            return result;
        }
    }
    if (!result.options.metricsUser.empty() && result.options.metricsPassword.empty()) {
        result.error = "metrics-user needs a password: the INI key metrics-password, systemd's credential "
                       "metrics-password or SVG_LOGGER_METRICS_PASSWORD";
        return result;
    }
    // A plain-text password crosses the network readable by anyone on the way.
    if (!result.options.metricsUser.empty() && !result.options.metricsListen.empty()
        && !ListenAddress::parse(result.options.metricsListen)->loopback()) {
        result.error = "metrics-user with a plain-text password only on a loopback address (127.0.0.1, [::1]); for "
                       + result.options.metricsListen + " give the users with bcrypt hashes, and TLS, in "
                       "--metrics-web-config FILE";
        return result;
    }
    // "~/x" is the home folder's x, as a shell would have it (a service's INI has no shell).
    std::string &folder = result.options.folder;
    if (folder.starts_with("~/")) {
        std::string home = homeFolder;
        if (home.ends_with('/'))
            home.pop_back();
        folder = home + folder.substr(1);
    }
    return result;
}

} // namespace svglogger
