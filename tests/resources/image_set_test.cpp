// The pictures of the resource tree: every one the pages load is there, at the
// size the page layouts are computed for, with its vector drawing beside it.

#include <gtest/gtest.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

namespace {

struct ExpectedImage {
    const char* name;
    QSize size;
};

// Sizes the page builders rely on: title bar and small button icons at Qt's
// default 16x16 icon size, link pictures shown at 2/5 (30x20), the logo at its
// 30x30 display size, the home page pictures at their button size.
const std::vector<ExpectedImage>& expectedImages() {
    static const std::vector<ExpectedImage> images = {
        {"about", {75, 50}},  {"support", {75, 50}},    {"help", {75, 50}},
        {"logo", {30, 30}},   {"close", {16, 16}},      {"max", {16, 16}},
        {"normal", {16, 16}}, {"minimize", {16, 16}},   {"rec", {230, 110}},
        {"edit", {230, 110}}, {"cut_main", {230, 110}}, {"folder", {16, 16}},
        {"play", {16, 16}},   {"pause", {16, 16}},      {"stop", {16, 16}},
        {"quit", {16, 16}},   {"cut", {16, 16}},        {"avi", {16, 16}},
        {"add", {20, 20}},    {"up", {20, 20}},         {"down", {20, 20}},
        {"delete", {20, 20}}, {"rec1", {32, 32}},       {"rec2", {32, 32}},
    };
    return images;
}

QString imageSourceDir() {
    return QStringLiteral(TESSALY_SOURCE_DIR "/resources/image");
}

TEST(ImageSet, EveryPictureLoadsFromTheResourceTreeAtItsLayoutSize) {
    for (const ExpectedImage& expected : expectedImages()) {
        const QString path = QStringLiteral(":/image/%1.png").arg(expected.name);
        const QImage image(path);
        ASSERT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_EQ(image.size(), expected.size) << path.toStdString();
        EXPECT_TRUE(image.hasAlphaChannel()) << path.toStdString();
    }
}

TEST(ImageSet, PicturesOnTransparentGroundLeaveTheirCornersClear) {
    // Title bar and link pictures sit on the dark bar; an opaque corner would
    // show as a box around the glyph.
    for (const char* name : {"close", "max", "normal", "minimize", "about", "support", "help",
                             "rec", "edit", "cut_main"}) {
        const QImage image(QStringLiteral(":/image/%1.png").arg(name));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << name;
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0) << name;
    }
}

TEST(ImageSet, EveryRenderedPictureHasItsVectorDrawing) {
    const QDir sources(imageSourceDir() + QStringLiteral("/src"));
    const QStringList pngs = QDir(imageSourceDir()).entryList({QStringLiteral("*.png")});
    EXPECT_EQ(static_cast<size_t>(pngs.size()), expectedImages().size());
    for (const QString& png : pngs) {
        const QString svg = QFileInfo(png).completeBaseName() + QStringLiteral(".svg");
        EXPECT_TRUE(sources.exists(svg)) << svg.toStdString();
    }
}

TEST(ImageSet, ProgramIconHoldsTheFourDesktopSizes) {
    QFile ico(imageSourceDir() + QStringLiteral("/logo.ico"));
    ASSERT_TRUE(ico.open(QIODevice::ReadOnly));
    QDataStream in(&ico);
    in.setByteOrder(QDataStream::LittleEndian);
    quint16 reserved = 1, type = 0, count = 0;
    in >> reserved >> type >> count;
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(type, 1);  // icon, not cursor
    ASSERT_EQ(count, 4);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) {
        quint8 width = 0, height = 0, colours = 0, reservedByte = 0;
        quint16 planes = 0, bitCount = 0;
        quint32 bytes = 0, offset = 0;
        in >> width >> height >> colours >> reservedByte >> planes >> bitCount >> bytes >> offset;
        EXPECT_EQ(width, height);
        EXPECT_LE(qint64(offset) + bytes, ico.size());
        widths.push_back(width == 0 ? 256 : width);  // 0 stands for 256
    }
    EXPECT_EQ(widths, (std::vector<int>{16, 32, 48, 256}));
}

}  // namespace
