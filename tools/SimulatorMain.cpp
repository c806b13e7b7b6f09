// svg-controller-sim: plays the SVG controller on a virtual serial port (a pseudo-terminal
// linked under <runtime folder>/svg-logger/ports) or on a real serial device.

#include "common/ProgramVersion.h"
#include "tools/ControllerDialogue.h"
#include "tools/LineGarbler.h"
#include "tools/MeasurementGenerator.h"
#include "tools/VirtualPort.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace svglogger;

namespace {

char g_linkToRemove[4096] = {};

// SIGINT and SIGTERM: the link goes with the simulator; unlink is safe in a handler.
extern "C" void onTerminate(int)
{
    if (g_linkToRemove[0] != '\0')
        ::unlink(g_linkToRemove);
    ::_exit(0);
}

void sendAll(int fd, const std::string &bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return; // nobody reading and the line's buffer full: the bytes are lost, as on a wire
        sent += static_cast<std::size_t>(n);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("svg-controller-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays the SVG controller for svg-logger. Waits for ESC, answers \"D:\", and on \"MN R\" CR LF\n"
        "streams a version line and then measurement lines, each ended by CR. ESC stops the stream.\n"
        "By default it opens a pseudo-terminal and links it as a virtual port:\n"
        "  <runtime folder>/svg-logger/ports/<name>  ($XDG_RUNTIME_DIR as the runtime folder)");
    parser.addHelpOption();
    const QCommandLineOption nameOption("name", "Name of the virtual port (default svg-sim).", "name", "svg-sim");
    const QCommandLineOption deviceOption("device", "Play on this serial device instead (9600 8N1).", "path");
    const QCommandLineOption versionOption("controller-version", "Controller version: 1 or 2 (default 2).", "n", "2");
    const QCommandLineOption programVersionOption("version", "Show the program's version.");
    const QCommandLineOption rateOption("rate", "Measurement lines per second (default 5).", "lines", "5");
    const QCommandLineOption statusOption("status", "Status word in hexadecimal, e.g. 10 or 30 (default 0).", "hex", "0");
    const QCommandLineOption eventOption("event-every", "A voltage dip and a load step every SECONDS.", "seconds", "0");
    const QCommandLineOption seedOption("seed", "Seed of the random values: the same seed, the same lines.", "n");
    const QCommandLineOption replayOption("replay", "Send the lines of FILE instead of generated ones.", "file");
    const QCommandLineOption garbleOption("garble", "Inject faults into this share of lines (0 to 1): truncated "
                                          "lines, junk bytes, CR LF, out-of-range fields, 40,000 characters "
                                          "without CR.", "rate", "0");
    const QCommandLineOption muteOption("mute", "Ignore ESC for the first SECONDS (a controller that does not "
                                        "answer: busy, off, a cable without receive line).", "seconds", "0");
    const QCommandLineOption paceOption("pace", "Send the characters at the pace of 9600 baud, about one a "
                                        "millisecond, as a real line does (lines arrive in pieces).");
    const QCommandLineOption silentOption("fall-silent-after", "Stop sending after LINES lines of the first stream, "
                                          "until ESC (a controller whose stream stalls).", "lines", "0");
    parser.addOptions({programVersionOption, nameOption, deviceOption, versionOption, rateOption, statusOption, eventOption, seedOption,
                       replayOption, garbleOption, muteOption, silentOption, paceOption});
    parser.process(app);
    if (parser.isSet(programVersionOption)) {
        std::fputs(svglogger::versionLine("svg-controller-sim").c_str(), stdout);
        return 0;
    }

    bool ok = true;
    MeasurementGenerator::Options options;
    options.version = parser.value(versionOption).toInt(&ok);
    if (!ok || (options.version != 1 && options.version != 2)) {
        std::fprintf(stderr, "--controller-version takes 1 or 2\n");
        return 2;
    }
    options.linesPerSecond = parser.value(rateOption).toDouble(&ok);
    if (!ok || options.linesPerSecond <= 0 || options.linesPerSecond > 1000) {
        std::fprintf(stderr, "--rate takes a number of lines per second above 0, up to 1000\n");
        return 2;
    }
    options.status = parser.value(statusOption).toInt(&ok, 16);
    if (!ok || options.status < 0 || options.status > 0xFFFF) {
        std::fprintf(stderr, "--status takes a hexadecimal word, 0 to FFFF\n");
        return 2;
    }
    options.eventEverySeconds = parser.value(eventOption).toDouble(&ok);
    if (!ok || options.eventEverySeconds < 0) {
        std::fprintf(stderr, "--event-every takes a number of seconds\n");
        return 2;
    }
    options.seed = parser.isSet(seedOption)
        ? parser.value(seedOption).toUInt(&ok)
        : static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    if (!ok) {
        std::fprintf(stderr, "--seed takes a whole number\n");
        return 2;
    }
    const double garbleRate = parser.value(garbleOption).toDouble(&ok);
    if (!ok || garbleRate < 0 || garbleRate > 1) {
        std::fprintf(stderr, "--garble takes a share from 0 to 1\n");
        return 2;
    }

    const double muteSeconds = parser.value(muteOption).toDouble(&ok);
    if (!ok || muteSeconds < 0) {
        std::fprintf(stderr, "--mute takes a number of seconds\n");
        return 2;
    }
    const long long silentAfter = parser.value(silentOption).toLongLong(&ok);
    if (!ok || silentAfter < 0) {
        std::fprintf(stderr, "--fall-silent-after takes a number of lines\n");
        return 2;
    }

    std::vector<std::string> replay;
    if (parser.isSet(replayOption)) {
        QFile file(parser.value(replayOption));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 2;
        }
        while (!file.atEnd()) {
            QByteArray line = file.readLine();
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            replay.emplace_back(line.constData(), static_cast<std::size_t>(line.size()));
        }
    }

    VirtualPort port;
    std::string error;
    if (parser.isSet(deviceOption)) {
        if (!port.openDevice(parser.value(deviceOption).toStdString(), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    } else {
        const std::string name = parser.value(nameOption).toStdString();
        if (name.empty() || name.find('/') != std::string::npos) {
            std::fprintf(stderr, "--name takes a plain name without '/'\n");
            return 2;
        }
        const std::string link = VirtualPort::portsFolder() + "/" + name;
        if (link.size() >= sizeof g_linkToRemove) {
            std::fprintf(stderr, "the link path is too long\n");
            return 2;
        }
        std::strcpy(g_linkToRemove, link.c_str());
        std::signal(SIGINT, onTerminate);
        std::signal(SIGTERM, onTerminate);
        if (!port.openPseudoTerminal(link, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("virtual port %s -> %s\n", port.linkPath().c_str(), port.devicePath().c_str());
    }
    std::printf("controller version %d, %g lines/s, seed %u\n", options.version, options.linesPerSecond, options.seed);
    std::fflush(stdout);

    ControllerDialogue dialogue;
    MeasurementGenerator generator(options);
    LineGarbler garbler(garbleRate, options.seed ^ 0x5a5a5a5au);
    std::size_t replayNext = 0;
    long long linesSent = 0;
    bool stalled = false;
    QElapsedTimer sinceStart;
    sinceStart.start();

    // With --pace the stream's characters go out through a queue, about one a millisecond.
    std::string paced;
    QTimer paceTimer;
    paceTimer.setTimerType(Qt::PreciseTimer);
    paceTimer.setInterval(1);
    QObject::connect(&paceTimer, &QTimer::timeout, [&] {
        if (paced.empty()) {
            paceTimer.stop();
            return;
        }
        sendAll(port.fd(), paced.substr(0, 1));
        paced.erase(0, 1);
    });
    const bool pace = parser.isSet(paceOption);
    auto send = [&](const std::string &bytes) {
        if (!pace) {
            sendAll(port.fd(), bytes);
            return;
        }
        paced += bytes;
        if (!paceTimer.isActive())
            paceTimer.start();
    };

    QTimer lineTimer;
    lineTimer.setTimerType(Qt::PreciseTimer);
    lineTimer.setInterval(static_cast<int>(1000.0 / options.linesPerSecond));
    QObject::connect(&lineTimer, &QTimer::timeout, [&] {
        if (silentAfter > 0 && linesSent >= silentAfter && !stalled) {
            stalled = true; // once: the stream stays stalled until ESC
            lineTimer.stop();
            return;
        }
        ++linesSent;
        std::string line;
        if (!replay.empty() || parser.isSet(replayOption)) {
            if (replayNext >= replay.size()) {
                lineTimer.stop();
                return;
            }
            line = replay[replayNext++];
        } else {
            line = generator.nextLine();
        }
        send(garbler.bytesFor(line));
    });

    QSocketNotifier reader(port.fd(), QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t n = ::read(port.fd(), buffer, sizeof buffer);
        if (n <= 0)
            return; // EAGAIN, or no one on the other end for the moment
        if (sinceStart.elapsed() < static_cast<qint64>(muteSeconds * 1000))
            return; // not answering yet
        const ControllerDialogue::State before = dialogue.state();
        const std::string reply = dialogue.receive(std::string_view(buffer, static_cast<std::size_t>(n)));
        const ControllerDialogue::State after = dialogue.state();
        if (before == ControllerDialogue::State::Streaming && after != before)
            paced.clear(); // ESC stops the stream at once: the rest of the line in flight is not sent
        send(reply);
        if (after == ControllerDialogue::State::Streaming && before != after) {
            send(generator.versionLine() + "\r");
            lineTimer.start();
        } else if (after != ControllerDialogue::State::Streaming) {
            lineTimer.stop();
        }
    });

    const int result = QCoreApplication::exec();
    port.removeLink();
    return result;
}
