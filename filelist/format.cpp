#include "filelist/format.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace {

constexpr qint64 kSecondsPerMinute = 60;
constexpr qint64 kSecondsPerHour = 3600;

constexpr qint64 kKiB = qint64{1} << 10;
constexpr qint64 kMiB = qint64{1} << 20;
constexpr qint64 kGiB = qint64{1} << 30;
constexpr qint64 kTiB = qint64{1} << 40;

// Room for the largest number printed: 2^63 / 2^40 has 7 integer digits.
constexpr std::size_t kNumberBufferSize = 32;

// Negative counts are shown as the signed value of their low 32 bits, the
// way a plain "%d" of a 32-bit slot shows them.
int low32Signed(qint64 value) {
    return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

// std::to_chars formats exactly as printf's "%.2f" does in the C locale
// (ties of exactly representable values round to even), whatever locale
// the process runs under.
QString twoDecimals(double value, const char* unit) {
    std::array<char, kNumberBufferSize> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 2);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data()) + QLatin1String(unit);
}

}  // namespace

QString formatDuration(qint64 seconds) {
    if (seconds < 0) {
        return QString::asprintf("%d S", low32Signed(seconds));
    }
    if (seconds >= kSecondsPerHour) {
        const qint64 hours = seconds / kSecondsPerHour;
        const qint64 minutes = (seconds - hours * kSecondsPerHour) / kSecondsPerMinute;
        return QString::asprintf("%lld H %lld M", static_cast<long long>(hours),
                                 static_cast<long long>(minutes));
    }
    if (seconds >= kSecondsPerMinute) {
        return QString::asprintf("%lld M %lld S",
                                 static_cast<long long>(seconds / kSecondsPerMinute),
                                 static_cast<long long>(seconds % kSecondsPerMinute));
    }
    return QString::asprintf("%lld S", static_cast<long long>(seconds));
}

QString formatSize(qint64 bytes) {
    // Scaling by an exact power of two keeps "%.2f" the only rounding step.
    if (bytes >= kTiB) {
        return twoDecimals(static_cast<double>(bytes) / static_cast<double>(kTiB), " TB");
    }
    if (bytes >= kGiB) {
        return twoDecimals(static_cast<double>(bytes) * 0x1p-30, " GB");
    }
    if (bytes >= kMiB) {
        return twoDecimals(static_cast<double>(bytes) * 0x1p-20, " MB");
    }
    if (bytes >= kKiB) {
        return twoDecimals(static_cast<double>(bytes) * 0x1p-10, " KB");
    }
    return QString::asprintf("%d Bytes", low32Signed(bytes));
}
