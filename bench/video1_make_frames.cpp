// Writes the benchmark frame sets: <dir>/still.bgra, desktop.bgra and
// video.bgra (1920x1080, 16 frames each, top-down BGRA), and prints how many
// 4x4 blocks change from frame to frame in each set.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "video1_frame_set.h"
#include "video1_scenes.h"

namespace {

// Share of 4x4 blocks whose 5-5-5 colours differ between two pictures.
double changedBlockShare(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                         int width, int height) {
    long changed = 0, total = 0;
    for (int by = 0; by + 4 <= height; by += 4) {
        for (int bx = 0; bx + 4 <= width; bx += 4) {
            bool differs = false;
            for (int y = by; y < by + 4 && !differs; ++y) {
                for (int x = bx; x < bx + 4; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * width + x;
                    if ((a[i] & 0xF8F8F8) != (b[i] & 0xF8F8F8)) {
                        differs = true;
                        break;
                    }
                }
            }
            changed += differs;
            ++total;
        }
    }
    return total ? double(changed) / total : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    using namespace video1bench;
    SceneGenerator generator(kBenchWidth, kBenchHeight);
    const char* names[] = {"still", "desktop", "video"};
    for (const char* name : names) {
        SceneKind kind = SceneKind::Still;
        sceneKindFromName(name, kind);
        FILE* out = std::fopen(frameSetPath(dir, name).c_str(), "wb");
        if (out == nullptr) {
            std::perror(name);
            return 1;
        }
        std::vector<std::uint32_t> picture, previous;
        double shareSum = 0;
        for (int f = 0; f < kBenchFrames; ++f) {
            generator.render(kind, f, picture);
            if (f > 0)
                shareSum += changedBlockShare(previous, picture, kBenchWidth, kBenchHeight);
            // 0x00RRGGBB little-endian words are B, G, R, 0 bytes: BGRA as is.
            if (std::fwrite(picture.data(), 4, picture.size(), out) != picture.size()) {
                std::perror(name);
                return 1;
            }
            previous.swap(picture);
        }
        std::fclose(out);
        std::printf("%-8s %d frames, %.1f%% of blocks change per frame\n", name, kBenchFrames,
                    100.0 * shareSum / (kBenchFrames - 1));
    }
    return 0;
}
