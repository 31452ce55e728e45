// The single-instance lock: kept in a directory no other user controls, and
// never led astray by what is planted at its path. Holders in other
// processes (flock(1), a second start, a killed recorder) and a runtime
// directory open to everybody are the real program's test.
#include "platform/instance_lock.h"
#include "tests/support/scoped_env.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

// Runs the shell command `plant` with $1 naming `path`; links point at
// "$1.victim".
bool plantAt(const QString& path, const char* plant) {
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-ec"), QLatin1String(plant),
                                                    QStringLiteral("sh"), path}) == 0;
}

QString modeOf(const QString& path) {
    struct stat info {};
    const bool found = ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    return found ? QString::number(info.st_mode & 07777, 8) : QStringLiteral("missing");
}

// What a directory XDG_RUNTIME_DIR names is made of, and the fallback
// private directory under TMPDIR when it is relative (or unset). A
// umask that would leave a new directory unusable must not matter.
TEST(UserRuntimeDirectory, OnlyADirectoryOfThisUserThatNobodyElseMayChange) {
    const struct {
        bool named;         // XDG_RUNTIME_DIR names the directory; else it is relative
        const char* plant;  // at the directory's path before the call
        int expectedError;
    } setups[] = {
        {true, "mkdir -m 700 $1; chown nobody $1", EPERM},
        {false, ":", 0},
        {false, "mkdir -m 700 $1.victim; ln -s $1.victim $1", ENOTDIR},
        {false, "mkdir -m 744 $1", EACCES},
    };
    for (const auto& setup : setups) {
        SCOPED_TRACE(setup.plant);
        QTemporaryDir base;
        ASSERT_TRUE(base.isValid());
        const QString path = base.filePath(
            setup.named ? QStringLiteral("run") : QStringLiteral("tessaly-%1").arg(::geteuid()));
        ASSERT_TRUE(plantAt(path, setup.plant));
        const ScopedEnv tmp("TMPDIR", QFile::encodeName(base.path()).constData());
        const ScopedEnv runtime("XDG_RUNTIME_DIR",
                                setup.named ? QFile::encodeName(path).constData() : "relative/run");
        const mode_t savedMask = ::umask(0777);
        const RuntimeDirectory directory = userRuntimeDirectory();
        ::umask(savedMask);
        EXPECT_EQ(directory.path, path);
        EXPECT_EQ(directory.error, setup.expectedError) << std::strerror(directory.error);
        if (setup.expectedError == 0) {
            EXPECT_EQ(modeOf(path), QStringLiteral("700"));
        }
    }
}

// A lock file is made private, an old one is taken as it is, and anything
// but a file at the path is refused without blocking (a FIFO would stall a
// plain open) and without following, changing or locking a link's target.
TEST(InstanceLockFile, OnlyAFileAtThePathIsTaken) {
    using State = InstanceLock::State;
    const struct {
        const char* plant;
        State state;
        int expectedError;
        const char* modeAfter;
        QByteArray contents;  // of the file, or of a link's target
    } cases[] = {
        {":", State::Owned, 0, "600", ""},
        {"echo old > $1; chmod 640 $1", State::Owned, 0, "640", "old\n"},
        {"echo precious > $1.victim; ln -s $1.victim $1", State::Unavailable, ELOOP, "777",
         "precious\n"},
        {"mkfifo -m 600 $1", State::Unavailable, EINVAL, "600", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plant);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("a.lock"));
        ASSERT_TRUE(plantAt(path, c.plant));
        const mode_t savedMask = ::umask(0);
        const InstanceLock lock(path);
        ::umask(savedMask);
        EXPECT_EQ(lock.state(), c.state);
        EXPECT_EQ(lock.error(), c.expectedError);
        EXPECT_EQ(modeOf(path), QLatin1String(c.modeAfter));
        // Nothing written or truncated; only our own file locked (flock(1)
        // from util-linux is the oracle).
        const QString victim = path + QStringLiteral(".victim");
        QFile kept(QFile::exists(victim) ? victim : path);
        if (!QFileInfo(kept).isFile())
            continue;
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), c.contents);
        EXPECT_EQ(QProcess::execute(QStringLiteral("flock"), {QStringLiteral("-n"), kept.fileName(),
                                                              QStringLiteral("true")}),
                  QFile::exists(victim) ? 0 : 1);
    }
}

}  // namespace
