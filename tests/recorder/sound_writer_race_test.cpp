// Built with ThreadSanitizer (the writer and the media library compiled in
// with -fsanitize=thread): a sound thread appends blocks while this thread
// writes frames and then closes the file under it. Any unsynchronised access
// fails the run; the file must still be complete and readable.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "recorder/recording_writer.h"

namespace {

class SteadyClock final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return {}; }
    std::int64_t monotonicMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

media::BitmapInfoHeader smallFrame() {
    media::BitmapInfoHeader h;
    h.width = 64;
    h.height = 48;
    h.bitCount = 32;
    h.sizeImage = 64 * 48 * 4;
    return h;
}

constexpr int kFrames = 40;
constexpr auto kBlockBytes = static_cast<std::int32_t>(media::kSoundBlockBytes);

}  // namespace

TEST(SoundWriterRaceUnderThreadSanitizer, SoundThreadAppendsWhileFramesAreWrittenAndClosed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("race.avi")).toStdString();
    SteadyClock clock;
    recorder::RecordingWriter writer(clock);
    const media::BitmapInfoHeader header = smallFrame();
    ASSERT_EQ(writer.createAviFile(path, header, true), 0);

    std::atomic<bool> closed{false};
    std::atomic<int> blocksAfterClose{0};
    std::thread soundThread([&] {
        std::vector<std::uint8_t> block(kBlockBytes, 0x11);
        // Keeps appending across the close, as a capture thread that has not
        // been stopped yet would.
        while (blocksAfterClose < 20) {
            writer.writeAviAudio(block.data(), kBlockBytes);
            if (closed)
                ++blocksAfterClose;
            std::this_thread::yield();
        }
    });

    std::vector<std::uint8_t> pixels(header.sizeImage);
    for (int i = 0; i < kFrames; ++i) {
        std::fill(pixels.begin(), pixels.end(), static_cast<std::uint8_t>(i * 5));
        ASSERT_EQ(writer.writeAviFrame(pixels.data(), header), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(writer.closeAviFile(), 0);
    closed = true;
    soundThread.join();
    EXPECT_FALSE(writer.hasAudioStream());

    media::AviReader reader;
    ASSERT_EQ(reader.open(path), 0);
    ASSERT_EQ(reader.streamCount(), 2);
    EXPECT_EQ(reader.stream(0).chunks.size(), std::size_t{kFrames});
    const media::AviReaderStream& audio = reader.stream(1);
    EXPECT_GT(audio.chunks.size(), 0u);
    for (const media::AviChunkRef& chunk : audio.chunks)
        ASSERT_EQ(chunk.size, std::uint32_t{kBlockBytes});
    EXPECT_TRUE(reader.problems().empty());
}
