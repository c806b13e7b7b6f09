#include "headless/Journal.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace svglogger {
namespace {

TEST(Journal, OneLineEachAndOnlyFaultsWhenQuiet)
{
    for (bool quiet : {false, true}) {
        std::ostringstream out;
        Journal journal(out, quiet);
        journal.info("start: port x");
        journal.fileOpened("/log/a.csv");
        journal.statusChanged({StatusCause::PortLost, "COMポート切断 — 再接続を待っています"});
        journal.statusChanged({});
        journal.triggerFired();
        journal.fileClosed("/log/a.csv", 12);
        journal.summary(300, 299, LinkState::Streaming, false);
        journal.summary(300, 299, LinkState::AwaitingPrompt, true);
        const std::string all = "start: port x\nfile opened: /log/a.csv\nstatus: COMポート切断 — 再接続を待っています\n"
                                "status cleared\ntrigger fired\nfile closed: /log/a.csv, 12 rows\n"
                                "summary: 300 lines received, 299 rows written, link streaming\n"
                                "summary: 300 lines received, 299 rows written, link waiting for the port\n";
        EXPECT_EQ(out.str(), quiet ? "status: COMポート切断 — 再接続を待っています\n" : all);
    }
}

// Faults <3> (rows not recorded), warnings <4> (the run waits and retries), the rest <6>;
// plain lines where standard error is no journal. Quiet keeps faults and warnings.
TEST(Journal, EachLineCarriesItsLevelForTheJournal)
{
    struct Case {
        void (*say)(Journal &);
        const char *withLevels;
        bool quietKeeps;
    };
    const Case cases[] = {
        {[](Journal &j) { j.info("start: x"); }, "<6>start: x\n", false},
        {[](Journal &j) { j.warning("mqtt: broker lost"); }, "<4>mqtt: broker lost\n", true},
        {[](Journal &j) { j.fault("svg-logger-headless: bad"); }, "<3>svg-logger-headless: bad\n", true},
        {[](Journal &j) { j.statusChanged({StatusCause::CannotCreateFile, "ログファイルを作成できません: /x.csv: Read-only file system"}); },
         "<3>status: ログファイルを作成できません: /x.csv: Read-only file system\n", true},
        {[](Journal &j) { j.statusChanged({StatusCause::CannotWriteFile, "ログファイルに書き込めません: /x.csv"}); }, "<3>status: ログファイルに書き込めません: /x.csv\n", true},
        {[](Journal &j) { j.statusChanged({StatusCause::CannotOpenPort, "COMポートを開けません: nowhere"}); }, "<3>status: COMポートを開けません: nowhere\n", true},
        {[](Journal &j) { j.statusChanged({StatusCause::PortLost, "COMポート切断 — 再接続を待っています"}); },
         "<4>status: COMポート切断 — 再接続を待っています\n", true},
        {[](Journal &j) { j.statusChanged({StatusCause::NoData, "データが届きません — 再接続しています"}); },
         "<4>status: データが届きません — 再接続しています\n", true},
        {[](Journal &j) { j.statusChanged({}); }, "<6>status cleared\n", false},
        {[](Journal &j) { j.fileOpened("/x.csv"); }, "<6>file opened: /x.csv\n", false},
    };
    for (const Case &c : cases) {
        std::ostringstream levels, plain, quiet;
        Journal withLevels(levels, false, true), without(plain, false), quietOne(quiet, true, true);
        c.say(withLevels);
        c.say(without);
        c.say(quietOne);
        EXPECT_EQ(levels.str(), c.withLevels);
        EXPECT_EQ(plain.str(), std::string(c.withLevels).substr(3));
        EXPECT_EQ(quiet.str(), c.quietKeeps ? c.withLevels : "") << c.withLevels;
    }
}

} // namespace
} // namespace svglogger
