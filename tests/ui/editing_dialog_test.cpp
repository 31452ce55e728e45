// The progress dialog of the editing jobs, fed with reports from another
// thread as the worker sends them; then Cut and Merge through the window on
// real recordings, with the files read back by our reader.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <ostream>
#include <thread>
#include <vector>

#include "editing/edit_job.h"
#include "media/avi_reader.h"
#include "platform/native_path.h"
#include "tests/filelist/avi_samples.h"
#include "ui/scanui.h"
#include "ui_test_support.h"

namespace {

struct Report {
    int percent;
    QString source;
    QString target;
    int status;
};

// One message box the dialog or the window asked for.
struct Shown {
    QString box;
    QString title;
    QString text;
    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& shown, std::ostream* out) {
    *out << shown.box.toStdString() << " \"" << shown.title.toStdString() << "\": \""
         << shown.text.toStdString() << '"';
}

const QString kCutFailed =
    QStringLiteral("Clip failed, not an valid format, it's better to clip created AVI files");
const QString kMergeFailed =
    QStringLiteral("Merge failed, not an valid format, it's better to merge created AVI files");
const Shown kCutQuestion{"question", "Cut", "Clipping files, need to exit?"};

// Test double of the message boxes: records each one instead of showing it
// and answers the question with `answerYes`.
struct MessageLog {
    QVector<Shown> shown;
    bool answerYes = false;
    bool allOnUserInterfaceThread = true;
    std::function<void()> whileAsking;

    void note(const QString& box, const QString& title, const QString& text) {
        allOnUserInterfaceThread &= QThread::currentThread() == qApp->thread();
        shown.append({box, title, text});
    }
    ProgressMessages hooks() {
        ProgressMessages messages;
        messages.failure = [this](QWidget*, const QString& title, const QString& text) {
            note("failure", title, text);
        };
        messages.success = [this](QWidget*, const QString& title, const QString& text) {
            note("success", title, text);
        };
        messages.giveUp = [this](QWidget*, const QString& title, const QString& text) {
            note("question", title, text);
            if (whileAsking) {
                whileAsking();
            }
            return answerYes;
        };
        return messages;
    }
};

// Reports of a job of `frames` frames: 0 ... then the closing 100.
std::vector<Report> jobReports(int frames, const QString& source, const QString& target,
                               int status) {
    std::vector<Report> reports;
    for (int done = 0; done < frames; ++done) {
        reports.push_back({done * 100 / frames, source, target, 0});
    }
    reports.push_back({100, source, target, status});
    return reports;
}

// Emits the reports from a thread of its own, as the job's worker does, and
// lets the dialog take them.
void sendFromWorker(DRUI& window, SCANUI::JobKind kind, const std::vector<Report>& reports) {
    std::thread worker([&] {
        for (const Report& r : reports) {
            if (kind == SCANUI::kCutJob) {
                emit window.CutProcessCallBack(r.percent, r.source, r.target, r.status);
            } else {
                emit window.AddProcessCallBack(r.percent, r.source, r.target, r.status);
            }
        }
    });
    worker.join();
    QCoreApplication::sendPostedEvents();
}

class ProgressDialogTest : public MainWindowTest {
  protected:
    std::unique_ptr<SCANUI> openDialog(SCANUI::JobKind kind) {
        auto dialog = std::make_unique<SCANUI>();
        dialog->messages = log.hooks();
        dialog->setJobKind(kind);
        dialog->connectSignals(window.get());
        dialog->show();
        return dialog;
    }
    MessageLog log;
};

TEST_F(ProgressDialogTest, ShowsEachReportWhileTheJobRuns) {
    auto dialog = openDialog(SCANUI::kCutJob);
    std::vector<Report> reports = jobReports(15, "/rec/a.avi", "/out/Cut_a.avi", 0);
    reports.resize(2);  // 0 and 6 %
    sendFromWorker(*window, SCANUI::kCutJob, reports);
    EXPECT_EQ(dialog->progressBar()->value(), 6);
    EXPECT_EQ(dialog->progressLabel()->text(),
              "  Process: 6%\n  Current Merger: /rec/a.avi\n  Destination: /out/Cut_a.avi");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(log.shown.isEmpty());
}

TEST_F(ProgressDialogTest, TheJobsEndShowsExactlyOneBox) {
    struct Case {
        const char* name;
        SCANUI::JobKind kind;
        std::vector<Report> reports;
        Shown expected;
    };
    std::vector<Report> failedCut = jobReports(15, "/rec/a.avi", "/out/Cut_a.avi", -1);
    failedCut.erase(failedCut.begin() + 2, failedCut.end() - 1);
    const Case cases[] = {
        {"cut of 15 frames",
         SCANUI::kCutJob,
         jobReports(15, "/rec/a.avi", "/out/Cut_a.avi", 0),
         {"success", "Cut", "Cut success, file path is /out/Cut_a.avi "}},
        {"merge of 75 frames",
         SCANUI::kMergeJob,
         jobReports(75, "/rec/b.avi", "/out/Merge20160305140709.avi", 0),
         {"success", "Merge", "Merge success, file path is /out/Merge20160305140709.avi "}},
        {"merge whose counting pass fails",
         SCANUI::kMergeJob,
         {{100, "/rec/b.avi", "", 2}},
         {"failure", "Merge", kMergeFailed}},
        {"cut whose third frame fails", SCANUI::kCutJob, failedCut, {"failure", "Cut", kCutFailed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.shown.clear();
        auto dialog = openDialog(c.kind);
        sendFromWorker(*window, c.kind, c.reports);
        EXPECT_EQ(log.shown, QVector<Shown>{c.expected});
        EXPECT_TRUE(log.allOnUserInterfaceThread);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->jobDone(), c.expected.box == "success");
        // A stray report after the end shows nothing more.
        sendFromWorker(*window, c.kind, {c.reports.back()});
        EXPECT_EQ(log.shown.size(), 1);
    }
}

TEST_F(ProgressDialogTest, ClosingARunningJobAsksAndOnlyYesGivesItUp) {
    enum class Trigger { CancelButton, TitleBarClose, EscapeKey };
    struct Case {
        SCANUI::JobKind kind;
        int reportsBefore;
        Trigger trigger;
        bool yes;
        Shown question;
    };
    std::vector<Case> cases;
    for (Trigger trigger : {Trigger::CancelButton, Trigger::TitleBarClose, Trigger::EscapeKey}) {
        for (bool yes : {true, false}) {
            cases.push_back({SCANUI::kCutJob, 7, trigger, yes, kCutQuestion});
        }
    }
    // Before the first report of a merge, the question already speaks of it.
    cases.push_back({SCANUI::kMergeJob,
                     0,
                     Trigger::CancelButton,
                     true,
                     {"question", "Merger", "Merging files, need to exit?"}});

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "trigger " << int(c.trigger) << " yes " << c.yes << " kind " << c.kind);
        log.shown.clear();
        log.answerYes = c.yes;
        editing::isEditCancelled = false;
        auto dialog = openDialog(c.kind);
        std::vector<Report> reports = jobReports(15, "/rec/a.avi", "/out/Cut_a.avi", 0);
        reports.resize(static_cast<std::size_t>(c.reportsBefore));
        sendFromWorker(*window, c.kind, reports);
        const int barBefore = dialog->progressBar()->value();
        switch (c.trigger) {
            case Trigger::CancelButton:
                dialog->cancelButton()->click();
                break;
            case Trigger::TitleBarClose:
                dialog->closeButton()->click();
                break;
            case Trigger::EscapeKey:
                QTest::keyClick(dialog.get(), Qt::Key_Escape);
                break;
        }
        EXPECT_EQ(log.shown, QVector<Shown>{c.question});
        EXPECT_EQ(editing::isEditCancelled.load(), c.yes);
        EXPECT_EQ(dialog->isVisible(), !c.yes);
        EXPECT_EQ(dialog->progressBar()->value(), c.yes ? 0 : barBefore);
        if (c.yes) {
            // The given-up job's clean-up still reports; nothing more is shown.
            sendFromWorker(*window, c.kind, {{100, "/rec/a.avi", "/out/Cut_a.avi", 0}});
            EXPECT_EQ(log.shown.size(), 1);
        }
    }
    editing::isEditCancelled = false;
}

TEST_F(ProgressDialogTest, AJobThatEndsWhileTheQuestionIsUpClosesWithItsOwnBox) {
    for (bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        log.shown.clear();
        log.answerYes = yes;
        editing::isEditCancelled = false;
        auto dialog = openDialog(SCANUI::kCutJob);
        log.whileAsking = [&] {
            sendFromWorker(*window, SCANUI::kCutJob, {{100, "/rec/a.avi", "/out/Cut_a.avi", 0}});
        };
        dialog->cancelButton()->click();
        log.whileAsking = nullptr;
        EXPECT_EQ(log.shown, (QVector<Shown>{
                                 kCutQuestion,
                                 {"success", "Cut", "Cut success, file path is /out/Cut_a.avi "}}));
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_FALSE(editing::isEditCancelled.load());
    }
}

// ---- Cut and Merge through the window ----------------------------------------

// Frames of the first video stream, or -1 when our reader cannot open the file.
int videoFrames(const QString& path) {
    media::AviReader reader;
    if (reader.open(platform::encodePathStd(path)) != 0) {
        return -1;
    }
    const int stream = reader.findStream(media::kFccVids, 0);
    return stream < 0 ? -1 : static_cast<int>(reader.stream(stream).length());
}

avisamples::RecordingShape recording(int frames, bool withSound) {
    avisamples::RecordingShape shape;
    shape.frames = frames;
    shape.video1 = true;
    shape.withSound = withSound;
    shape.width = 32;
    shape.height = 32;
    return shape;
}

// A recording whose cut is given up long before its end: 20 s at 5 fps.
constexpr int kLongFrames = 100;

class EditingWindowTest : public MainWindowTest {
  protected:
    static void SetUpTestSuite() {
        ensureApplication();
        recordings_ = new QTemporaryDir;
        ASSERT_TRUE(recordings_->isValid());
        ASSERT_EQ(avisamples::writeRecording(recordingPath("a.avi"), recording(40, true)), 0);
        ASSERT_EQ(avisamples::writeRecording(recordingPath("b.avi"), recording(30, false)), 0);
        ASSERT_EQ(
            avisamples::writeRecording(recordingPath("long.avi"), recording(kLongFrames, true)), 0);
        QFile bad(recordingPath("bad.avi"));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("not a recording at all");
        // Takes the player's commands and never answers: the range comes
        // from the seeks alone.
        QFile player(recordingPath("stand-in-player"));
        ASSERT_TRUE(player.open(QIODevice::WriteOnly));
        player.write("#!/bin/sh\nexec cat >/dev/null\n");
        player.setPermissions(QFile::ExeOwner | QFile::ReadOwner);
    }
    static void TearDownTestSuite() { delete recordings_; }
    static QString recordingPath(const char* name) {
        return QDir(recordings_->path()).filePath(QLatin1String(name));
    }

    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_TRUE(out.isValid());
        writeIni(recordings_->path());
        buildPages();
        window->progressMessages = log.hooks();
        window->showWarning = [this](QWidget*, const QString& title, const QString& text) {
            log.note("warning", title, text);
        };
        window->chooseDirectory = [this](QWidget*, const QString& start) {
            chooserStarts.append(start);
            return chosen;
        };
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

    // Presses a button that opens the modal progress dialog; a dialog still
    // up after the settle time is given up, so a broken job fails the test
    // instead of hanging it.
    void pressAndWait(QPushButton* button) {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            ADD_FAILURE() << "the progress dialog did not close";
            log.answerYes = true;
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                dialog->close();
            }
        });
        watchdog.start(kSettleTimeoutMs * 3);
        button->click();
    }

    QStringList outputFiles() const {
        return QDir(out.path()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    }

    static QTemporaryDir* recordings_;
    QTemporaryDir out;
    QString chosen;
    QStringList chooserStarts;
    MessageLog log;
};

QTemporaryDir* EditingWindowTest::recordings_ = nullptr;

TEST_F(EditingWindowTest, CutsInARowEachReportTheirOwnEnd) {
    struct Case {
        const char* recording;
        const char* written;  // none: the cut fails
    };
    // A failed cut does not colour the next; a taken name gets a free one.
    const Case cases[] = {{"bad.avi", nullptr}, {"a.avi", "Cut_a.avi"}, {"a.avi", "Cut_a(1).avi"}};
    chosen = out.path();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recording);
        log.shown.clear();
        chooseCutRange(c.recording, 2, 5);
        pressAndWait(window->cutButton);
        const QString target = QDir(out.path()).filePath(QLatin1String(c.written));
        const Shown expected =
            c.written ? Shown{"success", "Cut", "Cut success, file path is " + target + " "}
                      : Shown{"failure", "Cut", kCutFailed};
        EXPECT_EQ(log.shown, QVector<Shown>{expected});
        if (c.written) {
            EXPECT_EQ(videoFrames(target), 15);  // source frames 9 to 23
        }
    }
    // Each chooser after the first opens where the last cut went.
    EXPECT_EQ(chooserStarts, (QStringList{QString(), out.path(), out.path()}));
}

TEST_F(EditingWindowTest, RefusedCutsStartNothing) {
    struct Case {
        const char* name;
        int start;
        int end;
        QString chooserAnswer;
        QVector<Shown> expected;
        int chooserAsked;
    };
    const Shown refusal{"warning", "Cut", "The end time must be after the start time."};
    const Case cases[] = {
        {"end before start", 5, 2, out.path(), {refusal}, 0},
        {"end at start", 3, 3, out.path(), {refusal}, 0},
        {"cancelled chooser", 2, 5, QString(), {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.shown.clear();
        chooserStarts.clear();
        chosen = c.chooserAnswer;
        chooseCutRange("a.avi", c.start, c.end);
        pressAndWait(window->cutButton);
        EXPECT_EQ(log.shown, c.expected);
        EXPECT_EQ(chooserStarts.size(), c.chooserAsked);
        EXPECT_TRUE(outputFiles().isEmpty());
        EXPECT_FALSE(window->editThread().isRunning() || window->editThread().isFinished());
    }
}

TEST_F(EditingWindowTest, MergeJoinsTheListAndACancelledChooserStartsNothing) {
    window->homeMergeButton->click();
    for (const char* name : {"a.avi", "b.avi"}) {
        const QList<QTableWidgetItem*> found =
            window->sourceTable->findItems(QLatin1String(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name;
        window->sourceTable->selectRow(found.first()->row());
        window->btnAddSlot();
    }
    pressAndWait(window->mergeButton);  // the chooser is cancelled
    EXPECT_TRUE(log.shown.isEmpty());
    EXPECT_TRUE(window->mergeNames().isEmpty());

    chosen = out.path();
    pressAndWait(window->mergeButton);
    const QStringList written = outputFiles();
    ASSERT_EQ(written.size(), 1);
    EXPECT_TRUE(written.first().startsWith("Merge"));
    const QString target = QDir(out.path()).filePath(written.first());
    const QVector<Shown> expected{
        {"success", "Merge", "Merge success, file path is " + target + " "}};
    EXPECT_EQ(log.shown, expected);
    EXPECT_EQ(videoFrames(target), 40 + 30);
    EXPECT_EQ(window->mergeNames(), (QStringList{recordingPath("a.avi"), recordingPath("b.avi")}));
}

TEST_F(EditingWindowTest, ClosingTheWindowDuringACutGivesTheJobUp) {
    chosen = out.path();
    chooseCutRange("long.avi", 1, kLongFrames / 5);
    // Holds the worker at its first report after a written frame until the
    // window is closed, as the tray's Quit does while the dialog is up.
    QSemaphore jobRunning;
    QSemaphore windowClosed;
    bool held = false;  // touched by the worker only
    QObject::connect(
        window.get(), &DRUI::CutProcessCallBack, window.get(),
        [&](int percent, const QString&, const QString&, int) {
            if (percent > 0 && !held) {
                held = true;
                jobRunning.release();
                windowClosed.tryAcquire(1, kSettleTimeoutMs);
            }
        },
        Qt::DirectConnection);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (jobRunning.tryAcquire()) {
            closer.stop();
            window->close();
            windowClosed.release();
        }
    });
    closer.start(1);
    pressAndWait(window->cutButton);
    EXPECT_TRUE(log.shown.isEmpty());
    EXPECT_TRUE(editing::isEditCancelled.load());
    window.reset();  // joins the worker
    // The partial cut stays, complete and readable, and the job stopped early.
    const int written = videoFrames(QDir(out.path()).filePath("Cut_long.avi"));
    EXPECT_GT(written, 0);
    EXPECT_LT(written, kLongFrames - 5);
    editing::isEditCancelled = false;
}

}  // namespace
