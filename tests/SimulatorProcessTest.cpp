#include "common/Settings.h"
#include "link/MeasurementDecoder.h"
#include "support/PtyPeer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace std::chrono_literals;

namespace svglogger {
namespace {

// The simulator as a real process on a real pseudo-terminal, seen from the logger's side.
struct Simulator {
    QTemporaryDir runtime;
    QProcess process;
    std::string link;

    explicit Simulator(const QStringList &arguments, const QString &name = "sim-test")
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        process.setProcessEnvironment(env);
        process.start(SVG_SIM_PATH, QStringList{"--name", name} + arguments);
        link = runtime.path().toStdString() + "/svg-logger/ports/" + name.toStdString();
    }
    ~Simulator()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
    bool waitForLink() const
    {
        for (int i = 0; i < 250; ++i) {
            if (QFileInfo::exists(QString::fromStdString(link)))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

std::vector<std::string> splitAtCr(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
    }
    return lines;
}

TEST(SimulatorProcess, DialogueOverThePseudoTerminalAndTheLinkGoesAtSigterm)
{
    Simulator sim({"--seed", "5"});
    ASSERT_TRUE(sim.waitForLink()) << sim.link;
    test::PtyPeer peer(sim.link);
    ASSERT_TRUE(peer.isOpen());

    EXPECT_EQ(peer.readFor(300ms), ""); // silent until woken
    peer.write("\x1b");
    EXPECT_EQ(peer.readUntil("D:", 3s), "D:");

    peer.write("MN R\r\n");
    const std::string stream = peer.readFor(2200ms);
    const std::vector<std::string> lines = splitAtCr(stream);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Ver2."), std::string::npos) << lines[0];

    Settings settings;
    MeasurementDecoder decoder(settings);
    int decoded = 0;
    for (const std::string &line : lines) {
        decoder.beginReceiveEvent();
        if (decoder.processLine(line).kind == LineOutcome::Kind::Measurement) {
            ++decoded;
            EXPECT_NEAR(decoder.sample()[MeasurementSample::GridVoltage], 6600.0f, 150.0f);
        }
    }
    EXPECT_EQ(decoder.controllerVersion(), ControllerVersion::Version2);
    // About five a second: 2.2 s bring ten or eleven; wide bounds for a loaded machine.
    EXPECT_GE(decoded, 6);
    EXPECT_LE(decoded, 14);

    peer.write("\x1b");
    peer.readFor(400ms); // what was on the way
    EXPECT_EQ(peer.readFor(700ms), "");
    peer.write("\x1b");
    EXPECT_EQ(peer.readUntil("D:", 3s), "D:");

    sim.process.terminate();
    ASSERT_TRUE(sim.process.waitForFinished(3000));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(sim.link)));
    EXPECT_FALSE(QFileInfo(QString::fromStdString(sim.link)).isSymLink());
}

TEST(SimulatorProcess, SeededRunsSendTheSameLines)
{
    std::vector<std::string> runs[2];
    for (auto &run : runs) {
        Simulator sim({"--seed", "11", "--controller-version", "1", "--rate", "20"});
        ASSERT_TRUE(sim.waitForLink());
        test::PtyPeer peer(sim.link);
        peer.write("\x1b");
        ASSERT_EQ(peer.readUntil("D:", 3s), "D:");
        peer.write("MN R\r\n");
        std::string text;
        for (int i = 0; i < 100 && splitAtCr(text).size() < 12; ++i)
            text += peer.readFor(50ms);
        run = splitAtCr(text);
        ASSERT_GE(run.size(), 12u);
        run.resize(12);
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_NE(runs[0][0].find("Ver1."), std::string::npos);
}

TEST(SimulatorProcess, ReplacesALinkLeftBehindAndRemovesItOnSigint)
{
    QTemporaryDir runtime;
    const std::string folder = runtime.path().toStdString() + "/svg-logger/ports";
    ASSERT_EQ(QProcess::execute("mkdir", {"-p", QString::fromStdString(folder)}), 0);
    const std::string stale = folder + "/stale-sim";
    ASSERT_EQ(::symlink("/dev/pts/nonexistent-99999", stale.c_str()), 0);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    process.setProcessEnvironment(env);
    process.start(SVG_SIM_PATH, {"--name", "stale-sim"});
    ASSERT_TRUE(process.waitForStarted());
    bool live = false;
    for (int i = 0; i < 250 && !live; ++i) {
        live = QFileInfo(QString::fromStdString(stale)).exists(); // the link now points somewhere
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(live);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(3000));
    EXPECT_FALSE(QFileInfo(QString::fromStdString(stale)).isSymLink());
}

TEST(SimulatorProcess, ReplaysAFilesLinesAfterTheVersionLine)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/lines.txt";
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("MN R,0000,0,6601,0,0,0,0,0\r\nMN R,0000,0,6602,0,0,0,0,0\nlast line\n");
    }
    Simulator sim({"--replay", file, "--rate", "50", "--controller-version", "1"});
    ASSERT_TRUE(sim.waitForLink());
    test::PtyPeer peer(sim.link);
    peer.write("\x1b");
    ASSERT_EQ(peer.readUntil("D:", 3s), "D:");
    peer.write("MN R\r\n");
    const std::string text = peer.readUntil("last line\r", 3s);
    EXPECT_EQ(splitAtCr(text), (std::vector<std::string>{"SVG CONTROLLER Ver1.20", "MN R,0000,0,6601,0,0,0,0,0",
                                                         "MN R,0000,0,6602,0,0,0,0,0", "last line"}));
    EXPECT_EQ(peer.readFor(300ms), ""); // the file is done: silence
}

TEST(SimulatorProcess, MutedControllerIgnoresEscapeForItsSeconds)
{
    Simulator sim({"--mute", "1.5"});
    ASSERT_TRUE(sim.waitForLink());
    test::PtyPeer peer(sim.link);
    peer.write("\x1b");
    EXPECT_EQ(peer.readFor(600ms), "");
    std::this_thread::sleep_for(1s);
    peer.write("\x1b");
    EXPECT_EQ(peer.readUntil("D:", 3s), "D:");
}

TEST(SimulatorProcess, StreamFallsSilentAfterItsLinesUntilWokenAgain)
{
    Simulator sim({"--fall-silent-after", "3", "--rate", "20"});
    ASSERT_TRUE(sim.waitForLink());
    test::PtyPeer peer(sim.link);
    peer.write("\x1b");
    ASSERT_EQ(peer.readUntil("D:", 3s), "D:");
    peer.write("MN R\r\n");
    EXPECT_EQ(splitAtCr(peer.readFor(800ms)).size(), 4u); // the version line and three lines
    // ESC stops the stalled stream; the next ESC prompts, and the stream goes on.
    peer.write("\x1b");
    peer.write("\x1b");
    ASSERT_EQ(peer.readUntil("D:", 3s), "D:");
    peer.write("MN R\r\n");
    EXPECT_GE(splitAtCr(peer.readFor(800ms)).size(), 6u);
}

TEST(SimulatorProcess, BadArgumentsAreRefusedWithAMessage)
{
    QProcess process;
    process.start(SVG_SIM_PATH, {"--controller-version", "3"});
    ASSERT_TRUE(process.waitForFinished(5000));
    EXPECT_NE(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardError().contains("--controller-version"));

    process.start(SVG_SIM_PATH, {"--help"});
    ASSERT_TRUE(process.waitForFinished(5000));
    const QByteArray help = process.readAllStandardOutput();
    for (const char *option : {"--name", "--device", "--controller-version", "--version", "--rate", "--status", "--event-every", "--seed",
                               "--replay", "--garble", "--mute", "--fall-silent-after"})
        EXPECT_TRUE(help.contains(option)) << option;
}

} // namespace
} // namespace svglogger
