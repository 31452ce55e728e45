// The machine-wide instance lock: taken by one holder at a time, released by
// the kernel when its holder ends, and never led astray by what an attacker
// plants at its path.
#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

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

class InstanceLockTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString lockPath() const { return dir_.filePath(QStringLiteral("instance.lock")); }
    QTemporaryDir dir_;
};

TEST(InstanceLockFilePath, NamedAfterTheInstanceNameInTheTemporaryDirectory) {
    const QString temp = QDir::tempPath() + QLatin1Char('/');
    EXPECT_EQ(
        instanceLockFilePath(QStringLiteral("Global\\Tessaly_Screen_Recorder_2016_For_Windows")),
        temp + QStringLiteral("Tessaly_Screen_Recorder_2016_For_Windows.lock"));
    // Nothing in the name can climb out of the temporary directory.
    EXPECT_EQ(instanceLockFilePath(QStringLiteral("Local\\../etc/x y")),
              temp + QStringLiteral(".._etc_x_y.lock"));
    EXPECT_EQ(instanceLockFilePath(QStringLiteral("Global\\..")),
              temp + QStringLiteral("Tessaly_instance.lock"));
    EXPECT_EQ(instanceLockFilePath(QString()), temp + QStringLiteral("Tessaly_instance.lock"));
}

TEST_F(InstanceLockTest, OneHolderAtATimeWithinOneProcess) {
    auto first = std::make_unique<InstanceLock>(lockPath());
    EXPECT_EQ(first->state(), State::Owned);
    {
        const InstanceLock second(lockPath());
        EXPECT_EQ(second.state(), State::HeldByAnother);
        EXPECT_EQ(second.error(), 0);
    }
    first.reset();
    const InstanceLock third(lockPath());
    EXPECT_EQ(third.state(), State::Owned);
}

TEST_F(InstanceLockTest, AnotherProgramSeesOurLockAndWeSeeTheirs) {
    {
        const InstanceLock ours(lockPath());
        ASSERT_EQ(ours.state(), State::Owned);
        EXPECT_EQ(flockToolProbe(lockPath()), kFlockConflictExit);
    }
    EXPECT_EQ(flockToolProbe(lockPath()), 0);

    // --no-fork: the lock's only holder is the process we kill below.
    QProcess holder;
    holder.start(
        QStringLiteral("flock"),
        {QStringLiteral("--nonblock"), QStringLiteral("--no-fork"), lockPath(),
         QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo held; exec sleep 30")});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    EXPECT_EQ(InstanceLock(lockPath()).state(), State::HeldByAnother);
    holder.kill();
    holder.waitForFinished(10000);
    EXPECT_EQ(InstanceLock(lockPath()).state(), State::Owned);
}

// A holder that ends without releasing anything: the kernel drops the lock.
TEST_F(InstanceLockTest, HolderExitingReleasesTheLock) {
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const QString path = lockPath();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* held = new InstanceLock(path);  // deliberately never destroyed
        const char state = held->state() == State::Owned ? 'O' : 'X';
        (void)::write(ready[1], &state, 1);
        char go = 0;
        (void)::read(release[0], &go, 1);
        ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    EXPECT_EQ(state, 'O');
    EXPECT_EQ(InstanceLock(path).state(), State::HeldByAnother);

    const char go = 'g';
    ASSERT_EQ(::write(release[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(InstanceLock(path).state(), State::Owned);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
        ::close(fd);
    }
}

TEST_F(InstanceLockTest, ExistingFileIsNeitherTruncatedNorWritten) {
    ASSERT_TRUE(writeAll(lockPath(), "left by an earlier run\n"));
    const InstanceLock lock(lockPath());
    EXPECT_EQ(lock.state(), State::Owned);
    EXPECT_EQ(readAll(lockPath()), QByteArray("left by an earlier run\n"));
}

TEST_F(InstanceLockTest, NewFileCanBeOpenedByOtherUsers) {
    const mode_t savedMask = ::umask(077);
    const InstanceLock lock(lockPath());
    ::umask(savedMask);
    ASSERT_EQ(lock.state(), State::Owned);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(lockPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(InstanceLockTest, SymlinkAtTheLockPathIsNotFollowed) {
    const QString victim = dir_.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QFile::link(victim, lockPath()));

    // Dangling link: nothing may be created at its target.
    const InstanceLock dangling(lockPath());
    EXPECT_EQ(dangling.state(), State::Unavailable);
    EXPECT_EQ(dangling.error(), ELOOP);
    EXPECT_FALSE(QFileInfo::exists(victim));

    // Link to an existing file: the file keeps its content and stays unlocked.
    ASSERT_TRUE(writeAll(victim, "precious"));
    const InstanceLock linked(lockPath());
    EXPECT_EQ(linked.state(), State::Unavailable);
    EXPECT_EQ(readAll(victim), QByteArray("precious"));
    EXPECT_EQ(flockToolProbe(victim), 0);
}

TEST_F(InstanceLockTest, FifoOrDirectoryAtTheLockPathIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(lockPath()).constData(), 0644), 0);
    const InstanceLock fifo(lockPath());
    EXPECT_EQ(fifo.state(), State::Unavailable);
    EXPECT_EQ(fifo.error(), EINVAL);

    const QString dirPath = dir_.filePath(QStringLiteral("a_directory"));
    ASSERT_TRUE(QDir().mkdir(dirPath));
    const InstanceLock directory(dirPath);
    EXPECT_EQ(directory.state(), State::Unavailable);
    EXPECT_EQ(directory.error(), EINVAL);
}

TEST_F(InstanceLockTest, UnreachableDirectoryMakesTheLockUnavailable) {
    const InstanceLock lock(dir_.filePath(QStringLiteral("missing/instance.lock")));
    EXPECT_EQ(lock.state(), State::Unavailable);
    EXPECT_EQ(lock.error(), ENOENT);
}

}  // namespace
