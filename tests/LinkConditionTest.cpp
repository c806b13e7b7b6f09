#include "pipeline/LinkCondition.h"
#include "support/LinkWords.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace svglogger {
namespace {

// Each condition has its word, in the enum's order, and no two share one.
TEST(LinkConditionNames, EachConditionHasItsWord)
{
    ASSERT_EQ(test::kLinkWords.size(), kLinkConditionCount) << "a condition without a word in the test's table";
    std::set<std::string> words;
    for (std::size_t i = 0; i < kLinkConditionCount; ++i) {
        const auto &[condition, word] = test::kLinkWords[i];
        EXPECT_EQ(static_cast<std::size_t>(condition), i);
        EXPECT_EQ(linkConditionName(condition), word);
        words.insert(linkConditionName(condition));
    }
    EXPECT_EQ(words.size(), kLinkConditionCount);
}

} // namespace
} // namespace svglogger
