#include "platform/ShiftJisLogFile.h"
#include "recording/CsvLayout.h"
#include "support/Cp932.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace svglogger {
namespace {

struct FileFixture : ::testing::Test {
    QTemporaryDir dir;
    ShiftJisLogFile file;
    std::string path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }
};

TEST_F(FileFixture, HeadersAreShiftJisWithCrLfAndNoByteOrderMark)
{
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
            const std::string name = "h" + std::to_string(static_cast<int>(mode)) + std::to_string(versionNumber(version)) + ".csv";
            ASSERT_EQ(file.createNew(path(name)), LogFileWriter::OpenResult::Opened);
            ASSERT_TRUE(file.writeLine(headerLine(mode, version)));
            ASSERT_TRUE(file.writeLine("2016/06/24 9:05:03,6600,10,5,-3,0"));
            file.close();
            const std::string bytes = test::readBytes(path(name));
            EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
            EXPECT_EQ(bytes.substr(0, 4), "\x8E\x9E\x8D\x8F"); // 時刻 in code page 932
            EXPECT_EQ(test::cp932ToUtf8(bytes), headerLine(mode, version) + "\r\n2016/06/24 9:05:03,6600,10,5,-3,0\r\n");
        }
    }
}

// A Qt built without the converter (ICU missing, as on many Windows builds): the headers are
// still byte for byte code page 932, and text beyond the system's own fails visibly.
TEST_F(FileFixture, HeadersNeedNoConverterAndAnUnencodableLineIsAFailure)
{
    ShiftJisLogFile withoutConverter("no-such-converter");
    for (SamplingMode mode : {SamplingMode::Continuous, SamplingMode::Interval}) {
        for (ControllerVersion version : {ControllerVersion::Older, ControllerVersion::Version2}) {
            const std::string name = "n" + std::to_string(static_cast<int>(mode)) + std::to_string(versionNumber(version)) + ".csv";
            ASSERT_EQ(withoutConverter.createNew(path(name)), LogFileWriter::OpenResult::Opened);
            ASSERT_TRUE(withoutConverter.writeLine(headerLine(mode, version)));
            withoutConverter.close();
            EXPECT_EQ(test::cp932ToUtf8(test::readBytes(path(name))), headerLine(mode, version) + "\r\n");
        }
    }
    ASSERT_EQ(withoutConverter.createNew(path("other.csv")), LogFileWriter::OpenResult::Opened);
    EXPECT_FALSE(withoutConverter.writeLine("漢字"));
    EXPECT_TRUE(withoutConverter.writeLine("a,1"));
    withoutConverter.close();
    EXPECT_EQ(test::readBytes(path("other.csv")), "a,1\r\n");
}

TEST_F(FileFixture, FullWidthSvgIsWrittenInCodePage932)
{
    ASSERT_EQ(file.createNew(path("svg.csv")), LogFileWriter::OpenResult::Opened);
    ASSERT_TRUE(file.writeLine("ＳＶＧ出力(kVar)"));
    file.close();
    EXPECT_EQ(test::readBytes(path("svg.csv")), "\x82\x72\x82\x75\x82\x66\x8F\x6F\x97\xCD(kVar)\r\n");
}

TEST_F(FileFixture, EachLineReachesTheFileAsItIsWritten)
{
    ASSERT_EQ(file.createNew(path("live.csv")), LogFileWriter::OpenResult::Opened);
    ASSERT_TRUE(file.writeLine("a,1"));
    // Read while the file is still open: nothing waits in a buffer.
    EXPECT_EQ(test::readBytes(path("live.csv")), "a,1\r\n");
    ASSERT_TRUE(file.writeLine("b,2"));
    EXPECT_EQ(test::readBytes(path("live.csv")), "a,1\r\nb,2\r\n");
}

TEST_F(FileFixture, ExistingFileIsNeverReplaced)
{
    {
        QFile existing(QString::fromStdString(path("taken.csv")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("keep me");
    }
    EXPECT_EQ(file.createNew(path("taken.csv")), LogFileWriter::OpenResult::NameTaken);
    EXPECT_EQ(test::readBytes(path("taken.csv")), "keep me");
    EXPECT_FALSE(file.writeLine("lost"));
}

TEST_F(FileFixture, MissingFoldersAreCreated)
{
    ASSERT_EQ(file.createNew(path("a/b/c/new.csv")), LogFileWriter::OpenResult::Opened);
    ASSERT_TRUE(file.writeLine("x"));
    EXPECT_EQ(test::readBytes(path("a/b/c/new.csv")), "x\r\n");
}

TEST_F(FileFixture, FolderThatCannotBeMadeFailsAndNothingCrashes)
{
    {
        QFile blocker(QString::fromStdString(path("blocker")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where a folder should be
    }
    EXPECT_EQ(file.createNew(path("blocker/sub/x.csv")), LogFileWriter::OpenResult::Failed);
    EXPECT_FALSE(file.writeLine("row"));
    file.close();
    file.close();
}

TEST_F(FileFixture, OpeningTheNextFileClosesThePrevious)
{
    ASSERT_EQ(file.createNew(path("one.csv")), LogFileWriter::OpenResult::Opened);
    ASSERT_TRUE(file.writeLine("1"));
    ASSERT_EQ(file.createNew(path("two.csv")), LogFileWriter::OpenResult::Opened);
    ASSERT_TRUE(file.writeLine("2"));
    EXPECT_EQ(test::readBytes(path("one.csv")), "1\r\n");
    EXPECT_EQ(test::readBytes(path("two.csv")), "2\r\n");
}

} // namespace
} // namespace svglogger
