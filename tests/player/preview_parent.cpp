// Starts a preview player (the stand-in) and waits to be killed: the test
// kills this process with SIGKILL and checks that the player goes with it.
#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

#include "player/preview_player.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }
    player::PreviewPlayer preview;
    const QString program = QString::fromLocal8Bit(argv[1]);
    preview.findProgram = [program] { return program; };
    preview.start(QStringLiteral("/nonexistent.avi"), 0);
    if (!preview.process() || !preview.process()->waitForStarted()) {
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(preview.process()->processId()));
    std::fflush(stdout);
    return app.exec();
}
