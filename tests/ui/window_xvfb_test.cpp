// The frameless window on a real X server: its size and place, dragging it
// with a real pointer (xdotool), and maximising and restoring, which rebuild
// every page for the new width and must carry over what the user set up.
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStackedLayout>
#include <QTest>
#include <algorithm>
#include <vector>

#include "tests/support/sample_recordings.h"
#include "ui_test_support.h"

namespace {

const QStringList kRecordings = {"20161205083000.avi", "20161205093007.avi", "20161205101500.avi"};
const QSize kNormalSize(DRUI::kNormalWidth, DRUI::kNormalHeight);

// Presses the left button at global `from`, moves by `by` and releases.
bool pointerDrag(QPoint from, QPoint by) {
    const QPoint to = from + by;
    QProcess xdotool;
    xdotool.start("xdotool", {"mousemove", QString::number(from.x()), QString::number(from.y()),
                              "mousedown", "1", "mousemove", QString::number(to.x()),
                              QString::number(to.y()), "mouseup", "1"});
    return xdotool.waitForFinished() && xdotool.exitStatus() == QProcess::NormalExit &&
           xdotool.exitCode() == 0;
}

class WindowXvfbTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (const QString& name : kRecordings) {
            ASSERT_EQ(avisamples::writeRecording(tempDir.filePath(name), {}), 0);
        }
        writeIni(tempDir.path());
        buildPages();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        desktop = QGuiApplication::primaryScreen()->availableGeometry();
        ASSERT_GT(desktop.width(), DRUI::kNormalWidth) << "needs a desktop wider than the window";
    }

    QPoint centred() const {
        const QRect screen = QGuiApplication::primaryScreen()->virtualGeometry();
        return {(screen.width() - kNormalSize.width()) / 2,
                (screen.height() - kNormalSize.height()) / 2};
    }

    // Clicks the shown page's maximise button. Until the old pages are gone
    // their controls act on nothing; then they are all gone (a member still
    // pointing at one would crash the checks that follow).
    void clickMaximiseExpectingNoStaleControls() {
        std::vector<QPointer<QWidget>> old;
        for (QWidget* page :
             {window->homePage, window->recordPage, window->cutPage, window->mergePage}) {
            const QList<QWidget*> children = page->findChildren<QWidget*>();
            old.insert(old.end(), children.begin(), children.end());
            old.emplace_back(page);
        }
        QPointer<QLineEdit> oldField = window->mergeDirEdit;
        QTest::mouseClick(window->maxButtons[window->pageStack->currentIndex()], Qt::LeftButton);
        const int sourceRows = window->sourceTable->rowCount();
        oldField->setText(QStringLiteral("/missing"));
        leave(oldField);
        EXPECT_EQ(window->sourceTable->rowCount(), sourceRows);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(std::all_of(old.begin(), old.end(), [](auto& gone) { return gone.isNull(); }));
    }
    void clickMaximise() {
        QTest::mouseClick(window->maxButtons[window->pageStack->currentIndex()], Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void openPage(int page) {
        QPushButton* open[] = {nullptr, window->homeRecordButton, window->homeTrimButton,
                               window->homeMergeButton};
        window->pageStack->setCurrentWidget(window->homePage);
        if (open[page]) {
            open[page]->click();
        }
        ASSERT_EQ(window->pageStack->currentIndex(), page);
    }

    QRect desktop;
};

}  // namespace

// Maximising and restoring keep the shown page; the merge list comes back
// only on the merge page, the cut page is refilled from the save directory
// and plays the chosen recording again; the window can still be dragged.
TEST_F(WindowXvfbTest, MaximiseRestoreAndDragOnEveryPage) {
    EXPECT_EQ(window->pos(), centred());
    QTemporaryDir other;  // the same name elsewhere: only the full path tells
    ASSERT_TRUE(other.isValid());
    ASSERT_EQ(avisamples::writeRecording(other.filePath(kRecordings[0]), {}), 0);
    window->btnEditSlot();
    for (const QString& dir : {tempDir.path(), tempDir.path(), other.path()}) {
        window->mergeDirEdit->setText(dir);
        leave(window->mergeDirEdit);
        window->sourceTable->selectRow(window->targetTable->rowCount() == 1 ? 2 : 0);
        window->btnAddSlot();
    }
    const QStringList listed = {kRecordings[0], kRecordings[2], kRecordings[0]};
    const QStringList paths = window->mergeList().paths();

    for (int page : {DRUI::kMergePage, DRUI::kCutPage, DRUI::kRecordPage, DRUI::kHomePage}) {
        SCOPED_TRACE(page);
        openPage(page);
        if (page == DRUI::kCutPage) {
            window->cutDirEdit->setText("/somewhere/else");
            window->cutTable->selectRow(1);
            window->CutTableItemClick(nullptr);
        }
        for (const bool maximised : {true, false}) {
            if (page == DRUI::kMergePage && maximised) {
                clickMaximiseExpectingNoStaleControls();  // one builder makes every page
            } else {
                clickMaximise();
            }
            const QSize size = maximised ? desktop.size() : kNormalSize;
            EXPECT_EQ(window->isMaximised(), maximised);
            EXPECT_EQ(window->size(), size);
            EXPECT_EQ(window->pos(), maximised ? desktop.topLeft() : centred());
            EXPECT_EQ(window->pageStack->currentIndex(), page);
            // Every page is laid out for the new width.
            for (QPushButton* button : window->maxButtons) {
                EXPECT_GT(button->mapTo(button->window(), QPoint()).x(), size.width() - 100);
            }
            const bool listKept = page == DRUI::kMergePage;
            EXPECT_EQ(names(window->targetTable), listKept ? listed : QStringList());
            EXPECT_EQ(window->mergeList().paths(), listKept ? paths : QStringList());
            if (page == DRUI::kCutPage) {
                EXPECT_EQ(window->cutDirEdit->text(), tempDir.path());
                EXPECT_EQ(window->cutState().playerFile, tempDir.filePath(kRecordings[1]));
            }
        }
    }
    // The window follows a drag on its title bar: one drag handler, not one per rebuild.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    const QPoint before = window->pos();
    ASSERT_TRUE(pointerDrag(window->mapToGlobal(QPoint(400, 30)), QPoint(60, 40)));
    EXPECT_TRUE(processEventsUntil([&] { return window->pos() == before + QPoint(60, 40); }))
        << "window at " << window->pos().x() << "," << window->pos().y();
    // A drag that starts in a field selects text instead.
    const QPoint start = window->pos();
    openPage(DRUI::kCutPage);
    window->cutDirEdit->setText(QStringLiteral("/some/long/directory/name"));
    ASSERT_TRUE(pointerDrag(window->cutDirEdit->mapToGlobal(QPoint(5, 12)), QPoint(150, 0)));
    EXPECT_TRUE(processEventsUntil([&] { return window->cutDirEdit->hasSelectedText(); }));
    EXPECT_EQ(window->pos(), start);

    clickMaximise();
    window->findChild<QPushButton*>("minimizeButton")->click();
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
    window->showNormal();
    EXPECT_EQ(window->size(), desktop.size()) << "minimising keeps the maximised size";
}
