// The pieces every page shares: the dark title bar with its logo, title, web
// links and window buttons, the footer with the legal notice, and grey lines.
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui/drui.h"
#include "ui/look.h"

namespace {

constexpr int kFooterHeight = 40;
constexpr int kWindowButtonSize = 30;
// The link buttons' images are drawn at 2.5 times the size they are shown at.
constexpr double kLinkImageScale = 2.5;
constexpr int kLinkButtonY = 40;
constexpr int kLinkButtonStep = 30;

const QString kLegalNotice = QStringLiteral("\u00a9 2026 Tessaly. All rights reserved.");

struct LinkButtonInfo {
    const char* image;
    const char* objectName;
    void (DRUI::*slot)();
};

// Indices 0 about, 1 support, 2 help, right to left along the title bar.
const LinkButtonInfo kLinks[] = {
    {":/image/about.png", "aboutLink", &DRUI::btnAboutSlot},
    {":/image/support.png", "supportLink", &DRUI::btnSupportSlot},
    {":/image/help.png", "helpLink", &DRUI::btnHelpSlot},
};

QPushButton* windowButton(QWidget* titleBar, int x, const QString& image, const QString& name) {
    auto* button = new QPushButton(titleBar);
    button->setObjectName(name);
    button->setGeometry(x, 0, kWindowButtonSize, kWindowButtonSize);
    button->setIcon(QIcon(image));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

}  // namespace

QHBoxLayout* DRUI::buildTitleBar(PageIndex page) {
    const int w = pageWidth();
    auto* titleBar = new QLabel;
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setMinimumSize(w, look::kTitleBarHeight);
    titleBar->setStyleSheet(look::darkFill());

    auto* logo = new QLabel(titleBar);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setGeometry(15, 6, 30, 50);
    const QPixmap logoImage(QStringLiteral(":/image/logo.png"));
    if (!logoImage.isNull()) {
        logo->setPixmap(
            logoImage.scaled(logo->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
    }
    logo->setAlignment(Qt::AlignLeft);

    auto* title = new QLabel(QStringLiteral("Tessaly Recorder"), titleBar);
    title->setObjectName(QStringLiteral("title"));
    title->setGeometry(65, 12, 300, 30);
    title->setFont(look::titleFont());
    title->setStyleSheet(look::whiteText());
    title->setAlignment(Qt::AlignLeft);

    auto* close = windowButton(titleBar, w - 30, QStringLiteral(":/image/close.png"),
                               QStringLiteral("closeButton"));
    connect(close, &QPushButton::clicked, this, &DRUI::btnCloseSlot);
    auto* max = windowButton(titleBar, w - 61, QStringLiteral(":/image/max.png"),
                             QStringLiteral("maxButton"));
    connect(max, &QPushButton::clicked, this, &DRUI::btnMaxSlot);
    maxButtons[page] = max;
    auto* min = windowButton(titleBar, w - 92, QStringLiteral(":/image/minimize.png"),
                             QStringLiteral("minimizeButton"));
    connect(min, &QPushButton::clicked, this, &DRUI::btnMinSlot);

    for (int index = 0; index < 3; ++index) {
        linkButton(index, w - kLinkButtonStep * (index + 1), titleBar);
    }

    auto* box = new QHBoxLayout;
    box->setSpacing(0);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(titleBar);
    return box;
}

QPushButton* DRUI::linkButton(int index, int x, QWidget* titleBar) {
    const LinkButtonInfo& link = kLinks[index];
    auto* button = new QPushButton(titleBar);
    button->setObjectName(QLatin1String(link.objectName));
    button->setFlat(true);
    button->setGeometry(x, kLinkButtonY, 40, 20);
    button->setFont(look::linkFont());
    const QPixmap image(QLatin1String(link.image));
    if (!image.isNull()) {
        const QSize shown(int(image.width() / kLinkImageScale),
                          int(image.height() / kLinkImageScale));
        button->setIcon(QIcon(image));
        button->setIconSize(shown);
        button->resize(shown);
    }
    button->setStyleSheet(look::darkFill());
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, this, link.slot);
    return button;
}

QLabel* DRUI::buildFooter() {
    const int w = pageWidth();
    auto* footer = new QLabel;
    footer->setObjectName(QStringLiteral("footer"));
    footer->setMinimumSize(w, kFooterHeight);
    footer->setStyleSheet(look::darkFill());

    auto* notice = new QLabel(kLegalNotice, footer);
    notice->setObjectName(QStringLiteral("legalNotice"));
    notice->setGeometry(10, 10, w, 30);
    notice->setStyleSheet(look::whiteText());
    notice->setFont(look::legalNoticeFont());
    notice->setAlignment(Qt::AlignHCenter);
    return footer;
}

QLabel* DRUI::greyLine(int height) {
    auto* line = new QLabel;
    line->setStyleSheet(look::greyFill());
    line->setFixedSize(pageWidth(), height);
    return line;
}
