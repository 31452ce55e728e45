// Shared pieces of the recorder tests: a scripted screen and a hand-stepped
// clock (test doubles for the X11 screen and the system clock), and readers
// of the recordings the tests make with our reader (ffprobe and ffmpeg come
// from tests/support/programs.h).
#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/screen_source.h"
#include "recorder/clock.h"
#include "tests/support/programs.h"

// A screen whose every frame is one solid colour, or noise that no encoder
// can shrink (to fill a drive quickly).
class ScriptedScreenDouble final : public ScreenSource {
  public:
    explicit ScriptedScreenDouble(int width = 64, int height = 48) {
        geometry_.width = width;
        geometry_.height = height;
    }

    int probe(ScreenGeometry& geometry) override {
        if (probeStatus != kScreenOk)
            return probeStatus;
        geometry = geometry_;
        return kScreenOk;
    }
    int open(const ScreenGeometry&) override {
        isOpen = openStatus == kScreenOk;
        return openStatus;
    }
    int grab(std::span<std::uint8_t> frame) override {
        if (noise) {
            for (auto& b : frame)
                b = static_cast<std::uint8_t>(random_());
            return kScreenOk;
        }
        for (std::size_t i = 0; i + 3 < frame.size(); i += 4) {
            frame[i] = static_cast<std::uint8_t>(colour & 0xFF);
            frame[i + 1] = static_cast<std::uint8_t>((colour >> 8) & 0xFF);
            frame[i + 2] = static_cast<std::uint8_t>((colour >> 16) & 0xFF);
            frame[i + 3] = 0;
        }
        return kScreenOk;
    }
    void close() override { isOpen = false; }

    int probeStatus = kScreenOk;
    int openStatus = kScreenOk;
    std::uint32_t colour = 0x336699;  // 0xRRGGBB
    bool noise = false;
    bool isOpen = false;

  private:
    ScreenGeometry geometry_;
    std::minstd_rand random_{12345};
};

// A clock that moves only when the test says so.
class ManualClockDouble final : public recorder::Clock {
  public:
    QDateTime localNow() const override { return local; }
    std::int64_t monotonicMs() const override { return ms; }
    void advance(std::int64_t step) {
        ms += step;
        local = local.addMSecs(step);
    }

    QDateTime local{QDate(2016, 12, 5), QTime(9, 30, 7)};
    std::int64_t ms = 1000000;
};

// What our reader sees in a recording.
struct RecordingContents {
    int status = -1;
    int streams = 0;
    std::vector<std::uint32_t> frameSizes;
    std::vector<bool> keyFrames;
    // Each frame decoded (16-bit 5-5-5, bottom-up).
    std::vector<std::vector<std::uint8_t>> pictures;
    int width = 0;
    int height = 0;
};
RecordingContents readRecording(const QString& path);

// The 5-5-5 pixel a Video 1 decoder shows for an 0xRRGGBB colour.
std::uint16_t rgb555(std::uint32_t rgb);
