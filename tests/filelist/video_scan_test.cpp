// The directory scan over a real directory holding recordings and every kind
// of entry that must or must not be listed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>

#include "filelist/avi_duration.h"
#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "tests/filelist/avi_samples.h"

namespace {

class VideoScanTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        directory_ = new QTemporaryDir;
        ASSERT_TRUE(directory_->isValid());
        const QString problem = avisamples::makeMixedDirectory(directory_->path());
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }
    static void TearDownTestSuite() {
        delete directory_;
        directory_ = nullptr;
    }
    static QString path() { return directory_->path(); }

    static QTemporaryDir* directory_;
};

QTemporaryDir* VideoScanTest::directory_ = nullptr;

TEST_F(VideoScanTest, ListsRecordingsByNameWithSizesAndLeavesTheRestOut) {
    QVector<VideoFileEntry> entries;
    ASSERT_TRUE(scanVideoDirectory(path(), entries));
    const QVector<avisamples::ExpectedRow> expected = avisamples::mixedDirectoryRows(path());
    ASSERT_EQ(entries.size(), expected.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(entries[i].name, expected[i].name);
        EXPECT_EQ(entries[i].size, expected[i].bytes);
        // The scan leaves the duration to its caller.
        EXPECT_EQ(entries[i].duration, 0);
    }
}

TEST_F(VideoScanTest, DurationsOfTheListedEntries) {
    QVector<VideoFileEntry> entries;
    ASSERT_TRUE(scanVideoDirectory(path(), entries));
    const QVector<avisamples::ExpectedRow> expected = avisamples::mixedDirectoryRows(path());
    ASSERT_EQ(entries.size(), expected.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(aviDurationSeconds(platform::joinPath(path(), entries[i].name)),
                  expected[i].seconds)
            << entries[i].name.toStdString();
    }
}

TEST_F(VideoScanTest, AppendsToWhatTheListAlreadyHolds) {
    QVector<VideoFileEntry> entries(1);
    entries[0].name = QStringLiteral("kept");
    ASSERT_TRUE(scanVideoDirectory(path(), entries));
    ASSERT_GT(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("kept"));
}

TEST_F(VideoScanTest, DirectoriesThatCannotBeListedLeaveTheListAlone) {
    const QString notADirectory = QDir(path()).filePath(QStringLiteral("bad.avi"));
    for (const QString& directory :
         {QString(), path() + QStringLiteral("/missing"), notADirectory}) {
        QVector<VideoFileEntry> entries(1);
        EXPECT_FALSE(scanVideoDirectory(directory, entries)) << directory.toStdString();
        EXPECT_EQ(entries.size(), 1);
    }
}

TEST(VideoScan, AnEmptyDirectoryListsNothing) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    QVector<VideoFileEntry> entries;
    EXPECT_TRUE(scanVideoDirectory(empty.path(), entries));
    EXPECT_TRUE(entries.isEmpty());
}

// A directory and a recording named in bytes that are not UTF-8 are listed,
// measured and probed as themselves.
TEST(VideoScan, NamesThatAreNotUtf8AreListedAndProbedAsThemselves) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QByteArray directory = platform::encodePath(root.path()) + "/bad\xff\xfe";
    const QByteArray name = "20161205093007\xe9.avi";
    ASSERT_EQ(::mkdir(directory.constData(), 0700), 0);
    avisamples::RecordingShape threeSeconds;
    threeSeconds.frames = 15;
    ASSERT_EQ(
        avisamples::writeRecording(platform::decodePath(directory + '/' + name), threeSeconds), 0);
    const std::filesystem::path file(std::string(directory + '/' + name));
    ASSERT_TRUE(std::filesystem::is_regular_file(file));

    QVector<VideoFileEntry> entries;
    ASSERT_TRUE(scanVideoDirectory(platform::decodePath(directory), entries));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(platform::encodePath(entries[0].name), name);
    EXPECT_EQ(entries[0].size, static_cast<qint64>(std::filesystem::file_size(file)));
    EXPECT_EQ(
        aviDurationSeconds(platform::joinPath(platform::decodePath(directory), entries[0].name)),
        3);
}

}  // namespace
