#include "link/PortEntry.h"

#include <gtest/gtest.h>

namespace svglogger {
namespace {

TEST(PortNumberFromEntry, NumberAfterTheLastComMarker)
{
    EXPECT_EQ(portNumberFromEntry("Communications Port (COM1)"), 1);
    EXPECT_EQ(portNumberFromEntry("USB Serial Port (COM12)"), 12);
    EXPECT_EQ(portNumberFromEntry("Adapter (COM3) on hub (COM7)"), 7);
    EXPECT_EQ(portNumberFromEntry("svg-sim /run/user/0/svg-logger/ports/svg-sim (COM2)"), 2);
    EXPECT_EQ(portNumberFromEntry("(COM5"), 5);
}

TEST(PortNumberFromEntry, NoPortIsZero)
{
    EXPECT_EQ(portNumberFromEntry(""), 0);
    EXPECT_EQ(portNumberFromEntry("Printer (LPT1)"), 0);
    EXPECT_EQ(portNumberFromEntry("Port (com4)"), 0); // the marker's case counts
    EXPECT_EQ(portNumberFromEntry("Port (COM)"), 0);
    EXPECT_EQ(portNumberFromEntry("Port (COM99999)"), 0);
}

} // namespace
} // namespace svglogger
