// Cut and Merge: the editing jobs run on the window's worker thread, under
// the modal progress dialog. The user-interface thread asks for the output
// directory, takes the job's inputs and shows the dialog; the worker runs the
// engine and sends each report as a signal, which reaches the dialog queued.
#include <string>

#include "editing/edit_job.h"
#include "ui/drui.h"
#include "ui/scanui.h"

namespace {

constexpr int kDone = 100;

// Paths cross to the job entries as zero-terminated UTF-16, unit for unit,
// so a name with bytes that are not UTF-8 reaches the engine as it was.
QString fromWide(const DRUI::WCHAR* text) {
    return QString(reinterpret_cast<const QChar*>(text));
}

int cutThreadEntry(void* window) {
    auto* drui = static_cast<DRUI*>(window);
    editing::isEditCancelled = false;
    std::u16string outputDir = drui->cutOutputDir().toStdU16String();
    int unused = 0;
    return drui->CutVedio(outputDir.data(), unused);
}

int mergeThreadEntry(void* window, int& progress) {
    auto* drui = static_cast<DRUI*>(window);
    editing::isEditCancelled = false;
    std::u16string outputDir = drui->mergeOutputDir().toStdU16String();
    return drui->mergeAviFiles(outputDir.data(), progress);
}

}  // namespace

void DRUI::btnSlotLayout3Cut() {
    if (!cutState_.endsAfterStart()) {
        showWarning(this, QStringLiteral("Cut"),
                    QStringLiteral("The end time must be after the start time."));
        return;
    }
    cutOutputDir_ = chooseDirectory(this, cutOutputDir_);
    if (cutOutputDir_.isEmpty()) {
        return;
    }
    runEditJob(SCANUI::kCutJob, [](void* window, int&) { return cutThreadEntry(window); });
}

void DRUI::btnSlotLayout4Merge() {
    mergeOutputDir_ = chooseDirectory(this, mergeOutputDir_);
    mergeNames_.clear();
    if (mergeOutputDir_.isEmpty()) {
        return;
    }
    mergeNames_ = mergeList_.paths();
    runEditJob(SCANUI::kMergeJob, mergeThreadEntry);
}

void DRUI::runEditJob(SCANUI::JobKind kind, CMyThread::ThreadFunc entry) {
    // A job given up a moment ago may still be cleaning up; its cancel flag
    // is raised, so it ends before its next frame.
    editThread_->wait();
    SCANUI dialog;
    dialog.messages = progressMessages;
    dialog.setJobKind(kind);
    dialog.connectSignals(this);
    editThread_->setThreadFunc(entry, this);
    editThread_->start(QThread::InheritPriority);
    dialog.exec();
}

void DRUI::giveUpEditJob() {
    if (editThread_->isRunning()) {
        editing::isEditCancelled = true;
        editThread_->wait();
    }
}

int DRUI::CutVedio(WCHAR* outputDir, int&) {
    const editing::CutJob job{cutState_.selectedFile, cutState_.trimStartSeconds,
                              cutState_.trimEndSeconds, fromWide(outputDir)};
    return editing::cutRecording(job,
                                 [this](const editing::EditReport& report) {
                                     emit CutProcessCallBack(report.percent, report.currentSource,
                                                             report.target, report.status);
                                 })
        .status;
}

int DRUI::mergeAviFiles(WCHAR* outputDir, int& progress) {
    const editing::MergeJob job{mergeNames_, fromWide(outputDir)};
    return editing::mergeRecordings(job,
                                    [this, &progress](const editing::EditReport& report) {
                                        if (report.percent < kDone) {
                                            progress = report.percent;
                                        }
                                        emit AddProcessCallBack(report.percent,
                                                                report.currentSource, report.target,
                                                                report.status);
                                    })
        .status;
}
