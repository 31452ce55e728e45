// Chooses the coding of one 4x4 block for the 16-bit Video 1 variant.
#pragma once

#include <cstdint>

namespace media::video1 {

// The words of one coded block, in stream order.
struct BlockCode {
    std::uint16_t words[9];
    std::uint8_t count;  // 1 (one colour), 3 (two colours) or 9 (eight colours)
};

struct BlockFit {
    BlockCode code;
    std::uint16_t recon[16];  // what a decoder shows, 5-5-5, pixel 4*y + x
    std::int64_t cost;        // kCostScale x squared error + lambda x bytes
};

// pixels: 5-5-5 colours, index 4*y + x with y counted from the bottom row of
// the block (the order of the flag bits). Finds the cheapest coding whose cost
// is below costToBeat (the cost of skipping the block, or INT64_MAX on key
// frames). Returns false, leaving `fit` untouched, when none is cheaper.
bool fitBlock(const std::uint16_t pixels[16], std::int64_t scaledLambda, std::int64_t costToBeat,
              BlockFit& fit);

// Squared error between two blocks of 5-5-5 colours, over all three components.
std::int64_t blockSquaredError(const std::uint16_t a[16], const std::uint16_t b[16]);

}  // namespace media::video1
