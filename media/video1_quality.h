// How the encoder's 0..10000 quality turns into its block decisions.
//
// Every block is coded in the way that minimises
//     cost = squared error + lambda x bytes
// over the candidates "skip" (delta frames only, 0 bytes, or 2 when it opens a
// new skip run), one colour (2 bytes), two colours (6 bytes) and eight colours
// (18 bytes). The squared error is summed over the 16 pixels and the three
// 5-bit components, against the picture converted to 5-5-5.
//
// lambda falls monotonically with the quality: 0 at 10000 (always the most
// accurate coding), rising exponentially towards quality 0. Because the
// eight-colour coding is always a candidate, a block's squared error can never
// exceed the error of the encoder's eight-colour fit of that block plus
// kBoundBytes x lambda. On screen content whose 2x2 quadrants hold at most two
// colours that fit is exact, so the error there is at most kBoundBytes x lambda.
#pragma once

#include <cmath>
#include <cstdint>

namespace media::video1 {

// The costliest candidate (eight colours, 18 bytes) against the cheapest one
// (a skip that continues a run, 0 bytes).
constexpr int kBoundBytes = 18;

// Costs are kept in integers with lambda in 1/16 units, so small lambdas near
// the top of the quality scale still differ.
constexpr std::int64_t kCostScale = 16;

// Every kQualityPerDoubling steps down the quality scale double (lambda + 1).
// Quality 10000 gives lambda 0, 8500 (the recorder) about 1.3, 7500 (the
// editing jobs) about 3.1, 5000 about 16 and 0 about 285. Measured on 1920x1080
// screens: files as large as FFmpeg's Video 1 encoder makes need about 5500 on
// desktop content and about 4000 on video; 8500 keeps anti-aliased text clean.
constexpr double kQualityPerDoubling = 1225.0;
constexpr double kLambdaUnit = 1.0;

inline double lambdaForQuality(int quality) {
    const int q = quality < 0 ? 0 : (quality > 10000 ? 10000 : quality);
    return kLambdaUnit * (std::exp2((10000 - q) / kQualityPerDoubling) - 1.0);
}

// lambda in cost units (1/kCostScale of a squared-error unit per byte).
inline std::int64_t scaledLambdaForQuality(int quality) {
    return std::llround(lambdaForQuality(quality) * kCostScale);
}

// Upper bound of a block's squared error, given its eight-colour fit error.
inline double blockErrorBound(int quality, double eightColourError) {
    return eightColourError + kBoundBytes * lambdaForQuality(quality);
}

}  // namespace media::video1
