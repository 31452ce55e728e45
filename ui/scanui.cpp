#include "ui/scanui.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "editing/edit_job.h"
#include "platform/native_path.h"
#include "ui/drui.h"
#include "ui/look.h"
#include "ui/window_drag.h"

namespace {

constexpr int kDialogWidth = 500;
constexpr int kDialogHeight = 250;
constexpr int kCloseButtonSize = 30;
// The text and the button strip leave 30 pixels on either side.
constexpr int kBodyWidth = kDialogWidth - 60;
constexpr int kTextHeight = 80;
constexpr int kButtonStripHeight = 40;
// The text holds a percent and two paths; a longer one would only be cut off
// by the fixed-size dialog anyway.
constexpr int kProgressTextLimit = 1024;
constexpr int kDone = 100;

const QString kTitleBarStyle = QStringLiteral("background-color: rgb(28, 28, 28);");

struct JobTexts {
    QString failureTitle;
    QString failure;
    QString successTitle;
    QString success;  // %1 is the output file
    QString questionTitle;
    QString question;
};

const JobTexts& textsFor(SCANUI::JobKind kind) {
    static const JobTexts merge{
        QStringLiteral("Merge"),
        QStringLiteral("Merge failed, not an valid format, it's better to merge created AVI files"),
        QStringLiteral("Merge"),
        QStringLiteral("Merge success, file path is %1 "),
        QStringLiteral("Merger"),
        QStringLiteral("Merging files, need to exit?")};
    static const JobTexts cut{
        QStringLiteral("Cut"),
        QStringLiteral("Clip failed, not an valid format, it's better to clip created AVI files"),
        QStringLiteral("Cut"),
        QStringLiteral("Cut success, file path is %1 "),
        QStringLiteral("Cut"),
        QStringLiteral("Clipping files, need to exit?")};
    return kind == SCANUI::kMergeJob ? merge : cut;
}

}  // namespace

SCANUI::SCANUI(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Dialog"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Tessaly Recorder"));
    setFixedSize(kDialogWidth, kDialogHeight);
    new WindowDragHandler(this);
    buildLayout();
}

SCANUI::~SCANUI() = default;

QWidget* SCANUI::buildTitleBar() {
    auto* titleBar = new QLabel;
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setFixedSize(kDialogWidth, look::kTitleBarHeight);
    titleBar->setStyleSheet(kTitleBarStyle);

    auto* logo = new QLabel(titleBar);
    logo->setGeometry(15, 6, 30, 50);
    const QPixmap logoImage(QStringLiteral(":/image/logo.png"));
    if (!logoImage.isNull()) {
        logo->setPixmap(logoImage.scaled(logo->size(), Qt::KeepAspectRatio));
    }

    auto* title = new QLabel(QStringLiteral("Tessaly Recorder"), titleBar);
    title->setGeometry(65, 12, 200, 30);
    title->setFont(look::titleFont());
    title->setStyleSheet(look::whiteText());

    closeButton_ = new QPushButton(titleBar);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setGeometry(kDialogWidth - kCloseButtonSize, 0, kCloseButtonSize,
                              kCloseButtonSize);
    closeButton_->setIcon(QIcon(QStringLiteral(":/image/close.png")));
    closeButton_->setCursor(Qt::PointingHandCursor);
    connect(closeButton_, &QPushButton::clicked, this, &SCANUI::btnSlot);
    return titleBar;
}

void SCANUI::buildLayout() {
    progressBar_ = new QProgressBar;
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setRange(0, kDone);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);

    progressText = new QLabel;
    progressText->setObjectName(QStringLiteral("progressText"));
    progressText->setFont(QFont(QStringLiteral("Arial"), 10));
    progressText->setStyleSheet(QStringLiteral("color: black;"));
    progressText->setMinimumSize(kBodyWidth, kTextHeight);

    auto* buttonStrip = new QWidget;
    buttonStrip->setMinimumSize(kBodyWidth, kButtonStripHeight);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), buttonStrip);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setGeometry(205, 5, 80, 25);
    cancelButton_->setFlat(true);
    cancelButton_->setFont(QFont(QStringLiteral("Arial"), 10));
    look::makeRoundButton(cancelButton_);
    connect(cancelButton_, &QPushButton::clicked, this, &SCANUI::btnSlot);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(5, 0, 5, 0);
    body->addWidget(progressBar_);
    body->addStretch(2);
    body->addWidget(progressText);
    body->addWidget(buttonStrip);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(buildTitleBar());
    outer->addStretch(2);
    outer->addLayout(body);
}

void SCANUI::connectSignals(DRUI* window) {
    window_ = window;
    connect(window, &DRUI::AddProcessCallBack, this, &SCANUI::AddProcessCallBackSlot);
    connect(window, &DRUI::CutProcessCallBack, this, &SCANUI::CutProcessCallBackSlot);
    connect(window, &DRUI::windowClosed, this, &SCANUI::abandonJob);
}

void SCANUI::btnSlot() {
    close();
}

void SCANUI::reject() {
    close();
}

void SCANUI::CutProcessCallBackSlot(int nProcess, QString strCurMergeName, QString strTargetName,
                                    int nRet) {
    editJobKind = kCutJob;
    showReport(nProcess, strCurMergeName, strTargetName, nRet);
}

void SCANUI::AddProcessCallBackSlot(int nProcess, QString strCurMergeName, QString strTargetName,
                                    int nRet) {
    editJobKind = kMergeJob;
    showReport(nProcess, strCurMergeName, strTargetName, nRet);
}

void SCANUI::showReport(int percent, const QString& source, const QString& target, int status) {
    if (closed_) {
        return;  // the last clean-up reports of a job given up
    }
    progressBar_->setValue(percent);
    targetName = target;
    const QString text = QStringLiteral("  Process: %1%\n  Current Merger: %2\n  Destination: %3")
                             .arg(QString::number(percent), platform::displayPath(source),
                                  platform::displayPath(target));
    progressText->setText(text.left(kProgressTextLimit));

    editJobResult = status;
    if (status != 0) {
        close();
    } else if (percent == kDone) {
        editJobDone = true;
        close();
    }
}

void SCANUI::paintEvent(QPaintEvent*) {
    // The title bar and the controls paint themselves.
}

void SCANUI::closeEvent(QCloseEvent* event) {
    const JobTexts& texts = textsFor(editJobKind);
    if (!closed_ && !jobEnded()) {
        const bool giveUp = messages.giveUp(this, texts.questionTitle, texts.question);
        // Reports keep arriving while the question is up; a job that ended
        // meanwhile closes with its own message instead.
        if (!jobEnded()) {
            if (!giveUp) {
                event->ignore();
                return;
            }
            closed_ = true;
            editing::isEditCancelled = true;
            progressBar_->setValue(0);
            event->accept();
            return;
        }
    }
    event->accept();
    if (closed_) {
        return;
    }
    closed_ = true;
    if (editJobResult != 0) {
        messages.failure(this, texts.failureTitle, texts.failure);
    } else {
        messages.success(this, texts.successTitle,
                         texts.success.arg(platform::displayPath(targetName)));
    }
}

void SCANUI::abandonJob() {
    if (closed_) {
        return;
    }
    closed_ = true;
    editing::isEditCancelled = true;
    done(QDialog::Rejected);
}
