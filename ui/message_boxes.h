// The modal message boxes of the editing jobs, as replaceable hooks: a test
// puts its own function in their place so that no box ever waits for a click.
// The defaults show the real boxes with the given parent.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace messageboxes {

// A box with one OK button.
using Notice = std::function<void(QWidget* parent, const QString& title, const QString& text)>;
// A question with the buttons Yes and No: true for Yes.
using Question = std::function<bool(QWidget* parent, const QString& title, const QString& text)>;

void information(QWidget* parent, const QString& title, const QString& text);
void critical(QWidget* parent, const QString& title, const QString& text);
bool askYesNo(QWidget* parent, const QString& title, const QString& text);

}  // namespace messageboxes

// The three boxes of the progress dialog: the failure, the success, and the
// question before a running job is given up.
struct ProgressMessages {
    messageboxes::Notice failure = messageboxes::critical;
    messageboxes::Notice success = messageboxes::information;
    messageboxes::Question giveUp = messageboxes::askYesNo;
};
