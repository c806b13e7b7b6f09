#include "link/PortEntry.h"
#include "platform/PortInventory.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QSerialPortInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace svglogger {
namespace {

TEST(PortInventory, VirtualPortsFirstByNameThenTheSystemsEachEndingInItsNumber)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    const QString folder = runtime.path() + "/svg-logger/ports";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::symlink("/dev/null", (folder + "/zeta").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("/dev/null", (folder + "/alpha").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("/nonexistent/pts/77", (folder + "/stale").toUtf8().constData()), 0);
    EXPECT_EQ(PortInventory::virtualPortsFolder(), folder);

    PortInventory inventory;
    const QString result = inventory.discoverSerialPorts();
    const QStringList entries = result.isEmpty() ? QStringList() : result.split("\r\n");
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries.size(), 2 + QSerialPortInfo::availablePorts().size()); // the stale link is no port
    EXPECT_FALSE(result.endsWith("\r\n"));
    EXPECT_TRUE(entries[0].startsWith("alpha")) << entries[0].toStdString();
    EXPECT_TRUE(entries[1].startsWith("zeta")) << entries[1].toStdString();
    for (int i = 0; i < entries.size(); ++i) {
        EXPECT_TRUE(entries[i].endsWith(QString("(COM%1)").arg(i + 1))) << entries[i].toStdString();
        EXPECT_EQ(portNumberFromEntry(entries[i].toStdString()), i + 1);
    }
    EXPECT_EQ(inventory.deviceForPort(1), folder + "/alpha");
    EXPECT_EQ(inventory.deviceForPort(2), folder + "/zeta");
    EXPECT_EQ(inventory.deviceForPort(0), QString());
    EXPECT_EQ(inventory.deviceForPort(static_cast<int>(entries.size()) + 1), QString());
}

TEST(PortInventory, NoPortsFolderGivesOnlyTheSystemsPorts)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    PortInventory inventory;
    const QString result = inventory.discoverSerialPorts();
    EXPECT_EQ(result.isEmpty() ? 0 : result.split("\r\n").size(), QSerialPortInfo::availablePorts().size());
}

} // namespace
} // namespace svglogger
