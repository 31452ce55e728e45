// The save-directory setting in VodozaZevuri.ini and the free-space text
// shown beside it.
#include "ui/settings.h"
#include "platform/native_path.h"
#include "recorder/recording_names.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>
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

// What the file reads as, in bytes, so that a value that is not UTF-8 is
// compared exactly.
QByteArray readBytes(const QString& iniPath) {
    return platform::encodePath(SaveDirSettings(iniPath).readSavePath());
}

QByteArray defaultBytes() {
    return platform::encodePath(recorder::defaultSaveDirectory());
}

const QByteArray kLongPath = '/' + QByteArray(299, 'd');  // longer than any Windows buffer

class SaveDirSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString ini() const { return dir_.filePath(QStringLiteral("VodozaZevuri.ini")); }
    QStringList dirEntries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir_;
};

TEST_F(SaveDirSettingsTest, MissingFileGivesTheDefaultAndCreatesNothing) {
    const struct {
        QByteArray home;
        QByteArray expected;
    } cases[] = {
        {"/home/someone", "/home/someone/TessalySave"},
        {"/home/someone/", "/home/someone/TessalySave"},
        {"/home/b\xff\xfe", "/home/b\xff\xfe/TessalySave"},
    };
    for (const auto& c : cases) {
        const ScopedEnv home("HOME", c.home.constData());
        EXPECT_EQ(defaultBytes(), c.expected);
        EXPECT_EQ(readBytes(ini()), c.expected);
    }
    EXPECT_TRUE(dirEntries().isEmpty()) << dirEntries().join(u' ').toStdString();
}

// Files as people and other programs write them, read the way the Windows
// profile functions read them. What this program writes is read back by the
// write and round-trip tests.
TEST_F(SaveDirSettingsTest, ReadsFilesWrittenByHandOrByOtherPrograms) {
    const QByteArray kDefault = "<default>";
    const struct {
        const char* what;
        QByteArray file;
        QByteArray expected;
    } cases[] = {
        {"Windows line ends", "[screen_record]\r\nsave_path=/media/usb/Videos\r\n",
         "/media/usb/Videos"},
        {"byte order mark", "\xEF\xBB\xBF[screen_record]\nsave_path=/bom\n", "/bom"},
        {"commas, semicolons, backslashes", "[screen_record]\nsave_path=/data/a,b;c\\d\\\\e #f\n",
         "/data/a,b;c\\d\\\\e #f"},
        {"blanks and quotes around", "[screen_record]\nsave_path =  \" /q \"  \n", " /q "},
        {"one quote only", "[screen_record]\nsave_path=\"/open\n", "\"/open"},
        {"names in any case", "[SCREEN_Record]\nSave_PATH=/upper\n", "/upper"},
        {"blanks around names", "  [ screen_record ]  \n\t save_path\t=/spaced\n", "/spaced"},
        {"comments are whole lines",
         "[screen_record]\n;save_path=/semicolon\n  # save_path=/hash\nsave_path=/real\n", "/real"},
        {"the first of two", "[screen_record]\nsave_path=/first\nsave_path=/second\n", "/first"},
        {"not UTF-8", "[screen_record]\nsave_path=/tmp/bad\xff\xfe/x\n", "/tmp/bad\xff\xfe/x"},
        {"empty value", "[screen_record]\nsave_path=\n", kDefault},
        {"empty quotes", "[screen_record]\nsave_path=\"\"\n", kDefault},
        {"key elsewhere only",
         "save_path=/before\n[other]\nsave_path=/elsewhere\n[screen_record]\nsave=/x\n", kDefault},
        {"commented section", ";[screen_record]\nsave_path=/x\n", kDefault},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(writeAll(ini(), c.file));
        EXPECT_EQ(readBytes(ini()), c.expected == kDefault ? defaultBytes() : c.expected) << c.what;
    }
}

// A write changes the one line and keeps every other byte of the file.
TEST_F(SaveDirSettingsTest, WritesChangeOnlyTheKeysLine) {
    const struct {
        const char* what;
        QByteArray before;  // empty: no file
        QByteArray value;
        QByteArray after;
    } cases[] = {
        {"first write", "", "/srv/recordings", "[screen_record]\nsave_path=/srv/recordings\n"},
        {"hand-written with other sections",
         "; notes\r\n[General]\r\nfoo=1\r\n\r\n[Screen_Record]\r\n Save_Path = /old ;c\r\n"
         "other=2\r\n[tail]\r\nsave_path=/not/ours\r\n",
         "/new",
         "; notes\r\n[General]\r\nfoo=1\r\n\r\n[Screen_Record]\r\nsave_path=/new\r\n"
         "other=2\r\n[tail]\r\nsave_path=/not/ours\r\n"},
        {"section without the key", "[screen_record]\nother=2\n; about next\n\n[next]\na=b\n",
         "/new", "[screen_record]\nother=2\nsave_path=/new\n; about next\n\n[next]\na=b\n"},
        {"no section, no line end", "[other]\na=b", "/new",
         "[other]\na=b\n[screen_record]\nsave_path=/new\n"},
        {"not UTF-8", "", "/tmp/bad\xff\xfe/x", "[screen_record]\nsave_path=/tmp/bad\xff\xfe/x\n"},
    };
    for (const auto& c : cases) {
        QFile::remove(ini());
        if (!c.before.isEmpty()) {
            ASSERT_TRUE(writeAll(ini(), c.before));
        }
        EXPECT_EQ(SaveDirSettings(ini()).writeSavePath(platform::decodePath(c.value)), 0) << c.what;
        EXPECT_EQ(readAll(ini()), c.after) << c.what;
        EXPECT_EQ(readBytes(ini()), c.value) << c.what;
    }
    // Nothing but the file is left behind.
    EXPECT_EQ(dirEntries(), QStringList{QStringLiteral("VodozaZevuri.ini")});
}

TEST_F(SaveDirSettingsTest, EveryValueTheProgramWritesReadsBack) {
    const QString names[] = {
        QStringLiteral("/data/a,b;c#d=e"),
        QStringLiteral("/data/\"quoted\" and 'single'"),
        QStringLiteral("\"/data/in quotes\""),
        QStringLiteral("'/x'"),
        QStringLiteral(" /leading and trailing blanks "),
        QStringLiteral("/data/back\\slash"),
        QStringLiteral("[screen_record]"),
        QString::fromUtf8("/home/jürgen/Видео/录像"),
        QString::fromLatin1(kLongPath),
        platform::decodePath(QByteArray("/tmp/bad\xff\xfe/x")),
    };
    const SaveDirSettings settings(ini());
    for (const QString& name : names) {
        ASSERT_EQ(settings.writeSavePath(name), 0);
        EXPECT_EQ(platform::encodePath(settings.readSavePath()), platform::encodePath(name))
            << name.toStdString();
    }
}

TEST_F(SaveDirSettingsTest, AFailedWriteLeavesTheOldFileWhole) {
    const QByteArray before = "[screen_record]\nsave_path=/old\n[keep]\nthis=1\n";
    ASSERT_TRUE(writeAll(ini(), before));
    // No line can hold a line break.
    EXPECT_EQ(SaveDirSettings(ini()).writeSavePath(QStringLiteral("/a\nb")), EINVAL);
    EXPECT_EQ(readAll(ini()), before);

    // The file's directory cannot be made: a plain file stands in its way.
    const QString blocked = dir_.filePath(QStringLiteral("plain_file"));
    ASSERT_TRUE(writeAll(blocked, "not a directory"));
    const SaveDirSettings settings(blocked + QStringLiteral("/VodozaZevuri.ini"));
    EXPECT_NE(settings.writeSavePath(QStringLiteral("/srv/recordings")), 0);
    EXPECT_EQ(settings.readSavePath(), recorder::defaultSaveDirectory());
    EXPECT_EQ(readAll(blocked), QByteArray("not a directory"));
}

TEST(SaveDirSettingsOnAFullDisk, TheOldFileStaysWhole) {
    const ScopedTmpfs fs("size=64k");
    if (!fs.mounted()) {
        GTEST_SKIP() << "cannot mount a private tmpfs: " << fs.error().toStdString();
    }
    const QString ini = fs.path() + QStringLiteral("/VodozaZevuri.ini");
    const QByteArray before = "[screen_record]\nsave_path=/old\n";
    ASSERT_TRUE(writeAll(ini, before));
    QFile filler(fs.path() + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    EXPECT_EQ(SaveDirSettings(ini).writeSavePath(QStringLiteral("/new")), ENOSPC);
    EXPECT_EQ(readAll(ini), before);
    QStringList left = QDir(fs.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("VodozaZevuri.ini"), QStringLiteral("filler")}));
}

class IniPathForTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(exeDir_.isValid());
        ASSERT_TRUE(configHome_.isValid());
    }
    QString xdgIni() const { return configHome_.filePath(QStringLiteral("VodozaZevuri.ini")); }
    QTemporaryDir exeDir_;
    QTemporaryDir configHome_;
    ScopedEnv xdg_{"XDG_CONFIG_HOME", QFile::encodeName(configHome_.path()).constData()};
};

// Where the settings file lives: beside a program run from a writable
// directory of its own, else in the config directory. Root may write into
// /usr/bin, so an installed program is told by its share directory, and a
// read-only directory needs a real read-only mount.
TEST_F(IniPathForTest, TheExecutableDirectoryOnlyWhenItIsAWritableUninstalledOne) {
    const QString bin = exeDir_.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    ASSERT_TRUE(QDir().mkpath(exeDir_.filePath(QStringLiteral("share/tessaly-recorder/docs"))));
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir_.path()),
              exeDir_.filePath(QStringLiteral("VodozaZevuri.ini")));
    EXPECT_EQ(SaveDirSettings::iniPathFor(bin), xdgIni());
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir_.filePath(QStringLiteral("gone"))), xdgIni());
    EXPECT_EQ(SaveDirSettings::iniPathFor(QString()), xdgIni());
    const ScopedTmpfs readOnly("size=1m", MS_RDONLY);
    if (!readOnly.mounted()) {
        GTEST_SKIP() << "cannot mount a read-only tmpfs: " << readOnly.error().toStdString();
    }
    EXPECT_EQ(SaveDirSettings::iniPathFor(readOnly.path()), xdgIni());
}

TEST_F(IniPathForTest, ConfigDirectoryIsCreatedOnTheFirstWrite) {
    const QString nested = configHome_.filePath(QStringLiteral("not/yet"));
    const ScopedEnv xdg("XDG_CONFIG_HOME", QFile::encodeName(nested).constData());
    const QString path = SaveDirSettings::iniPathFor(exeDir_.filePath(QStringLiteral("gone")));
    ASSERT_EQ(path, nested + QStringLiteral("/VodozaZevuri.ini"));
    EXPECT_EQ(SaveDirSettings(path).readSavePath(), recorder::defaultSaveDirectory());
    EXPECT_FALSE(QDir(nested).exists());

    SaveDirSettings(path).writeSavePath(QStringLiteral("/srv/recordings"));
    EXPECT_EQ(SaveDirSettings(path).readSavePath(), QStringLiteral("/srv/recordings"));
}

TEST(FreeSpaceText, SizeOfTheFilesystemThatWillHoldTheDirectoryOrWhyNot) {
    EXPECT_EQ(freeSpaceText(QString()), QStringLiteral("Unknow"));
    const QString tooLong = QDir::tempPath() + QLatin1Char('/') + QString(300, QLatin1Char('n'));
    EXPECT_EQ(freeSpaceText(tooLong), QStringLiteral("0 Bytes"));
    const ScopedTmpfs fs("size=20m");
    if (!fs.mounted()) {
        GTEST_SKIP() << "cannot mount a private tmpfs: " << fs.error().toStdString();
    }
    EXPECT_EQ(freeSpaceText(fs.path() + QStringLiteral("/TessalySave/later")),
              QStringLiteral("20.00 MB"));
}

}  // namespace
