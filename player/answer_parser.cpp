#include "player/answer_parser.h"

#include <QByteArrayView>
#include <limits>

namespace player {

namespace {

constexpr char kEscape = '\x1b';

// What a terminal would show of a line: a carriage return inside it starts
// the line over (progress lines are rewritten that way), and terminal control
// sequences in front of the text are not part of it.
QByteArrayView visibleText(QByteArrayView line) {
    while (line.endsWith('\r')) {
        line.chop(1);
    }
    if (const qsizetype cr = line.lastIndexOf('\r'); cr >= 0) {
        line = line.sliced(cr + 1);
    }
    while (line.startsWith(kEscape)) {
        // ESC [ parameters final-byte, or ESC and one more character.
        qsizetype end = 1;
        if (line.size() > 1 && line[1] == '[') {
            end = 2;
            while (end < line.size() && (line[end] < 0x40 || line[end] > 0x7e)) {
                ++end;
            }
        }
        line = line.sliced(qMin(end + 1, line.size()));
    }
    return line;
}

struct AnswerName {
    QByteArrayView prefix;
    PlayerAnswer::Kind kind;
};

constexpr AnswerName kAnswers[] = {
    {"ANS_LENGTH=", PlayerAnswer::Kind::Length},
    {"ANS_TIME_POSITION=", PlayerAnswer::Kind::TimePosition},
    {"ANS_PERCENT_POSITION=", PlayerAnswer::Kind::PercentPosition},
};

}  // namespace

std::vector<QByteArray> AnswerLineSplitter::takeLines() {
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n', start)) {
        lines.push_back(pending_.mid(start, end - start));
        start = end + 1;
    }
    pending_.remove(0, start);
    return lines;
}

PlayerAnswer parseAnswerLine(const QByteArray& line) {
    const QByteArrayView text = visibleText(line);
    for (const AnswerName& answer : kAnswers) {
        if (text.startsWith(answer.prefix)) {
            return {answer.kind, QString::fromUtf8(text.sliced(answer.prefix.size()))};
        }
    }
    if (line.contains("(End of file)")) {
        return {PlayerAnswer::Kind::EndOfFile, {}};
    }
    return {};
}

double readNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? value : 0.0;
}

qint64 leadingInteger(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10) {
            break;  // saturates instead of overflowing on absurd input
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace player
