#include "mqtt/MqttMessages.h"
#include "support/LinkWords.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <string>

namespace svglogger {
namespace {

std::string linkSaid(const HealthReport &report)
{
    const QByteArray payload = mqtt::healthPayload(report, {}, 1796611877234, "run-1");
    return QJsonDocument::fromJson(payload).object().value("link").toString().toStdString();
}

// The health message's "link" is the condition's word; a port missing at the start is said
// whatever the condition.
TEST(HealthReportLink, TheMessageSaysEachConditionsWord)
{
    for (const auto &[condition, word] : test::kLinkWords) {
        HealthReport report;
        report.state.link = condition;
        EXPECT_EQ(linkSaid(report), word);
        report.state.portMissing = true;
        EXPECT_EQ(linkSaid(report), "port_missing") << word;
    }
}

// Two reports are equal when every field is; their states when the link, the port, the file
// and the log file's status are, whatever the counts: a change of the state alone is news.
TEST(HealthReportEquality, EveryFieldCountsAndTheStateIsTheNews)
{
    HealthReport base;
    base.state.link = LinkCondition::Streaming;
    base.state.file = "/log/Tarmin7D11H51M17.csv";
    base.linesReceived = 12;
    base.rowsWritten = 11;
    base.freeDiskMb = 500;
    base.clockSynchronised = true;
    const struct Case {
        const char *change;
        void (*apply)(HealthReport &);
        bool stateChanged;
    } cases[] = {
        {"the link", [](HealthReport &r) { r.state.link = LinkCondition::NoData; }, true},
        {"the port missing", [](HealthReport &r) { r.state.portMissing = true; }, true},
        {"the file", [](HealthReport &r) { r.state.file = "/log/Tarmin7D11H52M00.csv"; }, true},
        {"no file", [](HealthReport &r) { r.state.file.clear(); }, true},
        {"the log file's status", [](HealthReport &r) { r.state.logError = "ログファイルに書き込めません"; }, true},
        {"the lines", [](HealthReport &r) { ++r.linesReceived; }, false},
        {"the rows", [](HealthReport &r) { ++r.rowsWritten; }, false},
        {"the free disk", [](HealthReport &r) { r.freeDiskMb.reset(); }, false},
        {"the clock", [](HealthReport &r) { r.clockSynchronised = false; }, false},
    };
    const HealthReport copy = base;
    EXPECT_TRUE(copy == base);
    EXPECT_TRUE(copy.state == base.state);
    for (const Case &c : cases) {
        HealthReport changed = base;
        c.apply(changed);
        EXPECT_FALSE(changed == base) << c.change;
        EXPECT_EQ(changed.state == base.state, !c.stateChanged) << c.change;
    }
}

} // namespace
} // namespace svglogger
