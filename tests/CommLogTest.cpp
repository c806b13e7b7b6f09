#include "link/CommLog.h"
#include "support/FakeLinkView.h"

#include <gtest/gtest.h>

#include <string>

namespace svglogger {
namespace {

TEST(CommLog, EachLineGoesInAfterALineBreak)
{
    test::FakeLinkView view;
    CommLog log(view);
    log.addLine("first");
    log.addLine("second");
    EXPECT_EQ(log.text(), "\r\nfirst\r\nsecond");
    EXPECT_EQ(log.insertPos(), 15);
    EXPECT_EQ(view.mirroredLog, log.text());
}

TEST(CommLog, PastTenThousandTheHeadGoesUpToTheFirstBreakFromCharacter5000)
{
    test::FakeLinkView view;
    CommLog log(view);
    const std::string line(98, 'x'); // 100 characters per entry with its line break
    for (int i = 0; i < 100; ++i)
        log.addLine(line);
    ASSERT_EQ(log.text().size(), 10000u);
    log.addLine("last");
    // 10,006 characters: the first CR LF at or after character 5000 is the one that starts
    // entry 51 (1-based 5001); everything up to and including it goes.
    EXPECT_EQ(log.text().size(), 10006u - 5002u);
    EXPECT_EQ(log.text().substr(0, 98), line);
    EXPECT_EQ(log.text().substr(log.text().size() - 6), "\r\nlast");
    EXPECT_EQ(log.insertPos(), static_cast<std::int32_t>(log.text().size()));
    EXPECT_EQ(view.mirroredLog, log.text());
    // The next line still goes in at the end.
    log.addLine("more");
    EXPECT_EQ(log.text().substr(log.text().size() - 6), "\r\nmore");
}

TEST(CommLog, BreakExactlyAtCharacter5000Counts)
{
    test::FakeLinkView view;
    CommLog log(view);
    // "\r\n" + 4997 chars puts the next CR at 1-based position 5000.
    log.addLine(std::string(4997, 'a'));
    log.addLine(std::string(5100, 'b'));
    EXPECT_EQ(log.text(), std::string(5100, 'b'));
    EXPECT_EQ(log.insertPos(), 5100);
}

TEST(CommLog, WithoutABreakPastCharacter5000CharactersGoOneByOneUntilItFits)
{
    test::FakeLinkView view;
    CommLog log(view);
    log.addLine(std::string(20000, 'z'));
    EXPECT_EQ(log.text().size(), 10000u);
    EXPECT_EQ(log.text(), std::string(10000, 'z'));
    EXPECT_EQ(log.insertPos(), 10000);
    EXPECT_EQ(view.mirroredLog, log.text());
}

TEST(CommLog, RepeatedTrimsKeepTheLogAtOrBelowTheLimit)
{
    test::FakeLinkView view;
    CommLog log(view);
    for (int i = 0; i < 2000; ++i) {
        log.addLine("MN R,0000,0," + std::to_string(6000 + i) + ",0,100,-50,20,0");
        ASSERT_LE(log.text().size(), 10000u);
        ASSERT_EQ(log.insertPos(), static_cast<std::int32_t>(log.text().size()));
    }
    EXPECT_EQ(view.mirroredLog, log.text());
    const std::string newest = "\r\nMN R,0000,0,7999,0,100,-50,20,0";
    EXPECT_EQ(log.text().substr(log.text().size() - newest.size()), newest);
}

} // namespace
} // namespace svglogger
