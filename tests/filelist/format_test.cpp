// The size and duration texts shown throughout the user interface: each unit
// and its threshold, rounding in the last digit, counts beyond 32 bits, and
// negative counts, which show their low 32 bits.
#include "filelist/format.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();

TEST(FormatDuration, SecondsMinutesAndHours) {
    const struct {
        qint64 seconds;
        QString text;
    } cases[] = {
        {0, "0 S"},
        {59, "59 S"},
        {60, "1 M 0 S"},
        {3599, "59 M 59 S"},
        {3600, "1 H 0 M"},
        {7199, "1 H 59 M"},
        {90000, "25 H 0 M"},
        {(qint64{3} << 32) * 3600 + 61, "12884901888 H 1 M"},
        {kMax, QString::asprintf("%lld H %lld M", kMax / 3600, (kMax % 3600) / 60)},
        {-3725, "-3725 S"},
        {-(qint64{1} << 32) - 5, "-5 S"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
}

TEST(FormatSize, EachUnitItsThresholdAndRounding) {
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.00 KB"},
        {1029, "1.00 KB"},  // 1.0048828125
        {1030, "1.01 KB"},  // 1.005859375
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {1152 * 1024, "1.12 MB"},  // 1.125 is exact: round half to even
        {(qint64{1} << 30) - 1, "1024.00 MB"},
        {qint64{5} << 28, "1.25 GB"},
        {qint64{1} << 40, "1.00 TB"},
        {qint64{1} << 50, "1024.00 TB"},
        {kMax, "8388608.00 TB"},
        {-2048, "-2048 Bytes"},
        {std::numeric_limits<qint64>::min(), "0 Bytes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

}  // namespace
