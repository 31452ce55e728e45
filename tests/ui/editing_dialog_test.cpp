// What the window adds to the editing engine, through Cut and Merge on real
// recordings read back by our reader: the progress dialog fed from the worker
// thread, the one message box at the end, refusals, and giving a job up. No
// test may hang on a modal box: each one is a recorded hook.
#include <QDir>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "editing/edit_job.h"
#include "tests/support/programs.h"
#include "tests/support/sample_recordings.h"
#include "ui/scanui.h"
#include "ui_test_support.h"

namespace {

// One message box the dialog or the window asked for: "kind title: text".
using Shown = std::string;
Shown box(const char* kind, const QString& title, const QString& text) {
    return (kind + (" " + title + ": " + text)).toStdString();
}
const Shown kCutQuestion = box("question", "Cut", "Clipping files, need to exit?");

Shown success(const QString& title, const QString& target) {
    return box("success", title, title + " success, file path is " + target + " ");
}

// Test double of the message boxes: records each one instead of showing it
// and answers the question with `answerYes`.
struct MessageLog {
    std::vector<Shown> shown;
    bool answerYes = false;
    std::function<void()> whileAsking;

    std::function<void(QWidget*, const QString&, const QString&)> recorder(const char* kind) {
        return [this, kind](QWidget*, const QString& title, const QString& text) {
            EXPECT_EQ(QThread::currentThread(), qApp->thread()) << "a box asked for by the worker";
            shown.push_back(box(kind, title, text));
        };
    }
    ProgressMessages hooks() {
        return {recorder("failure"), recorder("success"),
                [this](QWidget* parent, const QString& title, const QString& text) {
                    recorder("question")(parent, title, text);
                    if (whileAsking) {
                        whileAsking();
                    }
                    return answerYes;
                }};
    }
};

// A recording whose cut is given up long before its end: 20 s at 5 fps.
constexpr int kLongFrames = 100;

class EditingWindowTest : public MainWindowTest {
  protected:
    static void SetUpTestSuite() {
        recordings_ = new QTemporaryDir;
        ASSERT_TRUE(recordings_->isValid());
        const std::tuple<const char*, int, bool> files[] = {
            {"a.avi", 40, true}, {"b.avi", 30, false}, {"long.avi", kLongFrames, true}};
        for (const auto& [name, frames, withSound] : files) {
            const avisamples::RecordingShape shape{.frames = frames,
                                                   .width = 32,
                                                   .height = 32,
                                                   .video1 = true,
                                                   .withSound = withSound};
            ASSERT_EQ(avisamples::writeRecording(recordingPath(name), shape), 0);
        }
        QFile bad(recordingPath("bad.avi"));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("not a recording at all");
        // Test double of the player: takes its commands and never answers,
        // so the range comes from the seeks alone.
        QFile player(recordingPath("stand-in-player"));
        ASSERT_TRUE(player.open(QIODevice::WriteOnly));
        player.write("#!/bin/sh\nexec cat >/dev/null\n");
        player.setPermissions(QFile::ExeOwner | QFile::ReadOwner);
    }
    static void TearDownTestSuite() { delete recordings_; }
    static QString recordingPath(const char* name) { return recordings_->filePath(name); }

    void SetUp() override {
        MainWindowTest::SetUp();
        writeIni(recordings_->path());
        buildPages();
        window->progressMessages = log.hooks();
        window->showWarning = log.recorder("warning");
        window->chooseDirectory = [this](QWidget*, const QString&) { return chosen; };
        window->previewPlayer().findProgram = [] { return recordingPath("stand-in-player"); };
        window->show();
    }

    // Clicks the recording in the cut page's table, plays it and takes the
    // range from two seeks, as the user does with the slider.
    void chooseCutRange(const QString& name, int start, int end) {
        window->homeTrimButton->click();
        const QList<QTableWidgetItem*> found = window->cutTable->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        QTest::mouseClick(window->cutTable->viewport(), Qt::LeftButton, {},
                          window->cutTable->visualItemRect(found.first()).center());
        window->playButton->click();
        window->current(start);
        window->btnSetHead();
        window->current(end);
        window->btnSetTail();
    }

    // Presses a button that runs a job under the modal progress dialog. With
    // `whileHeld`, the worker is held at its first report after a written
    // frame while that acts on the dialog (and may release `goOn` itself). A
    // dialog still up after the settle time is given up, so a broken job
    // fails the test instead of hanging it.
    void press(QPushButton* button,
               const std::function<void(SCANUI&, QSemaphore&)>& whileHeld = {}) {
        QSemaphore jobRunning;
        QSemaphore goOn;
        std::atomic<bool> held = !whileHeld;
        QObject context;
        const auto hold = [&](int percent, const QString&, const QString&, int) {
            if (percent > 0 && !held.exchange(true)) {
                jobRunning.release();
                goOn.tryAcquire(1, kSettleTimeoutMs);
            }
        };
        for (auto signal : {&DRUI::CutProcessCallBack, &DRUI::AddProcessCallBack}) {
            QObject::connect(window.get(), signal, &context, hold, Qt::DirectConnection);
        }
        QTimer poll;
        const QDeadlineTimer deadline(kSettleTimeoutMs * 3);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog && deadline.hasExpired()) {
                ADD_FAILURE() << "the progress dialog did not close";
                log.answerYes = true;
                dialog->close();
            } else if (jobRunning.tryAcquire()) {
                QCoreApplication::sendPostedEvents();
                whileHeld(*qobject_cast<SCANUI*>(dialog), goOn);
                goOn.release();
            }
        });
        poll.start(1);
        button->click();
        // The hold runs on the worker: it must be done before its state goes.
        EXPECT_TRUE(processEventsUntil([&] { return !window->editThread().isRunning(); }));
    }

    QStringList outputFiles() const { return QDir(out.path()).entryList(QDir::Files); }

    static inline QTemporaryDir* recordings_ = nullptr;
    QTemporaryDir out;
    QString chosen;
    MessageLog log;
};

TEST_F(EditingWindowTest, EachCutReportsItsOwnEndAndRefusedCutsStartNothing) {
    const Shown refusal = box("warning", "Cut", "The end time must be after the start time.");
    const struct {
        const char* recording;
        int start;
        int end;
        bool chooserAnswers;
        const char* written;  // the file the cut writes, if any
        Shown expected;       // else the one box shown, if any
    } cases[] = {
        {"a.avi", 3, 3, true, nullptr, refusal},
        {"a.avi", 2, 5, false, nullptr, {}},  // cancelled chooser
        {"bad.avi", 2, 5, true, nullptr,
         box("failure", "Cut",
             "Clip failed, not an valid format, it's better to clip created AVI files")},
        // A failed cut does not colour the next; a taken name gets a free one.
        {"a.avi", 2, 5, true, "Cut_a.avi", {}},
        {"a.avi", 2, 5, true, "Cut_a(1).avi", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recording << " " << c.start << "-" << c.end);
        const qsizetype filesBefore = outputFiles().size();
        log.shown.clear();
        chosen = c.chooserAnswers ? out.path() : QString();
        chooseCutRange(c.recording, c.start, c.end);
        press(window->cutButton);
        const Shown expected = c.written ? success("Cut", out.filePath(c.written)) : c.expected;
        EXPECT_EQ(log.shown, expected.empty() ? std::vector<Shown>{} : std::vector{expected});
        EXPECT_EQ(outputFiles().size(), filesBefore + (c.written ? 1 : 0));
        if (c.written) {
            EXPECT_EQ(testsupport::ffprobeDecodedFrames(out.filePath(c.written).toStdString()),
                      15);  // source frames 10 to 24
        }
    }
}

TEST_F(EditingWindowTest, MergeJoinsTheListAfterAChosenDirectory) {
    window->homeMergeButton->click();
    for (int row : {0, 1}) {  // a.avi, with sound, and b.avi, without
        window->sourceTable->selectRow(row);
        window->btnAddSlot();
    }
    press(window->mergeButton);  // the chooser is cancelled
    EXPECT_TRUE(log.shown.empty());
    EXPECT_TRUE(window->mergeNames().isEmpty());

    chosen = out.path();
    press(window->mergeButton);
    const QStringList written = outputFiles();
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(log.shown, std::vector<Shown>{success("Merge", out.filePath(written.first()))});
    EXPECT_EQ(testsupport::ffprobeDecodedFrames(out.filePath(written.first()).toStdString()),
              40 + 30);
    EXPECT_EQ(window->mergeNames(), (QStringList{recordingPath("a.avi"), recordingPath("b.avi")}));
}

// Cancel and Escape ask first and only Yes gives the job up; closing the
// window (the tray's Quit) gives it up without asking.
TEST_F(EditingWindowTest, GivingUpARunningJobAsksAndOnlyYesStopsIt) {
    const QString cutTarget = out.filePath("Cut_long.avi");
    const auto cancel = [](SCANUI& dialog) { dialog.cancelButton()->click(); };
    const auto escape = [](SCANUI& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    const struct {
        std::function<void(SCANUI&)> trigger;
        bool yes;
        bool endsWhileAsking;
        std::vector<Shown> expected;
    } cases[] = {
        {cancel, true, false, {kCutQuestion}},
        {escape, false, false, {kCutQuestion, success("Cut", cutTarget)}},
        // The job reaches its end while the question is up: Yes is too late.
        {cancel, true, true, {kCutQuestion, success("Cut", cutTarget)}},
        {[this](SCANUI&) { window->close(); }, true, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "yes " << c.yes << " ends " << c.endsWhileAsking);
        SetUp();
        QFile::remove(cutTarget);
        log.shown.clear();
        log.answerYes = c.yes;
        chosen = out.path();
        chooseCutRange("long.avi", 1, kLongFrames / 5);
        press(window->cutButton, [&](SCANUI& dialog, QSemaphore& goOn) {
            if (c.endsWhileAsking) {
                log.whileAsking = [&] {
                    goOn.release();
                    EXPECT_TRUE(
                        processEventsUntil([&] { return window->editThread().isFinished(); }));
                    QCoreApplication::sendPostedEvents();  // its last reports
                };
            }
            c.trigger(dialog);
            log.whileAsking = nullptr;
        });
        const bool gaveUp = editing::isEditCancelled.load();
        EXPECT_EQ(log.shown, c.expected);
        EXPECT_EQ(gaveUp, c.expected.size() < 2);
        // A given-up cut stays, complete and readable, and stopped early.
        const int written = testsupport::ffprobeDecodedFrames(cutTarget.toStdString());
        EXPECT_GT(written, 0);
        EXPECT_EQ(written < kLongFrames - 5, gaveUp);
    }
    editing::isEditCancelled = false;
}

}  // namespace
