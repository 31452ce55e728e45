// tessaly-avi cut and merge: the progress display on a terminal and in a
// pipe, Ctrl+C as the give-up, and the exit statuses. (Misuse of their
// options is in the tool's misuse table with the other subcommands.)
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>

#include "edit_test_support.h"
#include "tests/support/programs.h"

using namespace edittest;

namespace {

const QString kTool = QStringLiteral(TESSALY_BIN_DIR "/tessaly-avi");
constexpr int kExitGivenUp = 130;

TEST(EditTool, ReportsProgressAndEndsWithTheRightStatus) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.avi"));
    ASSERT_EQ(writeSource(a, {.frames = 40}), 0);
    const QString missing = dir.filePath(QStringLiteral("gone.avi"));
    struct Case {
        QStringList args;
        int exit;
        QString out;      // what stdout must start with
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
        {{"merge", a, missing}, 1, QString(), "gone.avi does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        QProcess p;
        p.start(kTool, c.args);
        p.waitForFinished(120000);
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, c.exit);
        EXPECT_TRUE(c.out.isEmpty() ? out.isEmpty() : out.startsWith(c.out)) << out.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String(c.err))) << err.toStdString();
    }

    // On a terminal: one bar redrawn in place, with frames, speed and time left.
    ASSERT_TRUE(testsupport::haveTool("script")) << "script (util-linux) is missing";
    std::string screen;
    ASSERT_EQ(testsupport::runCommand("script -qec \"'" + kTool.toStdString() + "' cut '" +
                                          a.toStdString() + "' --start 0 --end 8 --out '" +
                                          dir.path().toStdString() + "'\" /dev/null",
                                      screen),
              0);
    EXPECT_NE(screen.find("\r[##############################] 100%  39/39 frames"),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find(" fps "), std::string::npos) << screen;
    EXPECT_NE(screen.find(" left"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("cut: 0%"), std::string::npos) << screen;
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
    const Decoded d = decode(dir.filePath(QStringLiteral("Cut_a.avi")));
    EXPECT_TRUE(d.ok && !d.numbers.empty() && d.numbers.size() < 999u);
}

}  // namespace
