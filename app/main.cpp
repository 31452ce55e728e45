// The process entry: one recorder per user. The first start builds the main
// window and runs the event loop; a later start shows the first one's window
// and ends with 0; a start that cannot take the lock says why and ends with
// a nonzero code. A logout or a termination signal completes a running
// recording's file before the program ends.
#include "app/command_line.h"
#include "app/single_instance.h"
#include "platform/termination_signals.h"
#include "ui/drui.h"

#include <QApplication>
#include <QSessionManager>

#include <memory>

namespace {

// Stops a running recording the way the tray's Stop does: the controller
// completes the file and no message box waits for a user who is leaving.
void finishRecording(DRUI* window) {
    if (window->recording().isRecording())
        window->btnSlotMenuStop();
}

// SIGTERM (what a logout or a service manager sends), SIGINT and SIGHUP end
// the program as the window's own close does, through the event loop.
void endOnTerminationSignals(QApplication& app, DRUI* window,
                             platform::TerminationSignals& stopSignals) {
    QObject::connect(&stopSignals, &platform::TerminationSignals::terminationRequested, window,
                     [window] {
                         finishRecording(window);
                         window->close();
                         QCoreApplication::quit();
                     });
    // The session asks for unsaved work before it ends; a recording is
    // completed then, whether or not the logout goes ahead.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager&) { finishRecording(window); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, window,
                     [window] { finishRecording(window); });
}

int runFirstInstance(QApplication& app, const QString& socket) {
    // Listening starts before the window is built so that a second start in
    // the meantime already finds us; its request is answered once the event
    // loop runs, when the window stands.
    InstanceServer server;
    server.listen(socket);

    auto window = std::make_unique<DRUI>();
    window->setupPages();
    // The window is hidden while it records and message boxes come and go:
    // only the main window's own close ends the program.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(window.get(), &DRUI::windowClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&server, &InstanceServer::showRequested, window.get(),
                     [w = window.get()] { bringWindowToFront(w); });
    platform::TerminationSignals stopSignals;
    endOnTerminationSignals(app, window.get(), stopSignals);
    window->show();
    const int exitCode = app.exec();
    // The window goes before the application object.
    window.reset();
    return exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const auto status = answerInformationRequest(argc, argv))
        return *status;
    QApplication app(argc, argv);
    const InstanceCheck check = checkSingleInstance();
    if (check.role != InstanceRole::First) {
        return finishLaterStart(check);
    }
    return runFirstInstance(app, check.socket);
}
