// The recording file: one AVI file with a Microsoft Video 1 video stream (the
// captured frames) and, when sound is recorded, a PCM audio stream.
//
// The capture tick (user-interface thread) writes frames and, at stop, closes
// the file; the sound thread writes audio blocks. One mutex serialises every
// write, the header refreshes and the release, so no audio block can reach a
// stream that is being or has been released.
//
// Crash safety: the headers and index on disk are refreshed at least every
// kHeaderRefreshIntervalMs while frames or sound arrive (and right after the
// first frame), so a process that is killed leaves a file that readers play
// up to the last refresh.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/avi_file.h"
#include "media/avi_format.h"
#include "recorder/clock.h"

namespace recorder {

// 5 frames a second: one frame per 200 ms capture tick.
constexpr std::uint32_t kVideoFramesPerSecond = 5;
// A key frame every 5 frames (one a second): the preview player seeks to key
// frames, and Video 1 key frames of a whole screen are large, so one a second
// keeps seeking precise without letting a still screen's file grow much.
constexpr std::uint32_t kKeyFrameEvery = 5;
// Encoder quality on the 0..10000 scale: high enough that screen text stays
// legible after the 5-5-5 colour reduction, low enough that noise-level
// changes between frames are skipped instead of re-coded.
constexpr std::uint32_t kVideoQuality = 8500;
// A killed recorder loses at most this much of its recording. Each refresh
// rewrites the header block and the open index window, a few tens of KiB,
// which is negligible at this interval.
constexpr std::int64_t kHeaderRefreshIntervalMs = 2000;
// Below this much free space on the recording's drive every frame is made
// durable at once (headers and index refreshed after each write), so a drive
// that fills up loses no frame that was reported written. A whole-screen
// change at 1920 by 1080 can take 4 MB, so this is several seconds of the
// worst case; refreshing every frame costs a few KiB of index per frame,
// which only matters on a drive that is about to fill anyway.
constexpr std::int64_t kLowSpaceBytes = 64LL * 1024 * 1024;
// Status of a frame write whose file no longer has a name (the file or its
// directory was deleted): everything written from then on would be lost.
constexpr int kRecordErrFileGone = -102;

class RecordingWriter {
  public:
    explicit RecordingWriter(const Clock& clock);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Creates (or replaces) the file at `path` with its video stream for
    // frames described by `frameHeader`, and an audio stream when `withAudio`.
    // Returns 0 or the status of the first step that failed; the handles made
    // so far stay until closeAviFile().
    int createAviFile(const std::string& path, const media::BitmapInfoHeader& frameHeader,
                      bool withAudio);
    // Encodes and appends one frame (frameHeader's layout); frameCount() grows
    // by one on success. Frame 0 is always a key frame. kRecordErrFileGone
    // once the file was deleted (the frame counts as written).
    int writeAviFrame(const std::uint8_t* pixels, const media::BitmapInfoHeader& frameHeader);
    // Appends a frame that shows the previous picture again (a Video 1 frame
    // of skip codes only), for capture slots that passed without a tick.
    int writeRepeatFrame();
    // Appends one block of sound (a whole number of 4-byte samples, at most
    // media::kSoundBlockBytes) to the audio stream; nothing when the file has
    // none. Any thread. A block that cannot be written stops the sound, and
    // the next frame write returns that block's status.
    void writeAviAudio(const void* data, std::int32_t byteCount);
    // Refreshes the headers and index on disk now (a pause: nothing may
    // arrive for a long while). Returns 0 also when there is no file.
    int refreshNow();
    // Releases the streams and the file in the fixed order (audio, video,
    // compressing stream, file); the file is complete when this returns.
    // Returns the completion status (0 when there was no file).
    int closeAviFile();

    // Free bytes on the recording's drive, or a negative value when unknown;
    // asked after every frame.
    void setFreeSpaceProbe(std::function<std::int64_t()> probe);

    // Frames written to the current file (repeat frames included); 0 when
    // the recording has no file yet.
    std::uint64_t frameCount() const;
    void resetFrameCount();
    bool hasFile() const;
    bool hasAudioStream() const;
    std::string recordFilePath() const;

  private:
    int refreshIfDue(bool force = false);
    bool driveIsLow() const;
    int writeFrameLocked(const std::uint8_t* pixels, std::uint32_t bytes);
    int afterFrameLocked();
    int closeLocked();

    mutable std::mutex mutex_;
    const Clock& clock_;
    media::AviFilePtr aviFile_;
    media::AviStreamPtr aviVideoStream_;
    media::AviStreamPtr aviCompressedStream_;
    media::AviStreamPtr audioStream_;
    media::AviStreamInfo videoStreamInfo_;
    media::AviCompressOptions compressOptions_;
    std::uint64_t frameCount_ = 0;
    std::string recordFilePath_;
    // The repeat frame of this file's picture size, made with the file.
    std::vector<std::uint8_t> repeatFrame_;
    std::function<std::int64_t()> freeSpaceProbe_;
    bool refreshedOnce_ = false;
    std::int64_t lastRefreshMs_ = 0;
    // The first failed sound block's status (or its refresh's) in this file.
    int soundStatus_ = 0;
};

}  // namespace recorder
