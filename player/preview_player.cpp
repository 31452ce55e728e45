#include "player/preview_player.h"

#include <QCoreApplication>
#include <QProcess>

#include "platform/child_process.h"
#include "platform/native_path.h"
#include "player/player_command_line.h"

namespace player {

namespace {

// A killed player is reaped at once; this only bounds a process the kernel
// has not let go of yet.
constexpr int kReapWaitMs = 1000;

const QString& playerMissingMessage() {
    static const QString text =
        QStringLiteral("Preview needs MPlayer: install the mplayer package.");
    return text;
}

}  // namespace

PreviewPlayer::PreviewPlayer(QObject* parent) : QObject(parent) {
    findProgram = [] { return findPlayerProgram(QCoreApplication::applicationDirPath()); };
    queryTimer_.setSingleShot(true);
    connect(&queryTimer_, &QTimer::timeout, this, &PreviewPlayer::onQueryTimer);
}

PreviewPlayer::~PreviewPlayer() {
    endProcess(false);
}

void PreviewPlayer::start(const QString& file, quint64 windowId) {
    endProcess(false);
    lines_.clear();
    batchInFlight_ = false;
    sinceBatch_.invalidate();

    const QString program = findProgram ? findProgram() : QString();
    if (program.isEmpty()) {
        failStart(playerMissingMessage());
        return;
    }
    if (!linkDir_.isValid()) {
        failStart(QStringLiteral("Preview cannot start: no temporary directory."));
        return;
    }
    const QString visibleFile = platform::childVisiblePath(file, linkDir_.path());
    if (visibleFile.isEmpty()) {
        failStart(QStringLiteral("Preview cannot open %1.").arg(platform::displayPath(file)));
        return;
    }

    process_ = new QProcess;
    // The player's warnings go nowhere: an unusable video driver can print
    // thousands of lines a second, and only its standard output is read.
    process_->setStandardErrorFile(QProcess::nullDevice());
    platform::endChildWithParent(*process_);
    connect(process_, &QProcess::readyReadStandardOutput, this, &PreviewPlayer::outputArrived);
    connect(process_, &QProcess::finished, this, &PreviewPlayer::onFinished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            onStartError();
        }
    });
    state_ = PlayerState::Playing;
    process_->start(program, playerArguments(windowId, visibleFile), QIODevice::ReadWrite);
}

void PreviewPlayer::pause() {
    if (state_ != PlayerState::Playing) {
        return;
    }
    send("pause\n");
    state_ = PlayerState::Paused;
    queryTimer_.stop();
}

void PreviewPlayer::resume() {
    if (state_ != PlayerState::Paused) {
        return;
    }
    state_ = PlayerState::Playing;
    sendQueries();
}

void PreviewPlayer::seek(int seconds) {
    if (!process_) {
        return;
    }
    send(QStringLiteral("seek %1 2\n").arg(seconds).toUtf8().constData());
    // Any command resumes a paused player; "pause" right after keeps it paused.
    if (state_ != PlayerState::Playing) {
        send("pause\n");
    }
    positionText_ = QString::number(seconds);
}

void PreviewPlayer::quit() {
    endProcess(true);
}

void PreviewPlayer::kill() {
    endProcess(false);
}

std::vector<PlayerAnswer> PreviewPlayer::readAnswers() {
    std::vector<PlayerAnswer> answers;
    if (!process_) {
        return answers;
    }
    lines_.append(process_->readAllStandardOutput());
    for (const QByteArray& line : lines_.takeLines()) {
        PlayerAnswer answer = parseAnswerLine(line);
        if (answer.kind == PlayerAnswer::Kind::Other) {
            continue;
        }
        apply(answer);
        answers.push_back(std::move(answer));
    }
    scheduleQueries();
    return answers;
}

void PreviewPlayer::apply(const PlayerAnswer& answer) {
    switch (answer.kind) {
        case PlayerAnswer::Kind::TimePosition:
            positionText_ = answer.value.trimmed();
            break;
        case PlayerAnswer::Kind::Length:
            lengthSeconds_ = leadingInteger(answer.value);
            lengthExact_ = static_cast<float>(readNumber(answer.value));
            break;
        case PlayerAnswer::Kind::PercentPosition:
            // The last answer of a batch: the next batch may go out.
            batchInFlight_ = false;
            break;
        case PlayerAnswer::Kind::EndOfFile:
            state_ = PlayerState::Ended;
            queryTimer_.stop();
            break;
        case PlayerAnswer::Kind::Other:
            break;
    }
}

void PreviewPlayer::send(const char* command) {
    // A player that has gone cannot take commands; the pipe would only fail.
    if (process_ && process_->state() == QProcess::Running) {
        process_->write(command);
    }
}

void PreviewPlayer::sendQueries() {
    send("get_time_length\n");
    send("get_time_pos\n");
    send("get_percent_pos\n");
    batchInFlight_ = true;
    sinceBatch_.start();
}

void PreviewPlayer::scheduleQueries() {
    if (state_ != PlayerState::Playing) {
        return;
    }
    if (!sinceBatch_.isValid()) {
        sendQueries();  // the player's first output opens the cycle
        return;
    }
    const qint64 elapsed = sinceBatch_.elapsed();
    const qint64 wait = batchInFlight_ ? kLostBatchMs - elapsed : kQueryIntervalMs - elapsed;
    // Restarting keeps the deadline, which counts from the last batch.
    queryTimer_.start(static_cast<int>(qMax<qint64>(0, wait)));
}

void PreviewPlayer::onQueryTimer() {
    if (state_ != PlayerState::Playing) {
        return;
    }
    if (batchInFlight_ && sinceBatch_.elapsed() < kLostBatchMs) {
        scheduleQueries();
        return;
    }
    sendQueries();
}

void PreviewPlayer::onFinished() {
    // The end-of-file line may still be unread when the exit is reported.
    if (process_ && process_->bytesAvailable() > 0) {
        emit outputArrived();
    }
    if (state_ == PlayerState::Playing || state_ == PlayerState::Paused) {
        state_ = PlayerState::Ended;
        queryTimer_.stop();
        emit ended();
    }
}

void PreviewPlayer::onStartError() {
    if (state_ == PlayerState::Idle) {
        return;
    }
    const QString program = process_ ? process_->program() : QString();
    failStart(QStringLiteral("Preview cannot start %1: %2")
                  .arg(program, process_ ? process_->errorString() : QString()));
}

void PreviewPlayer::failStart(const QString& message) {
    queryTimer_.stop();
    state_ = PlayerState::Ended;
    emit startFailed(message);
}

void PreviewPlayer::endProcess(bool askToQuit) {
    queryTimer_.stop();
    batchInFlight_ = false;
    state_ = PlayerState::Idle;
    if (!process_) {
        return;
    }
    QProcess* process = process_;
    process_ = nullptr;
    // Nothing the dying player says matters any more.
    process->disconnect(this);
    if (askToQuit && process->state() == QProcess::Running) {
        process->write("quit\n");
    }
    process->kill();
    process->waitForFinished(kReapWaitMs);
    delete process;
}

}  // namespace player
