// The save-directory setting in VodozaZevuri.ini and the free-space text
// shown beside it.
#include "ui/settings.h"
#include "../platform/scoped_tmpfs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// QSettings keeps parsed files in a process-wide cache; reading a copy under
// a name never used before makes sure the text on disk is what is parsed.
QString parsedAfresh(const QString& iniPath) {
    static int copies = 0;
    const QString copy = iniPath + QStringLiteral(".copy") + QString::number(++copies);
    if (!QFile::copy(iniPath, copy)) {
        return QStringLiteral("<copy failed>");
    }
    return SaveDirSettings(copy).readSavePath();
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

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
    const ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(SaveDirSettings::defaultSavePath(), QStringLiteral("/home/someone/TessalySave"));
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), QStringLiteral("/home/someone/TessalySave"));
    EXPECT_TRUE(dirEntries().isEmpty()) << dirEntries().join(u' ').toStdString();
}

TEST_F(SaveDirSettingsTest, MissingSectionOrKeyGivesTheDefault) {
    ASSERT_TRUE(writeAll(ini(), "[other]\nsave_path=/elsewhere\n[screen_record]\nsave=/x\n"));
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), SaveDirSettings::defaultSavePath());
    EXPECT_EQ(dirEntries(), QStringList{QStringLiteral("VodozaZevuri.ini")});
}

TEST_F(SaveDirSettingsTest, ReadsAFileWrittenByHandOrByWindows) {
    ASSERT_TRUE(writeAll(ini(), "[screen_record]\r\nsave_path=/media/usb/Videos\r\n"));
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), QStringLiteral("/media/usb/Videos"));

    // An unquoted comma must not turn the directory into a list.
    ASSERT_TRUE(writeAll(ini(), "[screen_record]\nsave_path=/data/a,b\n"));
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), QStringLiteral("/data/a,b"));

    // A key that is present but empty is an empty directory, not the default.
    ASSERT_TRUE(writeAll(ini(), "[screen_record]\nsave_path=\n"));
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), QString());
}

TEST_F(SaveDirSettingsTest, WrittenValueReadsBackUnderItsSectionAndKey) {
    const SaveDirSettings settings(ini());
    settings.writeSavePath(QStringLiteral("/srv/recordings"));
    EXPECT_EQ(settings.readSavePath(), QStringLiteral("/srv/recordings"));
    EXPECT_EQ(readAll(ini()).trimmed(), QByteArray("[screen_record]\nsave_path=/srv/recordings"));

    settings.writeSavePath(QStringLiteral("/srv/other"));
    EXPECT_EQ(parsedAfresh(ini()), QStringLiteral("/srv/other"));
}

TEST_F(SaveDirSettingsTest, AwkwardDirectoryNamesSurviveTheRoundTrip) {
    const QString names[] = {
        QStringLiteral("/data/a,b;c#d=e"),
        QStringLiteral("/data/\"quoted\" and 'single'"),
        QStringLiteral(" /leading and trailing blanks "),
        QStringLiteral("/data/back\\slash"),
        QString::fromUtf8("/home/jürgen/Видео/录像"),
    };
    const SaveDirSettings settings(ini());
    for (const QString& name : names) {
        settings.writeSavePath(name);
        EXPECT_EQ(parsedAfresh(ini()), name) << name.toStdString();
    }
}

TEST_F(SaveDirSettingsTest, LongValuesAreCutTo259Characters) {
    const QString longPath = QLatin1Char('/') + QString(299, QLatin1Char('d'));
    ASSERT_EQ(longPath.size(), 300);
    ASSERT_TRUE(writeAll(ini(), "[screen_record]\nsave_path=" + longPath.toLatin1() + "\n"));
    const QString read = SaveDirSettings(ini()).readSavePath();
    EXPECT_EQ(read.size(), SaveDirSettings::kMaxValueLength);
    EXPECT_EQ(read, longPath.left(259));

    const QString exact = longPath.left(259);
    SaveDirSettings(ini()).writeSavePath(exact);
    EXPECT_EQ(SaveDirSettings(ini()).readSavePath(), exact);
}

TEST_F(SaveDirSettingsTest, FailedWriteIsIgnored) {
    const QString blocked = dir_.filePath(QStringLiteral("plain_file"));
    ASSERT_TRUE(writeAll(blocked, "not a directory"));
    const SaveDirSettings settings(blocked + QStringLiteral("/VodozaZevuri.ini"));
    settings.writeSavePath(QStringLiteral("/srv/recordings"));
    EXPECT_EQ(settings.readSavePath(), SaveDirSettings::defaultSavePath());
    EXPECT_EQ(readAll(blocked), QByteArray("not a directory"));
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
    ScopedEnv xdg_{"XDG_CONFIG_HOME", QFile::encodeName(configHome_.path())};
};

TEST_F(IniPathForTest, WritableExecutableDirectoryHoldsTheFile) {
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir_.path()),
              exeDir_.filePath(QStringLiteral("VodozaZevuri.ini")));
}

TEST_F(IniPathForTest, MissingExecutableDirectoryFallsBackToTheConfigDirectory) {
    EXPECT_EQ(SaveDirSettings::iniPathFor(exeDir_.filePath(QStringLiteral("gone"))), xdgIni());
    EXPECT_EQ(SaveDirSettings::iniPathFor(QString()), xdgIni());
}

// Root may write anywhere except on a read-only filesystem, so the
// read-only case uses a real read-only mount.
TEST_F(IniPathForTest, ReadOnlyExecutableDirectoryFallsBackToTheConfigDirectory) {
    const ScopedTmpfs readOnly("size=1m", MS_RDONLY);
    if (!readOnly.mounted()) {
        GTEST_SKIP() << "cannot mount a read-only tmpfs: " << readOnly.error().toStdString();
    }
    EXPECT_EQ(SaveDirSettings::iniPathFor(readOnly.path()), xdgIni());
}

TEST_F(IniPathForTest, ConfigDirectoryIsCreatedOnTheFirstWrite) {
    const QString nested = configHome_.filePath(QStringLiteral("not/yet"));
    const ScopedEnv xdg("XDG_CONFIG_HOME", QFile::encodeName(nested));
    const QString path = SaveDirSettings::iniPathFor(exeDir_.filePath(QStringLiteral("gone")));
    ASSERT_EQ(path, nested + QStringLiteral("/VodozaZevuri.ini"));
    EXPECT_EQ(SaveDirSettings(path).readSavePath(), SaveDirSettings::defaultSavePath());
    EXPECT_FALSE(QDir(nested).exists());

    SaveDirSettings(path).writeSavePath(QStringLiteral("/srv/recordings"));
    EXPECT_EQ(SaveDirSettings(path).readSavePath(), QStringLiteral("/srv/recordings"));
}

TEST(FreeSpaceText, EmptyDirectoryIsUnknown) {
    EXPECT_EQ(freeSpaceText(QString()), QStringLiteral("Unknow"));
}

TEST(FreeSpaceText, SizeOfTheFilesystemThatWillHoldTheDirectory) {
    const ScopedTmpfs fs("size=20m");
    if (!fs.mounted()) {
        GTEST_SKIP() << "cannot mount a private tmpfs: " << fs.error().toStdString();
    }
    EXPECT_EQ(freeSpaceText(fs.path()), QStringLiteral("20.00 MB"));
    EXPECT_EQ(freeSpaceText(fs.path() + QStringLiteral("/TessalySave/later")),
              QStringLiteral("20.00 MB"));
}

TEST(FreeSpaceText, FailedQueryShowsZeroBytes) {
    const QString tooLong = QDir::tempPath() + QLatin1Char('/') + QString(300, QLatin1Char('n'));
    EXPECT_EQ(freeSpaceText(tooLong), QStringLiteral("0 Bytes"));
}

}  // namespace
