// Recordings for the editing tests, and what FFmpeg (the oracle) finds in the
// files the jobs write. Every source frame carries its number as 16 black or
// white bars (bit b of the number in bar b), which survive any Video 1 coding,
// and its sound carries a click at every whole second of its own time.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "editing/edit_job.h"

namespace edittest {

constexpr int kWidth = 64;  // 16 bars of one 4x4 block each
constexpr int kHeight = 48;
constexpr int kSamplesPerFrame = 44100 / 5;

struct SourceShape {
    int frames = 30;
    int firstNumber = 0;  // the number painted into frame 0
    bool sound = true;
    int soundFrames = -1;  // frames the sound covers; -1: all of them
    int width = kWidth;
};

// Writes a 5 fps recording with the recorder's own writer; 0 or its status.
int writeSource(const QString& path, const SourceShape& shape);

// Runs ffmpeg with `arguments` (a shell word list); true when it succeeded.
bool ffmpeg(const QString& arguments);

// What FFmpeg sees in a file: the frame numbers of the decoded pictures, the
// key frames, the video stream's rate, and the sound's clicks and length (as
// 44.1 kHz stereo).
struct Decoded {
    std::string frameRate;
    std::vector<int> numbers;
    std::vector<int> keyFrames;  // indexes of the key frames
    bool hasSound = false;
    std::int64_t soundSamples = 0;
    std::vector<std::int64_t> clicks;  // sample index of each click's onset
};
Decoded decode(const QString& path);

// The numbers first, first + 1, ... of `count` frames.
std::vector<int> numbersFrom(int first, int count);

// Where the clicks of a source land when its frames from `first` on are
// written from output frame `at` on, `count` of them; its sound covers
// `soundFrames`. Appends them to `expected`.
void expectClicks(std::vector<std::int64_t>& expected, int first, int count, int at,
                  int soundFrames);
// Whether the decoded clicks lie within 10 ms of the expected ones.
void expectClicksNear(const Decoded& d, const std::vector<std::int64_t>& expected);

// Collects a job's reports.
struct Reports {
    std::vector<editing::EditReport> all;
    editing::ReportFn fn() {
        return [this](const editing::EditReport& r) { all.push_back(r); };
    }
};

// The files in `directory`, sorted.
QStringList filesIn(const QString& directory);

}  // namespace edittest
