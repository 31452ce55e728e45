// Encodes a raw top-down BGRA frame set with our Video 1 encoder into an AVI
// (for FFmpeg to decode) and prints the encoding speed and size:
//   video1_encode_file IN.bgra WIDTH HEIGHT QUALITY OUT.avi [KEY_PERIOD]
// Output: "fps=<frames per second> bytes_per_frame=<mean chunk size>".
// Only the encode calls are timed; reading and writing files is not.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/video1.h"
#include "tests/support/recordings.h"
#include "video1_frame_set.h"

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s IN.bgra WIDTH HEIGHT QUALITY OUT.avi [KEY_PERIOD]\n",
                     argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]), quality = std::atoi(argv[4]);
    const int keyPeriod = argc > 6 ? std::atoi(argv[6]) : 5;
    std::vector<std::vector<std::uint8_t>> dibs;
    if (width <= 0 || height <= 0 || !video1bench::loadFrameSet(argv[1], width, height, dibs)) {
        std::fprintf(stderr, "cannot read frames from %s\n", argv[1]);
        return 1;
    }
    media::Video1Encoder encoder(width, height, quality);
    std::vector<testsupport::AviFrame> frames(dibs.size());
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(width) * height * 2);
    double seconds = 0;
    std::size_t bytes = 0;
    for (std::size_t f = 0; f < dibs.size(); ++f) {
        const bool key = keyPeriod > 0 && f % static_cast<std::size_t>(keyPeriod) == 0;
        const auto start = std::chrono::steady_clock::now();
        frames[f].key = encoder.encode(dibs[f].data(), 32, key, out);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        frames[f].data = out;
        bytes += out.size();
    }
    testsupport::writeVideo1Avi(argv[5], width, height, 16, frames);
    std::printf("fps=%.2f bytes_per_frame=%.0f\n", double(dibs.size()) / seconds,
                double(bytes) / double(dibs.size()));
    return 0;
}
