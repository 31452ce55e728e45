#include "recorder/clock.h"

#include <chrono>

namespace recorder {

QDateTime SystemClock::localNow() const {
    return QDateTime::currentDateTime();
}

std::int64_t SystemClock::monotonicMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace recorder
