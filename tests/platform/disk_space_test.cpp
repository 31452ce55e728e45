// Free space of the filesystem that holds, or will hold, a directory.
#include "platform/disk_space.h"
#include "platform/native_path.h"
#include "tests/support/scoped_tmpfs.h"

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

// The directory, a missing one below it (its nearest existing parent
// counts), the same with "." and ".." pieces, a path below a plain file and
// a relative one all measure the filesystem that holds or will hold them.
TEST_F(DriveFreeSpaceOnTmpfs, EveryPathMeasuresTheFilesystemThatWillHoldIt) {
    qint64 bytes = kUntouched;
    ASSERT_EQ(driveFreeSpace(fs_.path(), bytes), 0);
    EXPECT_EQ(bytes, kTmpfsSize);
    const QString filler = fs_.path() + QStringLiteral("/filler");
    ASSERT_TRUE(writeFile(filler, 2 * kMiB));
    const qint64 expected = dfAvailableBytes(fs_.path());
    EXPECT_EQ(expected, kTmpfsSize - 2 * kMiB);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(fs_.path()));
    for (const QString& path : {fs_.path(), fs_.path() + QStringLiteral("/not/yet/there"),
                                fs_.path() + QStringLiteral("/new/../other/./dir/"),
                                filler + QStringLiteral("/below"), QStringLiteral("TessalySave")}) {
        bytes = kUntouched;
        EXPECT_EQ(driveFreeSpace(path, bytes), 0) << path.toStdString();
        EXPECT_EQ(bytes, expected) << path.toStdString();
    }
    QDir::setCurrent(saved);
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
