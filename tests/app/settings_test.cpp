// The save-directory setting in VodozaZevuri.ini below the window: files as
// people and other programs write them, writes that keep every other byte,
// failures that leave the old file whole, and where the file lives. What the
// window reads and stores through it is the window's test.
#include "ui/settings.h"
#include "platform/native_path.h"
#include "recorder/recording_names.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The file as written by hand, by other programs and by this one. A write that
// fails (no line can hold a line break, the disk is full) leaves the old file
// whole; nothing is left behind either way.
TEST(SaveDirSettings, ReadsAnyFileAndWritesOnlyTheKeysLine) {
    const ScopedTmpfs fs("size=64k");
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a private tmpfs: " << fs.error().toStdString();
    const SaveDirSettings settings(fs.path() + QStringLiteral("/VodozaZevuri.ini"));
    // Files as people and other programs write them, read the way the Windows
    // profile functions read them; "" is the default.
    const std::pair<QByteArray, QByteArray> readCases[] = {
        {"\xEF\xBB\xBF[screen_record]\nsave_path=/bom\n", "/bom"},
        {"  [ SCREEN_Record ]  \n\t Save_PATH\t=/spaced\n", "/spaced"},
        {"[screen_record]\r\n;save_path=/semi\r\n  # save_path=/hash\r\nsave_path=/real\r\n"
         "save_path=/second\r\n",
         "/real"},
        {"[screen_record]\nsave_path=\"/open\n", "\"/open"},
        {"[screen_record]\nsave_path =  \" /q,b;c\\d #e \"  \n", " /q,b;c\\d #e "},
        {"[screen_record]\nsave_path=\n", ""},
        {"[screen_record]\nsave_path=\"\"\n", ""},
        {";[screen_record]\nsave_path=/a\n[other]\nsave_path=/b\n[screen_record]\nsave=/x\n", ""},
    };
    for (const auto& [file, expected] : readCases) {
        ASSERT_TRUE(writeAll(settings.iniPath(), file));
        EXPECT_EQ(
            platform::encodePath(settings.readSavePath()),
            expected.isEmpty() ? platform::encodePath(recorder::defaultSaveDirectory()) : expected)
            << file.constData();
    }
    // A write changes the one line, keeps every other byte and reads back.
    const struct {
        QByteArray before, value, after;
    } cases[] = {
        {"; notes\r\n[Screen_Record]\r\n Save_Path = /old "
         ";c\r\nother=2\r\n[tail]\r\nsave_path=/x\r\n",
         "/new",
         "; notes\r\n[Screen_Record]\r\nsave_path=/new\r\nother=2\r\n[tail]\r\nsave_path=/x\r\n"},
        {"[screen_record]\nother=2\n; about next\n\n[next]\na=b\n", "\" /in quotes \"",
         "[screen_record]\nother=2\nsave_path=\"\" /in quotes \"\"\n; about next\n\n[next]\na=b\n"},
        {"[other]\na=b", "[screen_record]",
         "[other]\na=b\n[screen_record]\nsave_path=[screen_record]\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeAll(settings.iniPath(), c.before));
        EXPECT_EQ(settings.writeSavePath(QString::fromUtf8(c.value)), 0);
        EXPECT_EQ(readAll(settings.iniPath()), c.after);
        EXPECT_EQ(settings.readSavePath(), QString::fromUtf8(c.value));
    }
    const QByteArray before = readAll(settings.iniPath());
    EXPECT_EQ(settings.writeSavePath(QStringLiteral("/a\nb")), EINVAL);
    QFile filler(fs.path() + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
    }
    filler.close();
    EXPECT_EQ(settings.writeSavePath(QStringLiteral("/new")), ENOSPC);
    EXPECT_EQ(readAll(settings.iniPath()), before);
    EXPECT_EQ(QDir(fs.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no leftovers";
}

// Beside a program run from a writable directory of its own, else in the
// config directory, which the first write makes. Root may write into
// /usr/bin, so an installed program is told by its share directory.
TEST(SaveDirSettings, TheFileLivesBesideAWritableUninstalledProgram) {
    QTemporaryDir exeDir, configHome;
    const QString nested = configHome.filePath(QStringLiteral("not/yet"));
    const ScopedEnv xdg("XDG_CONFIG_HOME", QFile::encodeName(nested).constData());
    const QString xdgIni = nested + QStringLiteral("/VodozaZevuri.ini");
    ASSERT_TRUE(QDir().mkpath(exeDir.filePath(QStringLiteral("share/tessaly-recorder/docs"))));
    ASSERT_TRUE(QDir().mkpath(exeDir.filePath(QStringLiteral("bin"))));
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir.path()),
              exeDir.filePath(QStringLiteral("VodozaZevuri.ini")));
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir.filePath(QStringLiteral("bin"))), xdgIni);
    EXPECT_EQ(SaveDirSettings(xdgIni).writeSavePath(QStringLiteral("/srv")), 0);
    EXPECT_EQ(SaveDirSettings(xdgIni).readSavePath(), QStringLiteral("/srv"));
}

}  // namespace
