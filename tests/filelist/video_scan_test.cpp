// The directory scan over a real directory holding recordings and every kind
// of entry that must or must not be listed, and the durations of what it lists.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>

#include "filelist/avi_duration.h"
#include "filelist/video_scan.h"
#include "platform/native_path.h"
#include "tests/support/sample_recordings.h"

namespace {

TEST(VideoScan, ListsRecordingsByNameWithSizesAndDurationsAndLeavesTheRestOut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString problem = avisamples::makeMixedDirectory(dir.path());
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    // The scan appends to what the list holds, and leaves durations to its caller.
    QVector<VideoFileEntry> entries(1);
    entries[0].name = QStringLiteral("kept");
    ASSERT_TRUE(scanVideoDirectory(dir.path(), entries));
    const QVector<avisamples::ExpectedRow> expected = avisamples::mixedDirectoryRows(dir.path());
    ASSERT_EQ(entries.size(), expected.size() + 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("kept"));
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const VideoFileEntry& entry = entries[i + 1];
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(entry.name, expected[i].name);
        EXPECT_EQ(entry.size, expected[i].bytes);
        EXPECT_EQ(entry.duration, 0);
        EXPECT_EQ(aviDurationSeconds(platform::joinPath(dir.path(), entry.name)),
                  expected[i].seconds);
    }
    for (const QString& directory : {QString(), dir.filePath(QStringLiteral("missing")),
                                     dir.filePath(QStringLiteral("bad.avi"))}) {
        EXPECT_FALSE(scanVideoDirectory(directory, entries)) << directory.toStdString();
        EXPECT_EQ(entries.size(), expected.size() + 1);
    }
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
