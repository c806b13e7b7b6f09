#include "link/PortEntry.h"

#include <gtest/gtest.h>

namespace svglogger {
namespace {

// Windows' inventory as Qt reports it (description, port name), the entry the list shows, and
// the port that entry opens.
struct WindowsPortCase {
    const char *description;
    const char *portName;
    const char *entry;
    int number;
};

class WindowsPorts : public ::testing::TestWithParam<WindowsPortCase> {};

TEST_P(WindowsPorts, EntryEndsInItsComMarkAndOpensThatPort)
{
    const std::string entry = windowsPortEntry(GetParam().description, GetParam().portName);
    EXPECT_EQ(entry, GetParam().entry);
    EXPECT_EQ(portNumberFromEntry(entry), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Inventory, WindowsPorts, ::testing::Values(
    WindowsPortCase{"Communications Port", "COM1", "Communications Port (COM1)", 1},
    WindowsPortCase{"USB Serial Port", "COM3", "USB Serial Port (COM3)", 3},
    WindowsPortCase{"Prolific USB-to-Serial Comm Port", "COM12", "Prolific USB-to-Serial Comm Port (COM12)", 12},
    WindowsPortCase{"", "COM7", "COM7 (COM7)", 7},
    WindowsPortCase{"USB Serial Device (COM4)", "COM4", "USB Serial Device (COM4)", 4},
    // A description holding "(COM" itself: the mark after the last one counts.
    WindowsPortCase{"Hub port (COM2) adapter", "COM9", "Hub port (COM2) adapter (COM9)", 9},
    WindowsPortCase{"Bluetooth link (COM5)", "COM15", "Bluetooth link (COM5) (COM15)", 15}));

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
