// Paths survive the trip QString <-> bytes exactly, whatever their bytes.
#include <gtest/gtest.h>

#include "platform/native_path.h"

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace {

TEST(NativePath, EveryByteSequenceRoundTrips) {
    const QByteArray cases[] = {
        QByteArray("/home/user/TessalySave"),
        QByteArray("bad\xff\xfe/x"),
        QByteArray("caf\xc3\xa9/\xe4\xb8\xad\xe6\x96\x87/\xf0\x9f\x8e\xa5.avi"),  // valid UTF-8
        QByteArray("\xc0\xaf overlong, \xed\xa0\x80 surrogate, \xf4\x90\x80\x80 too big"),
        QByteArray("cut short \xe4\xb8"),
        QByteArray("\x80\x81 lone continuations"),
    };
    for (const QByteArray& bytes : cases) {
        const QString path = platform::decodePath(bytes);
        EXPECT_EQ(platform::encodePath(path), bytes) << bytes.toHex().constData();
    }
    // Every single byte, and every pair of bytes.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            QByteArray bytes;
            bytes.append(static_cast<char>(a));
            bytes.append(static_cast<char>(b));
            ASSERT_EQ(platform::encodePath(platform::decodePath(bytes)), bytes) << a << " " << b;
        }
    }
}

TEST(NativePath, ValidUtf8DecodesAsText) {
    EXPECT_EQ(platform::decodePath(QByteArray("caf\xc3\xa9")), QStringLiteral("caf\u00e9"));
    EXPECT_EQ(platform::displayPath(platform::decodePath(QByteArray("a\xff"))),
              QStringLiteral("a\uFFFD"));
}

// Directories made and looked up through their bytes, checked with the
// standard library's own byte paths.
TEST(NativePath, MakesDirectoriesAndFindsEntriesByTheirBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = platform::encodePathStd(dir.path());
    const std::string nested = root + "/bad\xff\xfe/x/\xe4\xb8/y";
    EXPECT_EQ(platform::makeDirectoryPath(platform::decodePath(nested)), 0);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(nested)));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root),
                            std::filesystem::directory_iterator()),
              1);
    // Made already: still fine, and found.
    EXPECT_EQ(platform::makeDirectoryPath(platform::decodePath(nested + "/")), 0);
    EXPECT_TRUE(platform::pathEntryExists(platform::decodePath(nested)));
    EXPECT_FALSE(platform::pathEntryExists(platform::decodePath(root + "/bad\xff")));

    // A file in the way, a dangling link that counts as taken.
    const std::string file = root + "/bad\xff\xfe/file";
    std::ofstream(file) << "x";
    EXPECT_EQ(platform::makeDirectoryPath(platform::decodePath(file)), ENOTDIR);
    EXPECT_EQ(platform::makeDirectoryPath(platform::decodePath(file + "/below")), ENOTDIR);
    EXPECT_EQ(platform::makeDirectoryPath(QString()), ENOENT);
    const std::string link = root + "/dangling\xff";
    std::filesystem::create_symlink(root + "/nowhere", link);
    EXPECT_TRUE(platform::pathEntryExists(platform::decodePath(link)));
}

}  // namespace
