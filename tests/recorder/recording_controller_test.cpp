// The recording controller and its writer with a scripted screen, a
// hand-stepped clock and hand-fed sound (test doubles), in the cases the
// window's tests cannot steer: ticks late by exact amounts on screens of odd
// sizes, a drive that fills up. Their files are read back by our reader and
// by FFmpeg, the oracle for the pictures.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "media/avi_reader.h"
#include "media/sound_format.h"
#include "platform/sound_devices.h"
#include "recorder/recording_controller.h"
#include "recorder_test_support.h"
#include "tests/support/programs.h"
#include "tests/support/scoped_tmpfs.h"

namespace {

using recorder::RecordingController;
using Stop = RecordingController::PauseClearing;
constexpr int P = recorder::kCapturePeriodMs;

// A controller recording a scripted screen by a hand-stepped clock.
struct ScriptedRecording {
    ScriptedRecording(int width, int height, const QString& saveDir) : screen(width, height) {
        controller.setSaveDirectory([saveDir] { return saveDir; });
    }
    int tick(int ms = P) {
        clock.advance(ms);
        return controller.tick();
    }
    ScriptedScreenDouble screen;
    ManualClockDouble clock;
    RecordingController controller{screen, clock};
};

struct LateTickCase {
    const char* what;
    int width, height;
    std::vector<int> gaps;  // ms between ticks, the first tick starting the file
    std::size_t frames;
    std::vector<int> keyFrames;
};

// Every frame but the last shows the first picture (repeats included); the
// last tick brings a new one. Key frames come every five frames, repeats
// counted, and wherever every block of the picture changed. On screens whose
// sides are not multiples of Video 1's 4-pixel blocks FFmpeg decodes whole
// blocks only, on a grid anchored at the top like our encoder's: the last
// w mod 4 columns and h mod 4 rows stay black.
TEST(ControllerLateTicks, LateTicksFillTheMissedSlotsWithRepeatFrames) {
    const LateTickCase cases[] = {
        {"on time", 64, 48, std::vector<int>(11, P), 11, {0, 5, 10}},
        {"1 ms short of a period late", 38, 22, {P, P, 2 * P - 1}, 3, {0, 2}},
        {"exactly one period late", 1366, 768, {P, P, 2 * P}, 4, {0, 3}},
        // 190 ms late stays in its slot; the next one, due 10 ms later, comes
        // three periods late.
        {"three periods late after a late tick", 64, 48, {P, P, P + 190, 10 + 3 * P}, 7, {0, 6}},
    };
    for (const LateTickCase& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ScriptedRecording r(c.width, c.height, dir.path());
        r.controller.start();
        const std::uint32_t before = r.screen.colour;
        for (std::size_t i = 0; i < c.gaps.size(); ++i) {
            if (i + 1 == c.gaps.size())
                r.screen.colour = 0xFFFF00;
            ASSERT_EQ(r.tick(c.gaps[i]), 0);
        }
        EXPECT_EQ(r.controller.frameCount(), c.frames);
        r.controller.stop(Stop::BeforeClose);

        const std::string path = r.controller.recordFilePath().toStdString();
        const std::vector<std::uint8_t> raw = testsupport::ffmpegDecode(path, "rgb555le");
        const std::size_t pixels = static_cast<std::size_t>(c.width) * c.height;
        ASSERT_EQ(raw.size(), c.frames * pixels * 2);
        const auto* decoded = reinterpret_cast<const std::uint16_t*>(raw.data());
        for (std::size_t f = 0; f < c.frames; ++f) {
            const std::uint16_t shown = rgb555(f + 1 < c.frames ? before : 0xFFFF00);
            int wrong = 0;
            for (std::size_t i = 0; i < pixels; ++i) {
                const bool inWholeBlock = static_cast<int>(i % c.width) < c.width / 4 * 4 &&
                                          static_cast<int>(i / c.width) < c.height / 4 * 4;
                wrong += (decoded[f * pixels + i] & 0x7FFF) != (inWholeBlock ? shown : 0);
            }
            EXPECT_EQ(wrong, 0) << "frame " << f;
        }
        EXPECT_EQ(testsupport::ffprobeKeyFrames(path), c.keyFrames);
        for (const std::uint32_t size : testsupport::ffprobePacketSizes(path, 0))
            EXPECT_GT(size, 0u);  // repeats are frames, not dropped ones
    }
}

struct FullDriveCase {
    const char* name;
    const char* tmpfsOptions;
    std::size_t soundBytesPerTick;
    bool noisyScreen;  // frames no encoder can shrink, or a still screen
};

// The recording stops with the no-space message, and its file keeps every
// frame reported written and every sound block handed over but the one whose
// write failed: each chunk lies whole inside a file that ends where its RIFF
// says, indexed, and FFmpeg reads as many frames as the header announces.
TEST(ControllerFullDrive, AFullDriveStopsWithItsMessageAndKeepsEverythingWritten) {
    const FullDriveCase cases[] = {
        {"sound blocks of an uneven size", "size=600k", 1234 * 4, true},
        // Tiny frames of a still screen: a sound block is the write that fails.
        {"sound fills the drive", "size=1m", media::kSoundBlockBytes, false},
    };
    for (const FullDriveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTmpfs small(c.tmpfsOptions);
        if (!small.mounted())
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << small.error().toStdString();
        // The sound sources outlive the controller, which stops the capture as it goes.
        sound::FixedSoundDeviceList inputs({{"mic", "Microphone", false, true}});
        SoundSourceDouble capture;
        ScriptedRecording r(160, 120, small.path());
        r.screen.noise = c.noisyScreen;
        r.controller.setSoundSources(&inputs, &capture);
        r.controller.start();
        int result = 0;
        std::size_t blocks = 0;
        for (int i = 0; i < 2000 && result == 0; ++i) {
            result = r.tick();
            if (result == 0)
                capture.deliver(c.soundBytesPerTick), ++blocks;
        }
        ASSERT_EQ(result, recorder::kRecordErrNoSpace);
        EXPECT_EQ(r.controller.failureMessage(),
                  QStringLiteral("Not enough space, recording stopped."));
        const std::uint64_t written = r.controller.frameCount();
        EXPECT_GT(written, 5u);
        r.controller.stop(Stop::BeforeClose);

        const QString path = r.controller.recordFilePath();
        media::AviReader reader;
        ASSERT_EQ(reader.open(QFile::encodeName(path).toStdString()), 0);
        EXPECT_EQ(reader.recoveredChunks(), 0u);
        ASSERT_EQ(reader.streamCount(), 2);
        const auto& video = reader.stream(0);
        EXPECT_GE(video.chunks.size(), written);
        EXPECT_GE(reader.stream(1).chunks.size() + 1, blocks);  // all but the failed write
        for (int i = 0; i < reader.streamCount(); ++i)
            for (const media::AviChunkRef& chunk : reader.stream(i).chunks)
                ASSERT_LE(chunk.dataPos + chunk.size, reader.fileSize()) << "stream " << i;
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        const QByteArray riff = raw.read(8).leftJustified(8, '\0');
        EXPECT_EQ(media::le32(reinterpret_cast<const std::uint8_t*>(riff.constData()) + 4) + 8u,
                  static_cast<std::uint64_t>(raw.size()))
            << "bytes after the end of the RIFF";
        EXPECT_EQ(testsupport::ffprobePacketSizes(path.toStdString(), 0).size(),
                  video.header.length);
    }
}

}  // namespace
