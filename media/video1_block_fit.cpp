#include "video1_block_fit.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel_convert.h"
#include "video1_format.h"
#include "video1_quality.h"

namespace media::video1 {
namespace {

constexpr int kFillBytes = 2;
constexpr int kTwoColourBytes = 6;
constexpr int kEightColourBytes = 18;

// Two-means on 16 points settles in two or three rounds; more rarely changes
// anything measurable.
constexpr int kMaxClusterRounds = 4;

struct Rgb {
    int r, g, b;
};

// The block's pixels split into 5-bit component planes, with their totals.
struct Planes {
    alignas(16) std::int16_t r[16];
    alignas(16) std::int16_t g[16];
    alignas(16) std::int16_t b[16];
    int total[3];
};

inline int distance2(const Planes& p, int i, const Rgb& c) {
    const int dr = p.r[i] - c.r, dg = p.g[i] - c.g, db = p.b[i] - c.b;
    return dr * dr + dg * dg + db * db;
}

inline std::uint16_t toWord(const Rgb& c) {
    return pack555(c.r, c.g, c.b);
}

// Rounded division by a group size of 1..16 without a divide instruction (the
// fits compute up to 24 means per block). ceil(2^16 / n) is exact for every
// numerator a block can produce (at most 16 x 31 + 8).
constexpr int kMaxNumerator = 16 * 31 + 8;
constexpr std::uint32_t kReciprocal[17] = {0,     65536, 32768, 21846, 16384, 13108,
                                           10923, 9363,  8192,  7282,  6554,  5958,
                                           5462,  5042,  4682,  4370,  4096};

constexpr bool reciprocalsExact() {
    for (int n = 1; n <= 16; ++n) {
        for (int x = 0; x <= kMaxNumerator; ++x) {
            if (static_cast<int>((x * kReciprocal[n]) >> 16) != x / n)
                return false;
        }
    }
    return true;
}
static_assert(reciprocalsExact());

inline int roundedDivide(int sum, int n) {
    return static_cast<int>((static_cast<std::uint32_t>(sum + n / 2) * kReciprocal[n]) >> 16);
}

inline Rgb roundedMean(int sr, int sg, int sb, int n) {
    return {roundedDivide(sr, n), roundedDivide(sg, n), roundedDivide(sb, n)};
}

// Squared error of n samples with sum s and sum of squares q around value c.
inline std::int64_t errorAround(std::int64_t q, std::int64_t s, std::int64_t c, int n) {
    return q - 2 * c * s + n * c * c;
}

// One colour. A red component of 1 would make the fill word a skip code, so
// such a fill takes red 0 or 2, whichever is closer.
std::int64_t fitFill(const Planes& p, BlockCode& code, std::uint16_t recon[16]) {
    int sr = 0, sg = 0, sb = 0, qr = 0, qg = 0, qb = 0;
    for (int i = 0; i < 16; ++i) {
        sr += p.r[i];
        sg += p.g[i];
        sb += p.b[i];
        qr += p.r[i] * p.r[i];
        qg += p.g[i] * p.g[i];
        qb += p.b[i] * p.b[i];
    }
    Rgb c = roundedMean(sr, sg, sb, 16);
    if (c.r == 1) {
        c.r = errorAround(qr, sr, 0, 16) <= errorAround(qr, sr, 2, 16) ? 0 : 2;
    }
    const std::uint16_t word = toWord(c);
    code.words[0] = static_cast<std::uint16_t>(word | kFillFlag);
    code.count = 1;
    for (int i = 0; i < 16; ++i) {
        recon[i] = word;
    }
    return errorAround(qr, sr, c.r, 16) + errorAround(qg, sg, c.g, 16) +
           errorAround(qb, sb, c.b, 16);
}

// Seeds two clusters at the extremes of the component with the widest range.
void seedPair(const Planes& p, Rgb& a, Rgb& b) {
    const std::int16_t* planes[3] = {p.r, p.g, p.b};
    int bestRange = -1, lowIndex = 0, highIndex = 0;
    for (const std::int16_t* plane : planes) {
        int lo = 0, hi = 0;
        for (int i = 1; i < 16; ++i) {
            if (plane[i] < plane[lo])
                lo = i;
            if (plane[i] > plane[hi])
                hi = i;
        }
        if (plane[hi] - plane[lo] > bestRange) {
            bestRange = plane[hi] - plane[lo];
            lowIndex = lo;
            highIndex = hi;
        }
    }
    a = {p.r[lowIndex], p.g[lowIndex], p.b[lowIndex]};
    b = {p.r[highIndex], p.g[highIndex], p.b[highIndex]};
}

// Assigns each pixel to the nearer of two colours (ties to b). Returns the
// mask of pixels nearer to a, the component sums of those pixels and the
// squared error of the assignment. Squared distances of 5-bit colours fit in
// 16 bits, so SSE2 handles all 16 pixels in two registers per component.
#if defined(__SSE2__)
inline int horizontalSum(__m128i words) {
    __m128i sums = _mm_madd_epi16(words, _mm_set1_epi16(1));
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, 0x4E));
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, 0xB1));
    return _mm_cvtsi128_si32(sums);
}

unsigned assignNearer(const Planes& p, const Rgb& a, const Rgb& b, int sums[3], int& error) {
    const std::int16_t* planes[3] = {p.r, p.g, p.b};
    const int ca[3] = {a.r, a.g, a.b}, cb[3] = {b.r, b.g, b.b};
    __m128i v[3][2];
    __m128i da[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
    __m128i db[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
    for (int c = 0; c < 3; ++c) {
        for (int h = 0; h < 2; ++h) {
            v[c][h] = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[c] + 8 * h));
            const __m128i dA = _mm_sub_epi16(v[c][h], _mm_set1_epi16(static_cast<short>(ca[c])));
            const __m128i dB = _mm_sub_epi16(v[c][h], _mm_set1_epi16(static_cast<short>(cb[c])));
            da[h] = _mm_add_epi16(da[h], _mm_mullo_epi16(dA, dA));
            db[h] = _mm_add_epi16(db[h], _mm_mullo_epi16(dB, dB));
        }
    }
    const __m128i nearA[2] = {_mm_cmplt_epi16(da[0], db[0]), _mm_cmplt_epi16(da[1], db[1])};
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(nearA[0], nearA[1])));
    for (int c = 0; c < 3; ++c) {
        sums[c] = horizontalSum(
            _mm_add_epi16(_mm_and_si128(v[c][0], nearA[0]), _mm_and_si128(v[c][1], nearA[1])));
    }
    error = horizontalSum(_mm_add_epi16(_mm_min_epi16(da[0], db[0]), _mm_min_epi16(da[1], db[1])));
    return mask;
}
#else
unsigned assignNearer(const Planes& p, const Rgb& a, const Rgb& b, int sums[3], int& error) {
    unsigned mask = 0;
    sums[0] = sums[1] = sums[2] = 0;
    error = 0;
    for (int i = 0; i < 16; ++i) {
        const int da = distance2(p, i, a), db = distance2(p, i, b);
        if (da < db) {
            mask |= 1u << i;
            sums[0] += p.r[i], sums[1] += p.g[i], sums[2] += p.b[i];
        }
        error += da < db ? da : db;
    }
    return mask;
}
#endif

// Two colours for the whole block by two-means clustering. Bit i of the mask
// selects the first colour; pixel 15 must take the second one (a mask with bit
// 15 set would read as a fill word).
std::int64_t fitTwoColours(const Planes& p, BlockCode& code, std::uint16_t recon[16]) {
    Rgb a, b;
    seedPair(p, a, b);
    int sums[3], error;
    unsigned mask = assignNearer(p, a, b, sums, error);
    for (int round = 1; round < kMaxClusterRounds; ++round) {
        const int na = std::popcount(mask);
        const Rgb newA = na > 0 ? roundedMean(sums[0], sums[1], sums[2], na) : a;
        const Rgb newB = na < 16 ? roundedMean(p.total[0] - sums[0], p.total[1] - sums[1],
                                               p.total[2] - sums[2], 16 - na)
                                 : b;
        if (newA.r == a.r && newA.g == a.g && newA.b == a.b && newB.r == b.r && newB.g == b.g &&
            newB.b == b.b) {
            break;
        }
        a = newA;
        b = newB;
        mask = assignNearer(p, a, b, sums, error);
    }
    if (mask & 0x8000u) {
        mask = ~mask & 0xFFFFu;
        const Rgb t = a;
        a = b;
        b = t;
    }
    const std::uint16_t wa = toWord(a), wb = toWord(b);
    code.words[0] = static_cast<std::uint16_t>(mask);
    code.words[1] = wa;
    code.words[2] = wb;
    code.count = 3;
    for (int i = 0; i < 16; ++i) {
        recon[i] = ((mask >> i) & 1u) ? wa : wb;
    }
    return error;
}

// Pixel indices of the four 2x2 quadrants, in the order of their colour pairs
// (bottom-left, bottom-right, top-left, top-right). The last index of each
// quadrant always takes the pair's second colour, which keeps bit 15 clear.
constexpr int kQuadrants[4][4] = {{0, 1, 4, 5}, {2, 3, 6, 7}, {8, 9, 12, 13}, {10, 11, 14, 15}};

// Best split of four pixels into two groups: exhaustive over the seven ways
// that keep the last pixel in the second group, plus "one group". Maximising
// sum(S^2 / n) over groups minimises the squared error around the means;
// 12 / n keeps it in integers. Subset sums are built from smaller subsets.
unsigned bestQuadrantSplit(const Planes& p, const int idx[4]) {
    constexpr int kTwelfths[5] = {0, 12, 6, 4, 3};
    constexpr int kMembers[8] = {0, 1, 1, 2, 1, 2, 2, 3};
    int sums[3][8];
    int totals[3];
    const std::int16_t* planes[3] = {p.r, p.g, p.b};
    for (int c = 0; c < 3; ++c) {
        const std::int16_t* v = planes[c];
        sums[c][0] = 0;
        sums[c][1] = v[idx[0]];
        sums[c][2] = v[idx[1]];
        sums[c][3] = v[idx[0]] + v[idx[1]];
        for (int m = 4; m < 8; ++m)
            sums[c][m] = sums[c][m - 4] + v[idx[2]];
        totals[c] = sums[c][7] + v[idx[3]];
    }
    unsigned best = 0;
    int bestScore = -1;
    for (unsigned split = 0; split < 8; ++split) {
        const int n1 = kMembers[split];
        int score = 0;
        for (int c = 0; c < 3; ++c) {
            const int s1 = sums[c][split], s2 = totals[c] - s1;
            score += s1 * s1 * kTwelfths[n1] + s2 * s2 * kTwelfths[4 - n1];
        }
        if (score > bestScore) {
            bestScore = score;
            best = split;
        }
    }
    return best;
}

std::int64_t fitEightColours(const Planes& p, BlockCode& code, std::uint16_t recon[16]) {
    unsigned mask = 0;
    std::int64_t error = 0;
    for (int q = 0; q < 4; ++q) {
        const int* idx = kQuadrants[q];
        const unsigned split = bestQuadrantSplit(p, idx);
        int s1[3] = {0, 0, 0}, s2[3] = {0, 0, 0}, n1 = 0;
        for (int k = 0; k < 4; ++k) {
            const int i = idx[k];
            const bool inFirst = (split >> k) & 1u;
            if (inFirst) {
                ++n1;
                mask |= 1u << i;
            }
            int* s = inFirst ? s1 : s2;
            s[0] += p.r[i], s[1] += p.g[i], s[2] += p.b[i];
        }
        const Rgb second = roundedMean(s2[0], s2[1], s2[2], 4 - n1);
        const Rgb first = n1 > 0 ? roundedMean(s1[0], s1[1], s1[2], n1) : second;
        const std::uint16_t wf = toWord(first), ws = toWord(second);
        code.words[1 + 2 * q] = wf;
        code.words[2 + 2 * q] = ws;
        for (int k = 0; k < 4; ++k) {
            const bool isFirst = (split >> k) & 1u;
            recon[idx[k]] = isFirst ? wf : ws;
            error += distance2(p, idx[k], isFirst ? first : second);
        }
    }
    code.words[0] = static_cast<std::uint16_t>(mask);
    code.words[1] |= kEightColourFlag;
    code.count = 9;
    return error;
}

bool allEqual(const std::uint16_t pixels[16]) {
    for (int i = 1; i < 16; ++i) {
        if (pixels[i] != pixels[0])
            return false;
    }
    return true;
}

void copyFit(const BlockCode& code, const std::uint16_t recon[16], std::int64_t cost,
             BlockFit& fit) {
    fit.code = code;
    for (int i = 0; i < 16; ++i) {
        fit.recon[i] = recon[i];
    }
    fit.cost = cost;
}

}  // namespace

std::int64_t blockSquaredError(const std::uint16_t a[16], const std::uint16_t b[16]) {
    std::int64_t error = 0;
    for (int i = 0; i < 16; ++i) {
        const int dr = static_cast<int>(red555(a[i])) - static_cast<int>(red555(b[i]));
        const int dg = static_cast<int>(green555(a[i])) - static_cast<int>(green555(b[i]));
        const int db = static_cast<int>(blue555(a[i])) - static_cast<int>(blue555(b[i]));
        error += dr * dr + dg * dg + db * db;
    }
    return error;
}

bool fitBlock(const std::uint16_t pixels[16], std::int64_t scaledLambda, std::int64_t costToBeat,
              BlockFit& fit) {
    // Each candidate costs at least its bytes; once the best cost so far is
    // below that, the candidate (and every costlier one) cannot win.
    std::int64_t best = costToBeat;
    bool found = false;
    if (best <= kFillBytes * scaledLambda)
        return false;

    Planes p;
    p.total[0] = p.total[1] = p.total[2] = 0;
    for (int i = 0; i < 16; ++i) {
        p.r[i] = static_cast<std::int16_t>(red555(pixels[i]));
        p.g[i] = static_cast<std::int16_t>(green555(pixels[i]));
        p.b[i] = static_cast<std::int16_t>(blue555(pixels[i]));
        p.total[0] += p.r[i], p.total[1] += p.g[i], p.total[2] += p.b[i];
    }
    BlockCode code;
    std::uint16_t recon[16];

    std::int64_t cost = kCostScale * fitFill(p, code, recon) + kFillBytes * scaledLambda;
    if (cost < best) {
        copyFit(code, recon, cost, fit);
        best = cost;
        found = true;
    }
    if (best <= kTwoColourBytes * scaledLambda)
        return found;
    const bool uniform = allEqual(pixels);

    cost = kCostScale * fitTwoColours(p, code, recon) + kTwoColourBytes * scaledLambda;
    if (cost < best) {
        copyFit(code, recon, cost, fit);
        best = cost;
        found = true;
    }
    if (uniform || best <= kEightColourBytes * scaledLambda)
        return found;

    cost = kCostScale * fitEightColours(p, code, recon) + kEightColourBytes * scaledLambda;
    if (cost < best) {
        copyFit(code, recon, cost, fit);
        found = true;
    }
    return found;
}

}  // namespace media::video1
