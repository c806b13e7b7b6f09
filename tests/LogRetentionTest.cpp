#include "headless/LogRetention.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace svglogger {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(LogRetention, OnlyTheLoggersOwnNamesAreItsFiles)
{
    for (const char *own : {"Tarmin7D11H40M31.csv", "Tarmin24D0H0M0G.csv", "Tarmin1D9H5M3-2.csv", "Tarmin31D23H59M59G-9999.csv"})
        EXPECT_TRUE(LogRetention::isOwnFileName(own)) << own;
    for (const char *foreign : {"Tarmin7D11H40M31.csv.bak", "notes.csv", "Tarmin7D11H40.csv", "Tarmin7D11H40M31.txt",
                                "xTarmin7D11H40M31.csv", "Tarmin123D1H1M1.csv", "Tarmin7D11H40M31-.csv",
                                "Tarmin7D11H40M31-2a.csv", "Tarmin7D11H40M31GG.csv", "TarminDHMS.csv", "Tarmin7D11H40M.csv"})
        EXPECT_FALSE(LogRetention::isOwnFileName(foreign)) << foreign;
}

struct RetentionFixture : ::testing::Test {
    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    const fs::file_time_type now = fs::file_time_type::clock::now();

    // A file of `kib` KiB last written `days` ago.
    void file(const std::string &name, double days, int kib = 1)
    {
        std::ofstream(folder / name) << std::string(static_cast<std::size_t>(kib) * 1024, 'x');
        fs::last_write_time(folder / name, now - std::chrono::duration_cast<fs::file_time_type::duration>(
                                                       std::chrono::duration<double, std::ratio<86400>>(days)));
    }
    std::vector<std::string> left() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::vector<std::string> names(const std::vector<std::string> &paths)
    {
        std::vector<std::string> out;
        for (const std::string &p : paths)
            out.push_back(fs::path(p).filename().string());
        return out;
    }
};

TEST_F(RetentionFixture, FilesOlderThanTheKeptDaysGoNothingElseAndNeverTheOpenOne)
{
    file("Tarmin1D9H0M0.csv", 40);
    file("Tarmin2D9H0M0G-2.csv", 31);
    file("Tarmin3D9H0M0.csv", 29);
    file("Tarmin4D9H0M0.csv", 45); // the open file, however old it looks
    file("notes.csv", 400);
    file("Tarmin5D9H0M0.csv.bak", 400);
    fs::create_directory(folder / "Tarmin6D9H0M0.csv"); // a folder by that name is no file of ours
    fs::create_symlink(folder / "notes.csv", folder / "Tarmin7D9H0M0.csv");
    const LogRetention::Outcome outcome =
        LogRetention::apply(folder, {30, 0}, (folder / "Tarmin4D9H0M0.csv").string(), now);
    EXPECT_EQ(names(outcome.removed), (std::vector<std::string>{"Tarmin1D9H0M0.csv", "Tarmin2D9H0M0G-2.csv"}));
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_FALSE(outcome.stillShort);
    EXPECT_EQ(left(), (std::vector<std::string>{"Tarmin3D9H0M0.csv", "Tarmin4D9H0M0.csv", "Tarmin5D9H0M0.csv.bak",
                                                "Tarmin6D9H0M0.csv", "Tarmin7D9H0M0.csv", "notes.csv"}));
    EXPECT_TRUE(LogRetention::apply(folder, {0, 0}, {}, now).removed.empty()) << "0 days: all kept";
}

// A disk with room for 100 KiB besides the files: below the floor the oldest go first, never
// the open file nor the one closed last (the newest whole hour), and the outcome says when
// nothing is left to remove.
TEST_F(RetentionFixture, BelowTheFreeSpaceFloorTheOldestGoFirst)
{
    const std::int64_t capacity = 4 * 1024 * 1024 + 100 * 1024;
    auto freeSpace = [&](const fs::path &) {
        std::int64_t used = 0;
        for (const auto &entry : fs::directory_iterator(folder))
            if (entry.is_regular_file())
                used += static_cast<std::int64_t>(entry.file_size());
        return capacity - used;
    };
    file("Tarmin1D9H0M0.csv", 3, 1024);
    file("Tarmin2D9H0M0.csv", 2, 1024);
    file("Tarmin3D9H0M0.csv", 1, 1024);   // closed last
    file("Tarmin4D9H0M0.csv", 0.5, 1024); // open
    file("keep.txt", 9, 1);
    struct Step {
        std::int64_t minFreeMb;
        std::vector<std::string> removed;
        bool stillShort;
    };
    const Step steps[] = {
        {1, {"Tarmin1D9H0M0.csv"}, false},         // 0.1 MiB free: the oldest goes, 1.1 MiB then
        {1, {}, false},                            // enough now
        {3, {"Tarmin2D9H0M0.csv"}, true},          // the last two stay: 2.1 MiB is all there is
    };
    for (const Step &step : steps) {
        const LogRetention::Outcome outcome =
            LogRetention::apply(folder, {0, step.minFreeMb}, (folder / "Tarmin4D9H0M0.csv").string(), now, freeSpace);
        EXPECT_EQ(names(outcome.removed), step.removed) << step.minFreeMb;
        EXPECT_EQ(outcome.stillShort, step.stillShort) << step.minFreeMb;
    }
    EXPECT_EQ(left(), (std::vector<std::string>{"Tarmin3D9H0M0.csv", "Tarmin4D9H0M0.csv", "keep.txt"}));
}

TEST_F(RetentionFixture, AFolderThatIsNotThereRemovesNothing)
{
    const LogRetention::Outcome outcome = LogRetention::apply(folder / "missing", {1, 0}, {}, now);
    EXPECT_TRUE(outcome.removed.empty());
    EXPECT_TRUE(outcome.failures.empty());
}

} // namespace
} // namespace svglogger
