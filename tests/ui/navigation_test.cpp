// Moving between pages, the directory fields' filter, and the web links.
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QUrl>

#include "ui_test_support.h"

namespace {

// Stands in for the desktop's browser: records what the window asks to open.
class OpenedUrls : public QObject {
    Q_OBJECT

  public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;

  public slots:
    void open(const QUrl& url) { urls.append(url); }
};

QUrl shippedPage(const char* name) {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/docs/" + name);
}

void sendFocusEvent(QWidget* target, QEvent::Type type) {
    QFocusEvent event(type, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(target, &event);
}

}  // namespace

TEST_F(MainWindowTest, HomeButtonsOpenTheirPagesAndBackReturnsHome) {
    buildPages();
    struct Route {
        QPushButton* open;
        QWidget* page;
        QPushButton* back;
    };
    const Route routes[] = {
        {window->homeRecordButton, window->recordPage, window->recordBackButton},
        {window->homeMergeButton, window->mergePage, window->mergeBackButton},
        {window->homeTrimButton, window->cutPage, window->cutBackButton},
    };
    for (const Route& route : routes) {
        route.open->click();
        EXPECT_EQ(window->pageStack->currentWidget(), route.page);
        route.back->click();
        EXPECT_EQ(window->pageStack->currentWidget(), window->homePage);
    }
}

TEST_F(MainWindowTest, BackFromOtherPagesLeavesTheSliderAlone) {
    buildPages();
    window->positionSlider->setValue(40);
    window->btnEditSlot();
    window->btnSlotBack();
    EXPECT_EQ(window->positionSlider->value(), 40);
}

TEST_F(MainWindowTest, LeavingADirectoryFieldDisablesAddWithoutConsumingTheEvent) {
    buildPages();
    for (QLineEdit* field : {window->mergeDirEdit, window->cutDirEdit}) {
        for (const QString& text : {QStringLiteral("/tmp"), QString()}) {
            field->setText(text);
            window->addButton->setEnabled(true);
            field->selectAll();
            sendFocusEvent(field, QEvent::FocusOut);
            EXPECT_FALSE(window->addButton->isEnabled());
            // The field's own focus-out handling ran: it dropped the selection.
            EXPECT_FALSE(field->hasSelectedText());
            EXPECT_EQ(field->text(), text);
        }
        QFocusEvent out(QEvent::FocusOut);
        EXPECT_FALSE(window->eventFilter(field, &out));
    }
}

TEST_F(MainWindowTest, EnteringADirectoryFieldChangesNothing) {
    buildPages();
    window->addButton->setEnabled(true);
    sendFocusEvent(window->mergeDirEdit, QEvent::FocusIn);
    sendFocusEvent(window->cutDirEdit, QEvent::FocusIn);
    EXPECT_TRUE(window->addButton->isEnabled());
    QFocusEvent in(QEvent::FocusIn);
    EXPECT_FALSE(window->eventFilter(window->mergeDirEdit, &in));
}

TEST_F(MainWindowTest, DirectoryFieldFilterSurvivesAPageRebuild) {
    buildPages();
    window->buildMergePage();
    window->buildCutPage();
    for (QLineEdit* field : {window->mergeDirEdit, window->cutDirEdit}) {
        window->addButton->setEnabled(true);
        sendFocusEvent(field, QEvent::FocusOut);
        EXPECT_FALSE(window->addButton->isEnabled());
    }
}

TEST_F(MainWindowTest, FolderButtonsOfCutAndMergePagesTakeTheChosenDirectory) {
    buildPages();
    QString answer = QStringLiteral("/srv/videos");
    window->chooseDirectory = [&answer](QWidget*) { return answer; };

    window->addButton->setEnabled(true);
    window->cutFolderButton->click();
    EXPECT_EQ(window->cutDirEdit->text(), QStringLiteral("/srv/videos"));
    EXPECT_FALSE(window->addButton->isEnabled());

    window->mergeFolderButton->click();
    EXPECT_EQ(window->mergeDirEdit->text(), QStringLiteral("/srv/videos"));

    answer = QString();  // cancelled
    window->addButton->setEnabled(true);
    window->cutFolderButton->click();
    window->mergeFolderButton->click();
    EXPECT_EQ(window->cutDirEdit->text(), QStringLiteral("/srv/videos"));
    EXPECT_EQ(window->mergeDirEdit->text(), QStringLiteral("/srv/videos"));
    EXPECT_TRUE(window->addButton->isEnabled());
}

TEST_F(MainWindowTest, TitleBarLinksOpenThePagesShippedWithTheProgram) {
    buildPages();
    OpenedUrls opened;
    auto click = [](QWidget* button) { qobject_cast<QPushButton*>(button)->click(); };
    click(namedChild(window->cutPage, "helpLink"));
    click(namedChild(window->cutPage, "supportLink"));
    click(namedChild(window->mergePage, "aboutLink"));
    EXPECT_EQ(opened.urls,
              (QList<QUrl>{shippedPage("user-guide.html"), shippedPage("troubleshooting.html"),
                           shippedPage("about.html")}));
}

TEST_F(MainWindowTest, AudioHintLinkOpensTheAudioSetupPage) {
    buildPages();
    const QString text = window->audioHelpLink->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Please Enable Audio Settings First. Learn How")));
    const QString target = shippedPage("audio-setup.html").toString(QUrl::FullyEncoded);
    ASSERT_TRUE(text.contains(QStringLiteral("href=\"") + target + QStringLiteral("\"")));

    OpenedUrls opened;
    emit window->audioHelpLink->linkActivated(target);
    EXPECT_EQ(opened.urls, QList<QUrl>{shippedPage("audio-setup.html")});
}

#include "navigation_test.moc"
