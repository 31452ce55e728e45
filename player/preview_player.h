// The preview's player process and the client side of its slave-mode
// protocol: start, pause, resume, seek, quit, the query cycle that keeps the
// position and length up to date, and the end of playback.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <vector>

#include "player/answer_parser.h"

class QProcess;

namespace player {

enum class PlayerState {
    Idle,     // no player process
    Playing,  // the player plays; the query cycle runs
    Paused,   // paused by "pause"; nothing is sent until it resumes
    Ended,    // the player reached the end, exited or could not start
};

class PreviewPlayer : public QObject {
    Q_OBJECT

  public:
    // The answers are polled at most this often, so that a preview never
    // keeps a processor core busy; ten position updates a second still move
    // the slider smoothly at the recordings' 5 frames a second.
    static constexpr int kQueryIntervalMs = 100;
    // A batch of queries whose answers have not all come back after this long
    // is taken as lost, and the next one goes out.
    static constexpr int kLostBatchMs = 1000;

    explicit PreviewPlayer(QObject* parent = nullptr);
    // Kills a running player: it never outlives the window that shows it.
    ~PreviewPlayer() override;

    // Finds the player program at each start (a player shipped beside the
    // recorder, else mplayer on PATH); replaceable so that tests can run a
    // stand-in.
    std::function<QString()> findProgram;

    // Ends any earlier player at once, then starts one playing `file` into
    // the native window `windowId`. Playing on success; Ended, with
    // startFailed emitted, when there is no player or it cannot run.
    void start(const QString& file, quint64 windowId);
    void pause();
    // Asks for the position, which also resumes a paused player.
    void resume();
    // Seeks to `seconds` from the start and stays paused when paused.
    void seek(int seconds);
    // Leaving the preview: asks the player to quit and ends it at once.
    void quit();
    // Ends the player at once without asking it first.
    void kill();

    // Takes the player's output that has arrived and keeps the query cycle
    // going; the answers are returned in the order they came.
    std::vector<PlayerAnswer> readAnswers();

    PlayerState state() const { return state_; }
    QProcess* process() const { return process_; }
    // The last position as text: the player's last answer as written
    // (12.36), or the decimal second of the last seek.
    const QString& positionText() const { return positionText_; }
    qint64 lengthSeconds() const { return lengthSeconds_; }
    float lengthExact() const { return lengthExact_; }

  signals:
    // The player wrote something; the window reads it with readAnswers().
    void outputArrived();
    // The player ended without being told to: the end of the file, an exit
    // or a crash. Not emitted for quit() or kill().
    void ended();
    // The player could not be started at all; `message` says how to fix it.
    void startFailed(const QString& message);

  private:
    void send(const char* command);
    void sendQueries();
    void scheduleQueries();
    void onQueryTimer();
    void onFinished();
    void onStartError();
    void apply(const PlayerAnswer& answer);
    void endProcess(bool askToQuit);
    void failStart(const QString& message);

    QProcess* process_ = nullptr;
    PlayerState state_ = PlayerState::Idle;
    AnswerLineSplitter lines_;
    QString positionText_;
    qint64 lengthSeconds_ = 0;
    float lengthExact_ = 0;

    QTimer queryTimer_;
    QElapsedTimer sinceBatch_;
    bool batchInFlight_ = false;
    // Holds a plainly named link to a recording whose name is not UTF-8,
    // which a command line cannot carry.
    QTemporaryDir linkDir_;
};

}  // namespace player
