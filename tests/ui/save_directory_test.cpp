// The save directory on the record page: reading the settings file, the
// folder button, and the free-space label.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include "filelist/format.h"
#include "ui/settings.h"
#include "ui_test_support.h"

namespace {

QString fileText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Free space moves while other programs write; the label must show the value
// measured just before or just after `action`.
template <typename Action>
void expectLabelShowsFreeSpaceOf(const DRUI& window, const QString& dir, Action action) {
    const QString before = freeSpaceText(dir);
    action();
    const QString after = freeSpaceText(dir);
    // Read after the action: building the pages creates the label.
    const QLabel* label = window.freeSpaceLabel;
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text() == before || label->text() == after)
        << label->text().toStdString() << " vs " << before.toStdString();
    EXPECT_NE(label->text(), formatSize(0));
    EXPECT_NE(label->text(), QStringLiteral("Unknow"));
}

}  // namespace

TEST_F(MainWindowTest, FirstRunShowsTheDefaultDirectoryAndCreatesNoFile) {
    buildPages();
    EXPECT_EQ(window->savePathEdit->text(), SaveDirSettings::defaultSavePath());
    EXPECT_EQ(window->savePathEdit->cursorPosition(), 1);
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_EQ(window->cutDirEdit->text(), SaveDirSettings::defaultSavePath());
    EXPECT_EQ(window->mergeDirEdit->text(), SaveDirSettings::defaultSavePath());
}

TEST_F(MainWindowTest, StoredDirectoryIsShownWithItsFreeSpace) {
    const QString dir = tempDir.path();
    writeIni(dir);
    expectLabelShowsFreeSpaceOf(*window, dir, [&] { buildPages(); });
    EXPECT_EQ(window->savePathEdit->text(), dir);
    EXPECT_EQ(window->cutDirEdit->text(), dir);
    EXPECT_EQ(window->mergeDirEdit->text(), dir);
}

TEST_F(MainWindowTest, DirectoryNotCreatedYetShowsTheFreeSpaceWhereItWillBe) {
    const QString dir = tempDir.filePath(QStringLiteral("later/recordings"));
    writeIni(dir);
    expectLabelShowsFreeSpaceOf(*window, tempDir.path(), [&] { buildPages(); });
    EXPECT_EQ(window->savePathEdit->text(), dir);
    EXPECT_FALSE(QDir(dir).exists());
}

TEST_F(MainWindowTest, EmptyStoredDirectoryShowsUnknownSpace) {
    writeIni(QString());
    buildPages();
    EXPECT_EQ(window->savePathEdit->text(), QString());
    EXPECT_EQ(window->freeSpaceLabel->text(), QStringLiteral("Unknow"));
}

TEST_F(MainWindowTest, CancelledChooserChangesNothing) {
    writeIni(tempDir.path());
    buildPages();
    const QString fieldBefore = window->savePathEdit->text();
    const QString labelBefore = window->freeSpaceLabel->text();
    const QString fileBefore = fileText(iniPath());
    int asked = 0;
    window->chooseDirectory = [&asked](QWidget*) {
        ++asked;
        return QString();
    };

    window->recordFolderButton->click();

    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window->savePathEdit->text(), fieldBefore);
    EXPECT_EQ(window->freeSpaceLabel->text(), labelBefore);
    EXPECT_EQ(fileText(iniPath()), fileBefore);
}

TEST_F(MainWindowTest, CancelledChooserOnFirstRunWritesNoFile) {
    buildPages();
    window->chooseDirectory = [](QWidget*) { return QString(); };
    window->btnSlotLayout2Dir();
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(MainWindowTest, ChosenDirectoryIsStoredAndItsFreeSpaceShown) {
    writeIni(QStringLiteral("/nonexistent-root-for-test/old"));
    buildPages();
    const QString chosen = tempDir.filePath(QStringLiteral("chosen"));
    ASSERT_TRUE(QDir().mkpath(chosen));
    QWidget* askedParent = nullptr;
    window->chooseDirectory = [&](QWidget* parent) {
        askedParent = parent;
        return chosen;
    };

    expectLabelShowsFreeSpaceOf(*window, chosen, [&] { window->recordFolderButton->click(); });

    EXPECT_EQ(askedParent, window.get());
    EXPECT_EQ(window->savePathEdit->text(), chosen);
    const QSettings stored(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("screen_record/save_path")).toString(), chosen);
    // The other pages take the new directory at their next build only.
    EXPECT_EQ(window->cutDirEdit->text(), QStringLiteral("/nonexistent-root-for-test/old"));
}
