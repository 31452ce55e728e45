// PSNR of a decoded rgb555le file against the source converted the same way:
//   video1_psnr SOURCE.rgb555le DECODED.rgb555le
// Both are expanded to 8 bits per component as (v << 3) | (v >> 2); the peak
// is 255. Prints "psnr=<dB>" over every component of every frame.
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

bool readAll(const char* path, std::vector<unsigned char>& data) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    unsigned char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + n);
    std::fclose(file);
    return true;
}

int expand(int v5) {
    return (v5 << 3) | (v5 >> 2);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<unsigned char> a, b;
    if (argc < 3 || !readAll(argv[1], a) || !readAll(argv[2], b) || a.size() != b.size() ||
        a.size() % 2 != 0) {
        std::fprintf(stderr, "usage: %s SOURCE DECODED (two rgb555le files of equal size)\n",
                     argv[0]);
        return 2;
    }
    double squared = 0;
    for (std::size_t i = 0; i < a.size(); i += 2) {
        const int wa = a[i] | (a[i + 1] << 8), wb = b[i] | (b[i + 1] << 8);
        for (int shift : {0, 5, 10}) {
            const int d = expand((wa >> shift) & 31) - expand((wb >> shift) & 31);
            squared += double(d) * d;
        }
    }
    const double mse = squared / (double(a.size()) / 2 * 3);
    std::printf("psnr=%.3f\n", mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse));
    return 0;
}
