// The process entry: one recorder per machine. The first start builds the
// main window and runs the event loop; a later start shows the first one's
// window and ends with 0.
#include "app/single_instance.h"
#include "ui/drui.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>

namespace {

// Lock taken by someone else: ask its window to show itself, or say that the
// program runs when it cannot be reached.
int handOverToRunningInstance() {
    if (askRunningInstanceToShow(instanceServerPath()) != 0) {
        makeAlreadyRunningMessageBox()->exec();
    }
    return 0;
}

int runFirstInstance(QApplication& app) {
    // Listening starts before the window is built so that a second start in
    // the meantime already finds us; its request is answered once the event
    // loop runs, when the window stands.
    InstanceServer server;
    server.listen(instanceServerPath());

    auto window = std::make_unique<DRUI>();
    window->setupPages();
    // The window is hidden while it records and message boxes come and go:
    // only the main window's own close ends the program.
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(window.get(), &DRUI::windowClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&server, &InstanceServer::showRequested, window.get(),
                     [w = window.get()] { bringWindowToFront(w); });
    window->show();
    const int exitCode = app.exec();
    // The window goes before the application object.
    window.reset();
    return exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (checkSingleInstance()) {
        return handOverToRunningInstance();
    }
    return runFirstInstance(app);
}
