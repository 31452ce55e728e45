// The single-instance lock: taken by one holder at a time, released by the
// kernel when its holder ends, kept in a directory no other user controls,
// and never led astray by what is planted at its path.
#include "platform/instance_lock.h"
#include "scoped_env.h"

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
#include <memory>
#include <optional>

namespace {

using State = InstanceLock::State;

// flock(1) from util-linux takes the same kind of lock from another process:
// an oracle that shares no code with ours.
constexpr int kFlockConflictExit = 7;
constexpr int kHolderDeadlineMs = 10000;

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

struct RuntimeSetup {
    const char* description;
    // Prepares `base` and returns XDG_RUNTIME_DIR's value (nothing: unset).
    std::function<std::optional<QByteArray>(const QString& base)> prepare;
    const char* expectedPath;  // relative to `base`
    int expectedError;
};

TEST(UserRuntimeDirectory, OnlyADirectoryOfThisUserThatNobodyElseMayChange) {
    const QString own = QStringLiteral("tessaly-") + QString::number(::geteuid());
    const auto ownFallback = [own](mode_t mode) {
        return [own, mode](const QString& base) -> std::optional<QByteArray> {
            if (!makeDirectory(base + QLatin1Char('/') + own, mode))
                return QByteArray("<set-up failed>");
            return std::nullopt;
        };
    };
    const std::vector<RuntimeSetup> setups{
        {"XDG_RUNTIME_DIR of this user",
         [](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QStringLiteral("/run"), 0700);
             return encoded(base + QStringLiteral("/run"));
         },
         "run", 0},
        {"XDG_RUNTIME_DIR open to everybody",
         [](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QStringLiteral("/run"), 01777);
             return encoded(base + QStringLiteral("/run"));
         },
         "run", EACCES},
        {"XDG_RUNTIME_DIR of another user",
         [](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QStringLiteral("/run"), 0700);
             giveToNobody(base + QStringLiteral("/run"));
             return encoded(base + QStringLiteral("/run"));
         },
         "run", EPERM},
        {"XDG_RUNTIME_DIR a link to this user's directory",
         [](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QStringLiteral("/real"), 0700);
             QFile::link(base + QStringLiteral("/real"), base + QStringLiteral("/run"));
             return encoded(base + QStringLiteral("/run"));
         },
         "run", ENOTDIR},
        {"relative XDG_RUNTIME_DIR: the private directory, made",
         [](const QString&) -> std::optional<QByteArray> { return QByteArray("relative/run"); },
         nullptr, 0},
        {"no XDG_RUNTIME_DIR: the private directory, made",
         [](const QString&) -> std::optional<QByteArray> { return std::nullopt; }, nullptr, 0},
        {"private directory already there", ownFallback(0700), nullptr, 0},
        {"private directory readable by others", ownFallback(0755), nullptr, EACCES},
        {"private directory planted by another user",
         [own](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QLatin1Char('/') + own, 0700);
             giveToNobody(base + QLatin1Char('/') + own);
             return std::nullopt;
         },
         nullptr, EPERM},
        {"a file at the private directory's path",
         [own](const QString& base) -> std::optional<QByteArray> {
             writeAll(base + QLatin1Char('/') + own, "x");
             return std::nullopt;
         },
         nullptr, ENOTDIR},
        {"a link at the private directory's path",
         [own](const QString& base) -> std::optional<QByteArray> {
             makeDirectory(base + QStringLiteral("/real"), 0700);
             QFile::link(base + QStringLiteral("/real"), base + QLatin1Char('/') + own);
             return std::nullopt;
         },
         nullptr, ENOTDIR},
    };
    for (const RuntimeSetup& setup : setups) {
        SCOPED_TRACE(setup.description);
        QTemporaryDir base;
        ASSERT_TRUE(base.isValid());
        ScopedEnv tmp("TMPDIR", encoded(base.path()).constData());
        const std::optional<QByteArray> runtimeDir = setup.prepare(base.path());
        ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeDir ? runtimeDir->constData() : nullptr);
        // A umask that would leave a new directory unusable must not matter.
        const mode_t savedMask = ::umask(0777);
        const RuntimeDirectory directory = userRuntimeDirectory();
        ::umask(savedMask);
        const QString expectedPath =
            base.path() + QLatin1Char('/') +
            (setup.expectedPath ? QString::fromLatin1(setup.expectedPath) : own);
        EXPECT_EQ(directory.path, expectedPath);
        EXPECT_EQ(directory.error, setup.expectedError) << std::strerror(directory.error);
        if (setup.expectedError == 0 && setup.expectedPath == nullptr) {
            EXPECT_EQ(modeOf(expectedPath), 0700u);
        }
    }
}

// A second lock in this process is refused while the first lives, and
// flock(1), an oracle that shares no code with ours, sees it. Holders in
// other processes (flock(1), a killed recorder) are the real program's test.
TEST(InstanceLockHolders, TheHolderKeepsTheLockUntilItEnds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    auto first = std::make_unique<InstanceLock>(path);
    ASSERT_EQ(first->state(), State::Owned);
    EXPECT_EQ(flockToolProbe(path), kFlockConflictExit) << "others see our lock";
    const InstanceLock blocked(path);
    EXPECT_EQ(blocked.state(), State::HeldByAnother);
    EXPECT_EQ(blocked.error(), 0);
    first.reset();
    const InstanceLock after(path);
    EXPECT_EQ(after.state(), State::Owned);
}

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
