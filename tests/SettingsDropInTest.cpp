#include "headless/HeadlessOptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace svglogger {
namespace {

// headless.ini and the files of headless.d/ as a site lays them out; each case says which file
// must have the last word on `interval` and `quiet`.
struct DropInCase {
    const char *name;
    std::vector<std::pair<const char *, const char *>> dropIns; // file name in headless.d/, text
    QStringList extraArguments;
    const char *interval;
    bool quiet;
};

void PrintTo(const DropInCase &c, std::ostream *out) { *out << c.name; }

class SettingsDropIns : public ::testing::TestWithParam<DropInCase> {};

TEST_P(SettingsDropIns, AreReadAfterTheFileInNameOrderAndTheLastKeyWins)
{
    const DropInCase &c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string ini = dir.path().toStdString() + "/headless.ini";
    std::ofstream(ini) << "port = /dev/ttyUSB0\nmode = interval\ninterval = 60\nquiet = off\n";
    const std::filesystem::path folder = dir.path().toStdString() + "/headless.d";
    std::filesystem::create_directory(folder);
    for (const auto &[name, text] : c.dropIns) {
        if (std::string(name).ends_with("/"))
            std::filesystem::create_directory(folder / name);
        else
            std::ofstream(folder / name) << text;
    }
    const ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)} + c.extraArguments, "/h");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.port, "/dev/ttyUSB0"); // set in headless.ini alone
    EXPECT_EQ(parsed.options.samplingMode, SamplingMode::Interval);
    EXPECT_EQ(parsed.options.interval, c.interval);
    EXPECT_EQ(parsed.options.quiet, c.quiet);
}

INSTANTIATE_TEST_SUITE_P(Order, SettingsDropIns, ::testing::Values(
    DropInCase{"NoneLeavesTheFile", {}, {}, "60", false},
    DropInCase{"OneOverridesAKeyAndAddsNone", {{"50-site.ini", "interval = 10\n"}}, {}, "10", false},
    // Byte order of the names as systemd and run-parts read theirs: "10-" before "9-".
    DropInCase{"TheLaterNameWins",
               {{"9-late.ini", "interval = 15\n"}, {"10-early.ini", "interval = 30\nquiet = on\n"}}, {}, "15", true},
    DropInCase{"OnlyIniFilesNotHiddenNorFolders",
               {{"20-site.ini", "interval = 20\n"}, {"30-old.ini.dpkg-old", "interval = 1\n"}, {"README", "not = read\n"},
                {".40-hidden.ini", "interval = 2\n"}, {"50-folder.ini/", ""}, {"60-site.ini~", "interval = 3\n"}},
               {}, "20", false},
    DropInCase{"TheCommandLineWinsOverAll", {{"50-site.ini", "interval = 10\nquiet = on\n"}}, {"--interval", "5"}, "5", true}),
    [](const ::testing::TestParamInfo<DropInCase> &info) { return std::string(info.param.name); });

// A fault in a drop-in file is named by that file and line; a password in one every user can
// read is warned about by its own name.
TEST(SettingsDropIns, AFaultOrAReadablePasswordNamesTheDropInFile)
{
    QTemporaryDir dir;
    const std::string ini = dir.path().toStdString() + "/site2.ini";
    std::ofstream(ini) << "port = /dev/ttyUSB1\n";
    std::filesystem::create_directory(dir.path().toStdString() + "/site2.d");
    const std::string secret = dir.path().toStdString() + "/site2.d/10-broker.ini";
    std::ofstream(secret) << "mqtt = mqtt://broker.example:1883\nmqtt-password = s3cret\n";
    QFile::setPermissions(QString::fromStdString(secret), QFileDevice::ReadOwner | QFileDevice::ReadOther);
    ParsedOptions parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.mqttPassword, "s3cret");
    EXPECT_EQ(parsed.options.mqttAddress.host, "broker.example");
    ASSERT_EQ(parsed.warnings.size(), 1u);
    EXPECT_EQ(parsed.warnings[0], secret + " holds mqtt-password and every user can read it: chmod 0640 it");

    const std::string bad = dir.path().toStdString() + "/site2.d/20-typo.ini";
    std::ofstream(bad) << "; a typo\nintervall = 10\n";
    parsed = parseHeadlessOptions(QStringList{"--config", QString::fromStdString(ini)}, "/h");
    EXPECT_EQ(parsed.error.rfind(bad + ":2:", 0), 0u) << parsed.error;
}

} // namespace
} // namespace svglogger
