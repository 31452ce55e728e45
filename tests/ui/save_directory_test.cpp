// The save directory on the record page: reading the settings file, the
// folder button, and the free-space label.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

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

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
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

// The window's save directory and its field, for a directory given in bytes.
void expectSaveDirectory(const DRUI& window, const QByteArray& bytes) {
    EXPECT_EQ(platform::encodePath(window.saveDirectory()), bytes);
    EXPECT_EQ(window.savePathEdit->text(), platform::displayPath(platform::decodePath(bytes)));
}

}  // namespace

TEST_F(MainWindowTest, FirstRunShowsTheDefaultDirectoryAndCreatesNoFile) {
    buildPages();
    EXPECT_EQ(window->saveDirectory(), recorder::defaultSaveDirectory());
    EXPECT_EQ(window->savePathEdit->text(), recorder::defaultSaveDirectory());
    EXPECT_EQ(window->savePathEdit->cursorPosition(), 1);
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_EQ(window->cutDirEdit->text(), recorder::defaultSaveDirectory());
    EXPECT_EQ(window->mergeDirEdit->text(), recorder::defaultSaveDirectory());
}

// Whatever the file holds reaches the window unchanged: no cut at 259
// characters, no bytes replaced, hand-written text taken as it stands.
TEST_F(MainWindowTest, StoredDirectoriesReachTheWindowAsTheyAre) {
    buildPages();
    const QByteArray temp = platform::encodePath(tempDir.path());
    QByteArray deep = temp;
    while (deep.size() <= 300)
        deep += '/' + QByteArray(40, 'd');
    const QByteArray defaultDir = platform::encodePath(recorder::defaultSaveDirectory());
    // The file as written by hand or by this program, and the directory it names.
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"[screen_record]\nsave_path=" + temp + "\n", temp},
        {"[screen_record]\nsave_path=\n", defaultDir},
        {"[screen_record]\nsave_path=" + deep + "\n", deep},
        {"[screen_record]\nsave_path=" + temp + "/bad\xff\xfe/x\n", temp + "/bad\xff\xfe/x"},
        {"[screen_record]\nsave_path = \"" + temp + "/a,b;c\\d 'e'\" \n", temp + "/a,b;c\\d 'e'"},
        {"[SCREEN_RECORD]\nSAVE_PATH=" + temp + "/upper\n", temp + "/upper"},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file.toStdString());
        writeBytes(iniPath(), file);
        expectLabelShowsFreeSpaceOf(*window, platform::decodePath(expected),
                                    [&] { window->buildRecordPage(); });
        expectSaveDirectory(*window, expected);
        EXPECT_EQ(window->savePathEdit->cursorPosition(), 1);
    }
}

TEST_F(MainWindowTest, StoredDirectoryIsShownOnEveryPageWithItsFreeSpace) {
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

TEST_F(MainWindowTest, CancelledChooserChangesNothing) {
    writeIni(tempDir.path());
    buildPages();
    const QString fieldBefore = window->savePathEdit->text();
    const QString labelBefore = window->freeSpaceLabel->text();
    const QByteArray fileBefore = fileBytes(iniPath());
    int asked = 0;
    window->chooseDirectory = [&asked](QWidget*) {
        ++asked;
        return QString();
    };

    window->recordFolderButton->click();

    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window->saveDirectory(), tempDir.path());
    EXPECT_EQ(window->savePathEdit->text(), fieldBefore);
    EXPECT_EQ(window->freeSpaceLabel->text(), labelBefore);
    EXPECT_EQ(fileBytes(iniPath()), fileBefore);
}

TEST_F(MainWindowTest, CancelledChooserOnFirstRunWritesNoFile) {
    buildPages();
    window->chooseDirectory = [](QWidget*) { return QString(); };
    window->btnSlotLayout2Dir();
    EXPECT_FALSE(QFile::exists(iniPath()));
}

// The choice is kept byte for byte, written into the file without touching
// its other lines, and read back so at the next build.
TEST_F(MainWindowTest, ChosenDirectoryIsStoredAndItsFreeSpaceShown) {
    writeBytes(iniPath(),
               "; kept\n[Other]\nsave_path=/not/this\n[screen_record]\nsave_path=/old\nx=1\n");
    buildPages();
    const QByteArray chosen = platform::encodePath(tempDir.path()) + "/bad\xff\xfe";
    ASSERT_EQ(platform::makeDirectoryPath(platform::decodePath(chosen)), 0);
    QWidget* askedParent = nullptr;
    window->chooseDirectory = [&](QWidget* parent) {
        askedParent = parent;
        return platform::decodePath(chosen);
    };

    expectLabelShowsFreeSpaceOf(*window, tempDir.path(),
                                [&] { window->recordFolderButton->click(); });

    EXPECT_EQ(askedParent, window.get());
    expectSaveDirectory(*window, chosen);
    EXPECT_EQ(fileBytes(iniPath()),
              "; kept\n[Other]\nsave_path=/not/this\n[screen_record]\n"
              "save_path=" +
                  chosen + "\nx=1\n");
    // The other pages take the new directory at their next build only.
    EXPECT_EQ(window->cutDirEdit->text(), QStringLiteral("/old"));
    window->buildRecordPage();
    expectSaveDirectory(*window, chosen);
}
