// Paths survive the trip QString <-> bytes exactly, whatever their bytes.
#include <gtest/gtest.h>

#include "platform/native_path.h"

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

}  // namespace
