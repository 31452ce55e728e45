// The size and duration texts shown throughout the user interface.
#include "filelist/format.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct DurationCase {
    qint64 seconds;
    const char* text;
};

struct SizeCase {
    qint64 bytes;
    const char* text;
};

constexpr qint64 kPow30 = qint64{1} << 30;
constexpr qint64 kPow40 = qint64{1} << 40;
constexpr qint64 kPow50 = qint64{1} << 50;

TEST(FormatDuration, SecondsMinutesAndHours) {
    const DurationCase cases[] = {
        {0, "0 S"},         {42, "42 S"},         {59, "59 S"},        {60, "1 M 0 S"},
        {125, "2 M 5 S"},   {3599, "59 M 59 S"},  {3600, "1 H 0 M"},   {3725, "1 H 2 M"},
        {7199, "1 H 59 M"}, {86399, "23 H 59 M"}, {90000, "25 H 0 M"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDuration(c.seconds), QString::fromLatin1(c.text)) << c.seconds;
    }
}

TEST(FormatDuration, NegativeCountsShowTheirLow32Bits) {
    EXPECT_EQ(formatDuration(-5), QStringLiteral("-5 S"));
    EXPECT_EQ(formatDuration(-3725), QStringLiteral("-3725 S"));
    // -(2^32) - 5 has the same low 32 bits as -5.
    EXPECT_EQ(formatDuration(-(qint64{1} << 32) - 5), QStringLiteral("-5 S"));
}

TEST(FormatDuration, HoursBeyond32BitsAreNotTruncated) {
    const qint64 hours = qint64{3} << 32;
    EXPECT_EQ(formatDuration(hours * 3600 + 61), QStringLiteral("12884901888 H 1 M"));
    const qint64 max = std::numeric_limits<qint64>::max();
    EXPECT_EQ(formatDuration(max),
              QString::asprintf("%lld H %lld M", max / 3600, (max % 3600) / 60));
}

TEST(FormatSize, EachUnitAndItsThreshold) {
    const SizeCase cases[] = {
        {0, "0 Bytes"},
        {512, "512 Bytes"},
        {1023, "1023 Bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {kPow30 - 1, "1024.00 MB"},
        {kPow30, "1.00 GB"},
        {kPow30 + kPow30 / 4, "1.25 GB"},
        {kPow40 - 1, "1024.00 GB"},
        {kPow40, "1.00 TB"},
        {kPow50, "1024.00 TB"},
        {std::numeric_limits<qint64>::max(), "8388608.00 TB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSize(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
    }
}

TEST(FormatSize, RoundsOnlyInTheLastDigit) {
    // 1029 / 1024 = 1.0048828125 rounds down, 1030 / 1024 = 1.005859375 up.
    EXPECT_EQ(formatSize(1029), QStringLiteral("1.00 KB"));
    EXPECT_EQ(formatSize(1030), QStringLiteral("1.01 KB"));
    // 1.125 is exact in binary: round-half-even of the printf family.
    EXPECT_EQ(formatSize(1152 * 1024), QStringLiteral("1.12 MB"));
}

TEST(FormatSize, NegativeCountsShowTheirLow32Bits) {
    EXPECT_EQ(formatSize(-1), QStringLiteral("-1 Bytes"));
    EXPECT_EQ(formatSize(-2048), QStringLiteral("-2048 Bytes"));
    EXPECT_EQ(formatSize(std::numeric_limits<qint64>::min()), QStringLiteral("0 Bytes"));
}

}  // namespace
