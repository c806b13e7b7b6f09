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
        report.link = condition;
        EXPECT_EQ(linkSaid(report), word);
        report.portMissing = true;
        EXPECT_EQ(linkSaid(report), "port_missing") << word;
    }
}

} // namespace
} // namespace svglogger
