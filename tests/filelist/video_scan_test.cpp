// The directory scan over a real directory holding recordings and every kind
// of entry that must or must not be listed.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "filelist/avi_duration.h"
#include "filelist/video_scan.h"
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
        EXPECT_EQ(aviDurationSeconds(recordingPath(path(), entries[i].name)), expected[i].seconds)
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

TEST(VideoScan, PathsJoinTheDirectoryAndTheNameWithOneSeparator) {
    EXPECT_EQ(recordingPath(QStringLiteral("/v"), QStringLiteral("a.avi")),
              QStringLiteral("/v/a.avi"));
    EXPECT_EQ(recordingPath(QStringLiteral("/v/"), QStringLiteral("a.avi")),
              QStringLiteral("/v/a.avi"));
}

}  // namespace
