// The recording writer on its own: the file it writes (stream information,
// key frames, repeat frames). Sound from another thread is the race test's
// and the PulseAudio recordings' part; a killed recording and its repair the
// Xvfb test's (tessaly-avi killed with SIGKILL) and the media repair test's.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "media/avi_reader.h"
#include "platform/screen_source.h"
#include "recorder/recording_writer.h"
#include "recorder_test_support.h"

namespace {

using recorder::RecordingWriter;

struct Frame {
    explicit Frame(int width = 64, int height = 48) {
        geometry.width = width;
        geometry.height = height;
        header = frameFormatHeader(geometry);
        pixels.assign(frameBytes(geometry), 0);
    }
    void fill(std::uint32_t rgb) {
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = rgb & 0xFF;
            pixels[i + 1] = (rgb >> 8) & 0xFF;
            pixels[i + 2] = (rgb >> 16) & 0xFF;
        }
    }
    ScreenGeometry geometry;
    media::BitmapInfoHeader header;
    std::vector<std::uint8_t> pixels;
};

class RecordingWriterTest : public ::testing::Test {
  protected:
    std::string create(const char* name) {
        const std::string path =
            QFile::encodeName(dir.filePath(QString::fromLatin1(name))).toStdString();
        EXPECT_EQ(writer.createAviFile(path, frame.header, false), 0);
        return path;
    }
    QTemporaryDir dir;
    ManualClockDouble clock;
    RecordingWriter writer{clock};
    Frame frame;
};

TEST_F(RecordingWriterTest, WritesOneVideoStreamWithAKeyFrameEveryFive) {
    const std::string path = create("video.avi");
    EXPECT_FALSE(writer.hasAudioStream());
    frame.fill(0x0000FF);
    for (int i = 0; i < 12; ++i) {
        // One 4 by 4 block changes from frame to frame.
        frame.pixels[0] = static_cast<std::uint8_t>(i * 20);
        ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
        clock.advance(200);
    }
    EXPECT_EQ(writer.frameCount(), 12u);
    EXPECT_EQ(writer.closeAviFile(), 0);

    const RecordingContents file = readRecording(QString::fromStdString(path));
    ASSERT_EQ(file.status, 0);
    EXPECT_EQ(file.streams, 1);
    ASSERT_EQ(file.keyFrames.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(file.keyFrames[i], i % 5 == 0) << "frame " << i;
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[11].data());
    EXPECT_EQ(px[frame.geometry.width * 10], rgb555(0x0000FF));

    // The stream header announces room for one uncompressed frame.
    media::AviReader reader;
    ASSERT_EQ(reader.open(path), 0);
    EXPECT_EQ(reader.stream(0).header.suggestedBufferSize, frame.pixels.size());
}

TEST_F(RecordingWriterTest, RepeatFramesShowThePreviousPictureAndNeedAFirstFrame) {
    const std::string path = create("repeat.avi");
    EXPECT_NE(writer.writeRepeatFrame(), 0);  // nothing to repeat yet
    frame.fill(0x00FF00);
    ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    ASSERT_EQ(writer.writeRepeatFrame(), 0);
    ASSERT_EQ(writer.writeRepeatFrame(), 0);
    frame.fill(0x0000FF);
    ASSERT_EQ(writer.writeAviFrame(frame.pixels.data(), frame.header), 0);
    EXPECT_EQ(writer.frameCount(), 4u);
    writer.closeAviFile();

    const RecordingContents file = readRecording(QString::fromStdString(path));
    ASSERT_EQ(file.status, 0);
    ASSERT_EQ(file.pictures.size(), 4u);
    EXPECT_EQ(file.pictures[1], file.pictures[0]);
    EXPECT_EQ(file.pictures[2], file.pictures[0]);
    EXPECT_GT(file.frameSizes[1], 0u);  // a real frame, not a dropped one
    EXPECT_LT(file.frameSizes[1], file.frameSizes[0]);
    EXPECT_FALSE(file.keyFrames[1]);
    EXPECT_FALSE(file.keyFrames[2]);
    const auto* px = reinterpret_cast<const std::uint16_t*>(file.pictures[3].data());
    EXPECT_EQ(px[0], rgb555(0x0000FF));
    EXPECT_EQ(testsupport::ffprobeDecodedFrames(path), 4);
}

}  // namespace
