// The range of a recording to keep, in whole seconds, taken from the
// preview's position with the Start Time and End Time buttons.
#pragma once

#include <QString>
#include <QtGlobal>

namespace player {

struct TrimRange {
    qint64 trimStartSeconds = 0;
    qint64 trimEndSeconds = 0;

    // Both read the leading integer of the position text, so a position of
    // 12.9 seconds is taken as 12. Neither compares with the other end: the
    // cut refuses a range whose end is not after its start.
    void takeStart(const QString& positionText);
    void takeEnd(const QString& positionText);
    bool endsAfterStart() const { return trimEndSeconds > trimStartSeconds; }
};

}  // namespace player
