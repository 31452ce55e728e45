// tessaly-avi cut and merge: the progress lines in a pipe, Ctrl+C as the
// give-up, and the exit statuses, misuse of the command line among them.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>

#include "edit_test_support.h"

using namespace edittest;

namespace {

const QString kTool = QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");
constexpr int kExitGivenUp = 130;

TEST(EditTool, ReportsProgressAndEndsWithTheRightStatus) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.avi"));
    ASSERT_EQ(writeSource(a, {.frames = 40}), 0);
    struct Case {
        const char* args;  // A is the source, D its directory
        int exit;
        const char* out;  // what stdout must start with, after D
        const char* err;  // what stderr must hold
    };
    const Case cases[] = {
        {"cut A --start 1 --end 3", 0, "/Cut_a.avi", "cut: 0% (1/10 frames)"},
        {"merge A A --out D", 0, "/Merge", "merge: 50% (41/80 frames)"},
        {"merge A D/gone.avi", 1, nullptr, "gone.avi does not exist"},
        {"frobnicate", 2, nullptr, "frobnicate"},
        {"record --seconds 0", 2, nullptr, "--seconds '0'"},
        {"cut A --end 3", 2, nullptr, "--start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        QStringList args;
        for (const QString& word : QString::fromLatin1(c.args).split(QLatin1Char(' '))) {
            args << (word == QLatin1String("A") ? a
                     : word.startsWith('D')     ? dir.path() + word.mid(1)
                                                : word);
        }
        QProcess p;
        p.start(kTool, args);
        p.waitForFinished(120000);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, c.exit);
        EXPECT_EQ(out.isEmpty(), !c.out) << out.toStdString();
        EXPECT_TRUE(!c.out || out.startsWith(dir.path() + QLatin1String(c.out)))
            << out.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.err))) << err.toStdString();
    }
}

TEST(EditTool, CtrlCGivesUpLikeTheDialog) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.avi"));
    // Long enough (a second of work or more) that the job still has
    // nearly all of its frames ahead when the first progress line arrives.
    ASSERT_EQ(writeSource(a, {.frames = 1000, .sound = false, .width = 1024}), 0);
    struct Case {
        QStringList args;
        const char* says;
    };
    const Case cases[] = {
        {{"cut", a, "--start", "0", "--end", "200"}, "Cut_a.avi keeps the"},
        {{"merge", a, a, a}, "given up; nothing was kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.first().toStdString());
        QProcess p;
        p.start(kTool, c.args);
        p.setReadChannel(QProcess::StandardError);
        ASSERT_TRUE(p.waitForStarted());
        QByteArray err;
        while (!err.contains('%') && p.waitForReadyRead(60000))
            err += p.readAllStandardError();
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        ASSERT_TRUE(p.waitForFinished(60000));
        err += p.readAllStandardError();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), kExitGivenUp) << err.toStdString();
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
        // The source and the partial cut; never a merge.
        EXPECT_EQ(filesIn(dir.path()).size(), 2);
    }
}

}  // namespace
