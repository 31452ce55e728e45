// The single-instance lock: taken by one holder at a time, released by the
// kernel when its holder ends, kept in a directory no other user controls,
// and never led astray by what is planted at its path.
#include "platform/instance_lock.h"
#include "tests/support/scoped_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <functional>

namespace {

using State = InstanceLock::State;

// flock(1) from util-linux takes the same kind of lock from another process:
// an oracle that shares no code with ours.
constexpr int kFlockConflictExit = 7;

int flockToolProbe(const QString& path) {
    return QProcess::execute(QStringLiteral("flock"),
                             {QStringLiteral("--nonblock"), QStringLiteral("--conflict-exit-code"),
                              QString::number(kFlockConflictExit), path, QStringLiteral("true")});
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(encoded(path).constData(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

bool giveToNobody(const QString& path) {
    const passwd* nobody = ::getpwnam("nobody");
    return nobody != nullptr &&
           ::lchown(encoded(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
}

bool makeDirectory(const QString& path, mode_t mode) {
    return ::mkdir(encoded(path).constData(), mode) == 0 &&
           ::chmod(encoded(path).constData(), mode) == 0;
}

TEST(InstanceFileStem, TheNameWithoutItsNamespaceAndNothingThatClimbsOut) {
    EXPECT_EQ(instanceFileStem(QStringLiteral("Global\\Tessaly_Screen_Recorder_2016_For_Windows")),
              QStringLiteral("Tessaly_Screen_Recorder_2016_For_Windows"));
    EXPECT_EQ(instanceFileStem(QStringLiteral("Local\\../etc/x y")), QStringLiteral(".._etc_x_y"));
    EXPECT_EQ(instanceFileStem(QStringLiteral("Global\\..")), QStringLiteral("Tessaly_instance"));
    EXPECT_EQ(instanceFileStem(QString()), QStringLiteral("Tessaly_instance"));
}

enum class AtThePath { Nothing, Directory, File, Link };

struct RuntimeSetup {
    const char* description;
    // XDG_RUNTIME_DIR: "run" is a directory in the test's base, nullptr unset.
    const char* runtimeVariable;
    // What stands where the directory is looked for before the call.
    AtThePath planted;
    mode_t mode;
    bool ownedByNobody;
    int expectedError;
};

// What a directory the variable names is made of (the everyday case, a
// private one of this user, is what every start of the real program uses),
// and the fallback private directory under TMPDIR when there is none.
TEST(UserRuntimeDirectory, OnlyADirectoryOfThisUserThatNobodyElseMayChange) {
    const QString own = QStringLiteral("tessaly-") + QString::number(::geteuid());
    const RuntimeSetup setups[] = {
        {"XDG_RUNTIME_DIR open to everybody", "run", AtThePath::Directory, 01777, false, EACCES},
        {"XDG_RUNTIME_DIR of another user", "run", AtThePath::Directory, 0700, true, EPERM},
        {"XDG_RUNTIME_DIR a link to this user's directory", "run", AtThePath::Link, 0, false,
         ENOTDIR},
        {"relative XDG_RUNTIME_DIR: the private directory, made", "relative/run",
         AtThePath::Nothing, 0, false, 0},
        {"no XDG_RUNTIME_DIR: the private directory, made", nullptr, AtThePath::Nothing, 0, false,
         0},
        {"private directory already there", nullptr, AtThePath::Directory, 0700, false, 0},
        {"private directory readable by others", nullptr, AtThePath::Directory, 0755, false,
         EACCES},
        {"private directory planted by another user", nullptr, AtThePath::Directory, 0700, true,
         EPERM},
        {"a file at the private directory's path", nullptr, AtThePath::File, 0, false, ENOTDIR},
        {"a link at the private directory's path", nullptr, AtThePath::Link, 0, false, ENOTDIR},
    };
    for (const RuntimeSetup& setup : setups) {
        SCOPED_TRACE(setup.description);
        QTemporaryDir base;
        ASSERT_TRUE(base.isValid());
        const bool named = setup.runtimeVariable != nullptr &&
                           QByteArray(setup.runtimeVariable) == QByteArray("run");
        const QString expectedPath = base.filePath(named ? QStringLiteral("run") : own);
        const QString real = base.filePath(QStringLiteral("real"));
        bool planted = true;
        switch (setup.planted) {
            case AtThePath::Nothing:
                break;
            case AtThePath::Directory:
                planted = makeDirectory(expectedPath, setup.mode);
                break;
            case AtThePath::File:
                planted = writeAll(expectedPath, "x");
                break;
            case AtThePath::Link:
                planted = makeDirectory(real, 0700) && QFile::link(real, expectedPath);
                break;
        }
        ASSERT_TRUE(planted && (!setup.ownedByNobody || giveToNobody(expectedPath)));
        ScopedEnv tmp("TMPDIR", encoded(base.path()).constData());
        const QByteArray variable =
            named ? encoded(expectedPath) : QByteArray(setup.runtimeVariable);
        ScopedEnv runtime("XDG_RUNTIME_DIR",
                          setup.runtimeVariable != nullptr ? variable.constData() : nullptr);
        // A umask that would leave a new directory unusable must not matter.
        const mode_t savedMask = ::umask(0777);
        const RuntimeDirectory directory = userRuntimeDirectory();
        ::umask(savedMask);
        EXPECT_EQ(directory.path, expectedPath);
        EXPECT_EQ(directory.error, setup.expectedError) << std::strerror(directory.error);
        if (setup.expectedError == 0) {
            EXPECT_EQ(modeOf(expectedPath), 0700u);
        }
    }
}

// Holders in this and other processes (flock(1), a second start, a killed
// recorder) are the real program's test.
TEST(InstanceLockFile, CreatedPrivateOrLeftAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fresh = dir.filePath(QStringLiteral("fresh.lock"));
    const mode_t savedMask = ::umask(0);
    const InstanceLock created(fresh);
    ::umask(savedMask);
    EXPECT_EQ(created.state(), State::Owned);
    EXPECT_EQ(modeOf(fresh), 0600u);

    const QString existing = dir.filePath(QStringLiteral("existing.lock"));
    ASSERT_TRUE(writeAll(existing, "left by an earlier run\n"));
    const InstanceLock reused(existing);
    EXPECT_EQ(reused.state(), State::Owned);
    EXPECT_EQ(readAll(existing), QByteArray("left by an earlier run\n"));
}

struct Planted {
    const char* description;
    std::function<bool(const QString& lockPath, const QString& victim)> plant;
    int expectedError;
};

TEST(InstanceLockFile, AnythingButAFileAtThePathIsReportedWithoutBlocking) {
    const std::vector<Planted> planted{
        {"dangling link",
         [](const QString& lock, const QString& victim) { return QFile::link(victim, lock); },
         ELOOP},
        {"link to a file",
         [](const QString& lock, const QString& victim) {
             return writeAll(victim, "precious") && QFile::link(victim, lock);
         },
         ELOOP},
        {"FIFO",
         [](const QString& lock, const QString&) {
             return ::mkfifo(encoded(lock).constData(), 0600) == 0;
         },
         EINVAL},
        {"directory", [](const QString& lock, const QString&) { return QDir().mkdir(lock); },
         EISDIR},
        {"missing parent directory", [](const QString&, const QString&) { return true; }, ENOENT},
    };
    for (const Planted& p : planted) {
        SCOPED_TRACE(p.description);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString lockPath = p.expectedError == ENOENT
                                     ? dir.filePath(QStringLiteral("missing/instance.lock"))
                                     : dir.filePath(QStringLiteral("instance.lock"));
        const QString victim = dir.filePath(QStringLiteral("victim"));
        ASSERT_TRUE(p.plant(lockPath, victim));
        const bool victimExisted = QFileInfo::exists(victim);
        const InstanceLock lock(lockPath);
        EXPECT_EQ(lock.state(), State::Unavailable);
        EXPECT_EQ(lock.error(), p.expectedError);
        // A link's target is neither made, changed nor locked.
        EXPECT_EQ(QFileInfo::exists(victim), victimExisted);
        if (victimExisted) {
            EXPECT_EQ(readAll(victim), QByteArray("precious"));
            EXPECT_EQ(flockToolProbe(victim), 0);
        }
    }
}

}  // namespace
