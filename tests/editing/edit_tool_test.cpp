// tessaly-avi cut and merge: the progress display on a terminal and in a
// pipe, Ctrl+C as the give-up, and the exit statuses. (Misuse of their
// options is in the tool's misuse table with the other subcommands.)
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "edit_test_support.h"

using namespace edittest;

namespace {

const QString kTool = QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");
constexpr int kExitGivenUp = 130;

struct Ran {
    int exit = -1;
    QString out;
    QString err;
};

Ran runTool(const QStringList& args) {
    QProcess p;
    p.start(kTool, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

TEST(EditTool, ReportsProgressAndEndsWithTheRightStatus) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.avi"));
    ASSERT_EQ(writeSource(a, {.frames = 40}), 0);
    const QString missing = dir.filePath(QStringLiteral("gone.avi"));
    struct Case {
        QStringList args;
        int exit;
        QString out;      // what stdout must hold
        const char* err;  // what stderr must hold
    };
    const Case cases[] = {
        {{"cut", a, "--start", "1", "--end", "3"},
         0,
         dir.filePath("Cut_a.avi"),
         "cut: 0% (1/10 frames)"},
        {{"merge", a, a, "--out", dir.path()},
         0,
         dir.filePath("Merge"),
         "merge: 50% (41/80 frames)"},
        {{"cut", a, "--start", "3", "--end", "3"},
         1,
         QString(),
         "The end time must be after the start time."},
        {{"merge", a, missing}, 1, QString(), "gone.avi does not exist"},
        {{"cut", a, "--start", "0", "--end", "2", "--out", missing},
         1,
         QString(),
         "gone.avi does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Ran r = runTool(c.args);
        EXPECT_EQ(r.exit, c.exit) << r.err.toStdString();
        EXPECT_TRUE(c.out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(c.out))
            << r.out.toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(c.err))) << r.err.toStdString();
    }

    // On a terminal: one bar redrawn in place, with frames, speed and time left.
    if (QStandardPaths::findExecutable(QStringLiteral("script")).isEmpty())
        GTEST_SKIP() << "script (util-linux) is missing";
    QProcess p;
    p.start(QStringLiteral("script"),
            {QStringLiteral("-qec"),
             kTool + QStringLiteral(" cut '") + a + QStringLiteral("' --start 0 --end 8 --out '") +
                 dir.path() + QStringLiteral("'"),
             QStringLiteral("/dev/null")});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString screen = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(
        screen.contains(QLatin1String("\r[##############################] 100%  39/39 frames")))
        << screen.toStdString();
    EXPECT_TRUE(screen.contains(QLatin1String(" fps ")) && screen.contains(QLatin1String(" left")))
        << screen.toStdString();
    EXPECT_FALSE(screen.contains(QLatin1String("cut: 0%"))) << screen.toStdString();
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
        int filesLeft;  // the source and the partial cut; never a merge
    };
    const Case cases[] = {
        {{"cut", a, "--start", "0", "--end", "200"}, "Cut_a.avi keeps the", 2},
        {{"merge", a, a, a}, "given up; nothing was kept", 2},
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
        EXPECT_EQ(filesIn(dir.path()).size(), c.filesLeft);
    }
    if (haveFfmpeg()) {
        const Decoded d = decode(dir.filePath(QStringLiteral("Cut_a.avi")));
        EXPECT_TRUE(d.ok && !d.numbers.empty() && d.numbers.size() < 999u);
    }
}

}  // namespace
