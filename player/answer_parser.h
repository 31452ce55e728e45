// Reading the player's standard output: cutting it into lines and telling the
// few answer lines the preview uses from everything else the player prints.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace player {

// One line of the player's output as far as the preview cares.
struct PlayerAnswer {
    enum class Kind { Length, TimePosition, PercentPosition, EndOfFile, Other };
    Kind kind = Kind::Other;
    // The text after the answer's "NAME=", exactly as the player wrote it
    // (without the line's ending); empty for the other kinds.
    QString value;
};

// Collects output as it arrives and hands out the complete lines; a line
// still being written waits for the next arrival.
class AnswerLineSplitter {
  public:
    void append(const QByteArray& output) { pending_.append(output); }
    // The complete lines received so far, without their line feeds.
    std::vector<QByteArray> takeLines();
    // Drops whatever is buffered (a new player starts).
    void clear() { pending_.clear(); }

  private:
    QByteArray pending_;
};

PlayerAnswer parseAnswerLine(const QByteArray& line);

// A number as the player writes it, blanks around it ignored; anything that
// is not a number reads as 0.
double readNumber(const QString& text);

// The leading integer of a text: optional blanks and a sign, then the digits
// up to the first other character (12.9 gives 12); no digits give 0.
qint64 leadingInteger(const QString& text);

}  // namespace player
