// The window on Qt's offscreen platform: keys, the title bar's buttons, Back,
// and the save directory: read from the settings file into
// every page, changed through the chooser, stored back, its free space shown.
// Size, place and dragging need a real X server: window_xvfb_test.cpp.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>

#include "filelist/format.h"
#include "platform/native_path.h"
#include "recorder/recording_names.h"
#include "ui/settings.h"
#include "ui_test_support.h"

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Free space moves while other programs write: the label must show the value
// measured just before or just after `action`, and a real one.
template <typename Action>
void expectFreeSpaceOf(const DRUI& window, const QByteArray& dir, Action action) {
    const QString before = freeSpaceText(platform::decodePath(dir));
    action();
    const QString after = freeSpaceText(platform::decodePath(dir));
    const QString shown = window.freeSpaceLabel->text();
    EXPECT_TRUE(shown == before || shown == after) << shown.toStdString();
    EXPECT_NE(shown, formatSize(0));
}

// Every page shows the directory given in bytes; the record page as text
// people can read, from its start.
void expectSaveDirectory(const DRUI& window, const QByteArray& bytes) {
    EXPECT_EQ(platform::encodePath(window.saveDirectory()), bytes);
    EXPECT_EQ(window.savePathEdit->text(), platform::displayPath(platform::decodePath(bytes)));
    EXPECT_EQ(window.savePathEdit->cursorPosition(), 1);
    EXPECT_EQ(window.cutDirEdit->text(), window.saveDirectory());
    EXPECT_EQ(window.mergeDirEdit->text(), window.saveDirectory());
}

}  // namespace

TEST_F(MainWindowTest, EscapeIsSwallowedAndTheTitleBarAndBackButtonsAct) {
    buildPages();
    window->show();
    window->pageStack->setCurrentIndex(DRUI::kCutPage);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &escape);
    EXPECT_EQ(window->pageStack->currentIndex(), DRUI::kCutPage);
    EXPECT_TRUE(window->isVisible());

    window->mergeBackButton->click();
    EXPECT_EQ(window->pageStack->currentWidget(), window->homePage);
    window->cutPage->findChild<QPushButton*>("closeButton")->click();
    EXPECT_FALSE(window->isVisible());
}

// On a first run the default directory shows and no file is written; a
// cancelled chooser changes nothing, not even by writing a file; a choice,
// however long and whatever its bytes, is kept as it is, written without
// touching the file's other lines, and reaches the other pages at their
// next build. (How the file is read and written is the settings' own test.)
TEST_F(MainWindowTest, ChosenDirectoryIsStoredAndACancelledChooserChangesNothing) {
    QString answer;
    window->chooseDirectory = [&](QWidget*) { return answer; };
    const QByteArray firstRun = platform::encodePath(recorder::defaultSaveDirectory());
    expectFreeSpaceOf(*window, firstRun, [&] { buildPages(); });
    expectSaveDirectory(*window, firstRun);
    window->recordFolderButton->click();
    EXPECT_FALSE(QFile::exists(iniPath()));

    const QByteArray before =
        "; kept\n[Other]\nsave_path=/not/this\n[screen_record]\nsave_path=/old\nx=1\n";
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly) && ini.write(before) == before.size());
    ini.close();
    window->buildRecordPage();
    window->buildCutPage();
    window->recordFolderButton->click();
    EXPECT_EQ(fileBytes(iniPath()), before);
    EXPECT_EQ(window->savePathEdit->text(), QStringLiteral("/old"));

    QByteArray chosen = platform::encodePath(tempDir.path()) + "/bad\xff\xfe";
    while (chosen.size() <= 300) {
        chosen += '/' + QByteArray(40, 'd');
    }
    ASSERT_EQ(platform::makeDirectoryPath(platform::decodePath(chosen)), 0);
    answer = platform::decodePath(chosen);
    expectFreeSpaceOf(*window, chosen, [&] { window->recordFolderButton->click(); });
    EXPECT_EQ(fileBytes(iniPath()),
              "; kept\n[Other]\nsave_path=/not/this\n[screen_record]\n"
              "save_path=" +
                  chosen + "\nx=1\n");
    EXPECT_EQ(window->cutDirEdit->text(), QStringLiteral("/old"));
    for (auto build : {&DRUI::buildRecordPage, &DRUI::buildCutPage, &DRUI::buildMergePage}) {
        (window.get()->*build)();
    }
    expectSaveDirectory(*window, chosen);
}
