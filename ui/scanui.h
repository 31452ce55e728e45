// The modal progress dialog of a cut or a merge. The worker's reports arrive
// as queued calls of the two report slots; the dialog shows the percent and
// the files in hand, and at the end one message box saying where the result
// is or that the job failed. Closing it while the job runs asks first, and a
// Yes gives the job up.
#pragma once

#include <QDialog>
#include <QString>

#include "ui/message_boxes.h"

class DRUI;
class QLabel;
class QProgressBar;
class QPushButton;

class SCANUI : public QDialog {
    Q_OBJECT

  public:
    // What the current job is; the texts of the message boxes follow it.
    enum JobKind { kMergeJob = 1, kCutJob = 2 };

    explicit SCANUI(QWidget* parent = nullptr);
    ~SCANUI() override;

    // Listens to the window's progress signals. Call before the worker
    // starts, so that no report is lost. Closing the window gives the job up.
    void connectSignals(DRUI* window);
    void setJobKind(JobKind kind) { editJobKind = kind; }

    JobKind jobKind() const { return editJobKind; }
    // The job's last report said 100 with status 0.
    bool jobDone() const { return editJobDone; }
    // The status of the last report: nonzero once the job has failed.
    int jobResult() const { return editJobResult; }
    // The output file of the last report.
    const QString& lastTarget() const { return targetName; }

    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* progressLabel() const { return progressText; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* closeButton() const { return closeButton_; }

    // Replaceable so that no modal box blocks a test.
    ProgressMessages messages;

  public slots:
    void btnSlot();
    void CutProcessCallBackSlot(int nProcess, QString strCurMergeName, QString strTargetName,
                                int nRet);
    void AddProcessCallBackSlot(int nProcess, QString strCurMergeName, QString strTargetName,
                                int nRet);
    // Escape closes like the Cancel button: a running job is never left
    // without asking.
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    QWidget* buildTitleBar();
    void showReport(int percent, const QString& source, const QString& target, int status);
    bool jobEnded() const { return editJobDone || editJobResult != 0; }
    // The main window went away: the job is given up without a question.
    void abandonJob();

    DRUI* window_ = nullptr;
    QLabel* progressText = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QString targetName;

    JobKind editJobKind = kCutJob;
    bool editJobDone = false;
    int editJobResult = 0;
    // Set once the dialog has closed for good: later reports go nowhere and
    // no second message box is shown.
    bool closed_ = false;
};
