// Time as the recorder sees it: the local date and time that names a
// recording, and a steady millisecond count that paces the capture ticks and
// the header refreshes. An interface so that tests can step time by hand.
#pragma once

#include <QDateTime>
#include <cstdint>

namespace recorder {

class Clock {
  public:
    virtual ~Clock() = default;
    // Local date and time of day.
    virtual QDateTime localNow() const = 0;
    // Milliseconds from an arbitrary start; never goes backwards.
    virtual std::int64_t monotonicMs() const = 0;
};

// The system's local time and its steady clock.
class SystemClock final : public Clock {
  public:
    QDateTime localNow() const override;
    std::int64_t monotonicMs() const override;
};

}  // namespace recorder
