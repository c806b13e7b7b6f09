#include "common/Settings.h"
#include "link/DeviceLink.h"
#include "support/FakeLinkView.h"
#include "support/FakePort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace svglogger {
namespace {

struct LinkFixture : ::testing::Test {
    Settings settings;
    test::FakePort port;
    test::FakeLinkView view;
    DeviceLink link{settings, port, view};

    std::vector<std::string> drain()
    {
        std::vector<std::string> lines;
        while (const std::string *line = link.nextLine())
            lines.push_back(*line);
        return lines;
    }
};

TEST_F(LinkFixture, CutsLinesAtCrInArrivalOrder)
{
    link.receive("one\rtwo\rthree\rfour");
    EXPECT_EQ(drain(), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(link.receiveBuffer().text(), "four");
    link.receive("!\r");
    EXPECT_EQ(drain(), (std::vector<std::string>{"four!"}));
    EXPECT_TRUE(link.receiveBuffer().empty());
}

TEST_F(LinkFixture, EmptyLinesAreDroppedAndCrLfLeavesTheLineFeedAtTheFront)
{
    link.receive("\r\rA\r\nB\r");
    EXPECT_EQ(drain(), (std::vector<std::string>{"A", "\nB"}));
}

struct PromptCase {
    const char *buffer;
    LinkState state;
    bool answered;
};

class PromptAnswer : public ::testing::TestWithParam<PromptCase> {};

TEST_P(PromptAnswer, OnlyTheWholeBufferWhileAwaitingThePrompt)
{
    Settings settings;
    test::FakePort port;
    test::FakeLinkView view;
    DeviceLink link(settings, port, view);
    link.setLinkState(GetParam().state);
    link.receive(GetParam().buffer);
    while (link.nextLine()) {
    }
    if (GetParam().answered) {
        EXPECT_EQ(port.written, std::string("MN R\r\n"));
        EXPECT_EQ(port.written.size(), 6u);
        EXPECT_EQ(link.linkState(), LinkState::Streaming);
    } else {
        EXPECT_EQ(port.written, "");
        EXPECT_EQ(link.linkState(), GetParam().state);
    }
}

INSTANTIATE_TEST_SUITE_P(Buffers, PromptAnswer, ::testing::Values(
    PromptCase{"D:", LinkState::AwaitingPrompt, true},
    PromptCase{"line\rD:", LinkState::AwaitingPrompt, true}, // complete lines are cut first
    PromptCase{"\rD:", LinkState::AwaitingPrompt, true},
    PromptCase{"D:", LinkState::Idle, false},
    PromptCase{"D:", LinkState::Streaming, false},
    PromptCase{"D: ", LinkState::AwaitingPrompt, false},
    // The tail of a line still in flight when ESC went out, or an LF of a CR LF line end,
    // stands before the prompt without a CR: it does not block it.
    PromptCase{"xD:", LinkState::AwaitingPrompt, true},
    PromptCase{"\nD:", LinkState::AwaitingPrompt, true},
    PromptCase{",40,2350,0D:", LinkState::AwaitingPrompt, true},
    PromptCase{"D:D:", LinkState::AwaitingPrompt, true},
    PromptCase{"xD:", LinkState::Streaming, false},
    PromptCase{"d:", LinkState::AwaitingPrompt, false},
    PromptCase{"D", LinkState::AwaitingPrompt, false},
    PromptCase{"D:x", LinkState::AwaitingPrompt, false},
    PromptCase{"D:\r", LinkState::AwaitingPrompt, false}));

TEST_F(LinkFixture, TextBeforeThePromptIsDroppedNeverDecodedAsALine)
{
    link.setLinkState(LinkState::AwaitingPrompt);
    link.receive("R,0000,0,0,0,0,66");
    EXPECT_EQ(drain(), std::vector<std::string>{});
    link.receive("01,0D:");
    EXPECT_EQ(drain(), std::vector<std::string>{});
    EXPECT_EQ(port.written, "MN R\r\n");
    // Only the prompt is left, as after a prompt that came alone.
    EXPECT_EQ(link.receiveBuffer().text(), "D:");
    link.receive("MN R,1,2\r");
    EXPECT_EQ(drain(), (std::vector<std::string>{"D:MN R,1,2"}));
    EXPECT_EQ(port.written, "MN R\r\n");
}

TEST_F(LinkFixture, WakingTheControllerDropsWhatIsLeftThenSendsEscape)
{
    link.receive("MN R,0000,0,0,0,0,66");
    link.wakeController();
    EXPECT_TRUE(link.receiveBuffer().empty());
    EXPECT_EQ(port.written, "\x1b");
    EXPECT_EQ(link.linkState(), LinkState::AwaitingPrompt);
    link.receive("D:");
    drain();
    EXPECT_EQ(port.written, "\x1bMN R\r\n");
}

TEST_F(LinkFixture, PromptInTwoPiecesIsAnsweredOnceWhenComplete)
{
    link.setLinkState(LinkState::AwaitingPrompt);
    link.receive("D");
    drain();
    EXPECT_EQ(port.written, "");
    link.receive(":");
    drain();
    EXPECT_EQ(port.written, "MN R\r\n");
    // The prompt stays in the buffer; a second look at it while streaming sends nothing.
    EXPECT_EQ(link.receiveBuffer().text(), "D:");
    drain();
    EXPECT_EQ(port.written, "MN R\r\n");
    // The prompt becomes the beginning of the next line.
    link.receive("MN R,1,2\r");
    EXPECT_EQ(drain(), (std::vector<std::string>{"D:MN R,1,2"}));
}

TEST_F(LinkFixture, CommunicationLogOnlyWhileChecked)
{
    link.receive("a\r");
    drain();
    EXPECT_EQ(link.commLog().text(), "");
    EXPECT_EQ(link.commLog().insertPos(), 0);
    settings.logShown = true;
    link.receive("\rline one\rline two\r");
    drain();
    EXPECT_EQ(link.commLog().text(), "\r\nline one\r\nline two");
    EXPECT_EQ(link.commLog().insertPos(), 20);
    EXPECT_EQ(view.mirroredLog, link.commLog().text());
}

TEST_F(LinkFixture, UndelimitedTextIsBoundedToItsNewestCharacters)
{
    std::string junk(40000, 'x');
    junk[39999] = 'y';
    link.receive(junk);
    EXPECT_EQ(drain(), std::vector<std::string>{});
    EXPECT_EQ(link.receiveBuffer().text().size(), ReceiveBuffer::kMaxUndelimited);
    EXPECT_EQ(link.receiveBuffer().text().back(), 'y');
    link.receive("z\rnext\r");
    std::vector<std::string> lines = drain();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), ReceiveBuffer::kMaxUndelimited);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), "yz");
    EXPECT_EQ(lines[1], "next");
}

TEST_F(LinkFixture, LongLineBehindAShortOneIsBoundedToo)
{
    link.receive("short\r" + std::string(50000, 'q') + "\rend\r");
    std::vector<std::string> lines = drain();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "short");
    EXPECT_EQ(lines[1], std::string(ReceiveBuffer::kMaxUndelimited, 'q'));
    EXPECT_EQ(lines[2], "end");
}

TEST_F(LinkFixture, LineOfExactlyTheBoundIsKeptWhole)
{
    std::string line(ReceiveBuffer::kMaxUndelimited, 'a');
    line.front() = 'F';
    link.receive(line + "\r");
    std::vector<std::string> lines = drain();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], line);
}

} // namespace
} // namespace svglogger
