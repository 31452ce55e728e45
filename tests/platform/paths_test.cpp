// Paths on their way to the kernel: names survive the trip between QString
// and the bytes the kernel sees, whatever those bytes are (a mangled name
// would be another file), and the free space of the filesystem that holds,
// or will hold, a directory, measured on a private tmpfs that nobody else
// writes to: its free space is known to the byte.
#include "platform/disk_space.h"
#include "platform/native_path.h"
#include "tests/support/scoped_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <sys/stat.h>
#include <cerrno>
#include <tuple>

namespace {

constexpr qint64 kMiB = qint64{1} << 20;
constexpr qint64 kUntouched = -12345;

// The directory, a missing one below it (its nearest existing parent counts),
// the same with "." and ".." pieces, a path below a plain file, a relative one,
// and one whose name is not UTF-8 with a smaller tmpfs of its own (a mangled
// name would be missing and measure the outer filesystem instead).
TEST(DriveFreeSpace, EveryPathMeasuresTheFilesystemThatWillHoldIt) {
    const ScopedTmpfs fs("size=20m");
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a private tmpfs: " << fs.error().toStdString();
    const QString filler = fs.path() + QStringLiteral("/filler");
    QFile file(filler);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(QByteArray(2 * kMiB, 'x')), 2 * kMiB);
    file.close();
    const qint64 outer = 18 * kMiB;
    const QByteArray inner = platform::encodePath(fs.path()) + "/bad\xff\xfe";
    ASSERT_EQ(::mkdir(inner.constData(), 0700), 0);
    ASSERT_EQ(::mount("tmpfs", inner.constData(), "tmpfs", 0, "size=1m"), 0);
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(fs.path()));
    // A name longer than any filesystem allows is an error, not a missing
    // directory to look past; a failure leaves the count alone.
    const QString tooLong = QDir::tempPath() + QLatin1Char('/') + QString(300, QLatin1Char('n'));
    const std::tuple<QString, int, qint64> cases[] = {
        {fs.path(), 0, outer},
        {QString(), ENOENT, kUntouched},
        {tooLong, ENAMETOOLONG, kUntouched},
        {fs.path() + QStringLiteral("/new/../other/./dir/"), 0, outer},
        {filler + QStringLiteral("/below"), 0, outer},
        {QStringLiteral("TessalySave"), 0, outer},
        {platform::decodePath(inner + "/not/yet"), 0, kMiB},
    };
    for (const auto& [path, status, expected] : cases) {
        qint64 bytes = kUntouched;
        EXPECT_EQ(driveFreeSpace(path, bytes), status) << path.toStdString();
        EXPECT_EQ(bytes, expected) << path.toStdString();
    }
    QDir::setCurrent(saved);
    ::umount2(inner.constData(), MNT_DETACH);
}

TEST(NativePath, EveryByteSequenceRoundTripsAndUtf8DecodesAsText) {
    for (const QByteArray& bytes : {QByteArray("\xc0\xaf overlong, \xed\xa0\x80 surrogate"),
                                    QByteArray("\xf4\x90\x80\x80 too big, cut short \xe4\xb8")})
        EXPECT_EQ(platform::encodePath(platform::decodePath(bytes)), bytes) << bytes.toHex().data();
    for (int pair = 0; pair < 0x10000; ++pair) {
        const QByteArray bytes{static_cast<char>(pair >> 8), static_cast<char>(pair)};
        ASSERT_EQ(platform::encodePath(platform::decodePath(bytes)), bytes) << pair;
    }
    EXPECT_EQ(platform::decodePath(QByteArray("caf\xc3\xa9")), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(platform::displayPath(platform::decodePath(QByteArray("a\xff"))),
              QStringLiteral("a\uFFFD"));
}

}  // namespace
