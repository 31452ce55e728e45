#include "player/trim_range.h"

#include "player/answer_parser.h"

namespace player {

void TrimRange::takeStart(const QString& positionText) {
    trimStartSeconds = leadingInteger(positionText);
}

void TrimRange::takeEnd(const QString& positionText) {
    trimEndSeconds = leadingInteger(positionText);
}

}  // namespace player
