// Free space of the filesystem that holds, or will hold, a directory.
#include "platform/disk_space.h"
#include "platform/native_path.h"
#include "scoped_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace {

constexpr qint64 kMiB = qint64{1} << 20;
// Nobody else writes to this filesystem, so its figures stay put.
constexpr qint64 kTmpfsSize = 20 * kMiB;
constexpr qint64 kUntouched = -12345;

// df's "avail" column, in bytes: an oracle computed outside our code.
qint64 dfAvailableBytes(const QString& path) {
    QProcess df;
    df.start(QStringLiteral("df"), {QStringLiteral("--output=avail"), QStringLiteral("-B1"), path});
    if (!df.waitForFinished(10000) || df.exitCode() != 0) {
        return -1;
    }
    const QList<QByteArray> lines = df.readAllStandardOutput().trimmed().split('\n');
    return lines.size() == 2 ? lines[1].trimmed().toLongLong() : -1;
}

bool writeFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray block(static_cast<int>(kMiB), 'x');
    for (qint64 written = 0; written < size; written += block.size()) {
        if (file.write(block) != block.size()) {
            return false;
        }
    }
    return file.flush();
}

class DriveFreeSpaceOnTmpfs : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs_.mounted()) {
            GTEST_SKIP() << "cannot mount a private tmpfs: " << fs_.error().toStdString();
        }
    }
    ScopedTmpfs fs_{"size=20m"};
};

TEST_F(DriveFreeSpaceOnTmpfs, ExistingDirectoryGivesItsFilesystemsAvailableBytes) {
    qint64 bytes = kUntouched;
    ASSERT_EQ(driveFreeSpace(fs_.path(), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize);
    EXPECT_EQ(bytes, dfAvailableBytes(fs_.path()));

    ASSERT_TRUE(writeFile(fs_.path() + QStringLiteral("/filler"), 3 * kMiB));
    ASSERT_EQ(driveFreeSpace(fs_.path(), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize - 3 * kMiB);
    EXPECT_EQ(bytes, dfAvailableBytes(fs_.path()));
}

TEST_F(DriveFreeSpaceOnTmpfs, MissingDirectoryGivesItsNearestExistingParentsFilesystem) {
    ASSERT_TRUE(writeFile(fs_.path() + QStringLiteral("/filler"), 2 * kMiB));
    qint64 bytes = kUntouched;
    ASSERT_EQ(driveFreeSpace(fs_.path() + QStringLiteral("/not/yet/there"), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize - 2 * kMiB);

    // A trailing separator and "." / ".." pieces resolve the same way.
    bytes = kUntouched;
    ASSERT_EQ(driveFreeSpace(fs_.path() + QStringLiteral("/new/../other/./dir/"), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize - 2 * kMiB);
}

TEST_F(DriveFreeSpaceOnTmpfs, RelativePathResolvesAgainstTheWorkingDirectory) {
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(fs_.path()));
    qint64 bytes = kUntouched;
    const int status = driveFreeSpace(QStringLiteral("TessalySave"), bytes);
    QDir::setCurrent(saved);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(bytes, kTmpfsSize);
}

TEST_F(DriveFreeSpaceOnTmpfs, PathBelowAPlainFileGivesTheFilesFilesystem) {
    const QString file = fs_.path() + QStringLiteral("/plain");
    ASSERT_TRUE(writeFile(file, kMiB));
    qint64 bytes = kUntouched;
    ASSERT_EQ(driveFreeSpace(file + QStringLiteral("/below"), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize - kMiB);
}

// A directory whose name is not UTF-8, with a filesystem of its own: a
// mangled name would be missing and measure the outer filesystem instead.
TEST_F(DriveFreeSpaceOnTmpfs, DirectoryNamedInBytesThatAreNotUtf8) {
    const QByteArray inner = platform::encodePath(fs_.path()) + "/bad\xff\xfe";
    ASSERT_EQ(::mkdir(inner.constData(), 0700), 0);
    if (::mount("tmpfs", inner.constData(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs on a tmpfs: " << std::strerror(errno);
    }
    qint64 bytes = kUntouched;
    const int status = driveFreeSpace(platform::decodePath(inner + "/not/yet"), bytes);
    ::umount2(inner.constData(), MNT_DETACH);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(bytes, kMiB);
}

TEST(DriveFreeSpace, FailuresReturnErrnoAndLeaveTheCountAlone) {
    qint64 bytes = kUntouched;
    EXPECT_EQ(driveFreeSpace(QString(), bytes), ENOENT);
    EXPECT_EQ(bytes, kUntouched);

    // A name longer than any filesystem allows is an error, not a missing
    // directory to look past.
    const QString tooLong = QDir::tempPath() + QLatin1Char('/') + QString(300, QLatin1Char('n'));
    EXPECT_EQ(driveFreeSpace(tooLong, bytes), ENAMETOOLONG);
    EXPECT_EQ(bytes, kUntouched);
}

}  // namespace
