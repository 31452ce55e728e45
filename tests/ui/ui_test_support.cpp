#include "ui_test_support.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QWidget>

namespace {

// Owns the application object for the whole run and ends it before main()
// returns: destroyed among the static objects at exit, it would outlive parts
// of Qt it still uses.
class ApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ensureApplication(); }
    void TearDown() override { app.reset(); }

    static std::unique_ptr<QApplication> app;
};

std::unique_ptr<QApplication> ApplicationEnvironment::app;

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

void ensureApplication() {
    if (QApplication::instance()) {
        return;
    }
    static int argc = 1;
    static char name[] = "ui_widgets_test";
    static char* argv[] = {name, nullptr};
    ApplicationEnvironment::app = std::make_unique<QApplication>(argc, argv);
}

void MainWindowTest::SetUp() {
    ensureApplication();
    ASSERT_TRUE(tempDir.isValid());
    window = std::make_unique<DRUI>();
    window->setIniPath(iniPath());
    // A preview that cannot start says so in a modal box; no test may wait on it.
    window->showWarning = [](QWidget*, const QString&, const QString&) {};
}

void MainWindowTest::writeIni(const QString& savePath) const {
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[screen_record]\nsave_path=" + savePath.toUtf8() + "\n");
}

QWidget* namedChild(QWidget* page, const char* name) {
    return page->findChild<QWidget*>(QLatin1String(name));
}

bool pointerDrag(QPoint from, QPoint by) {
    const QPoint to = from + by;
    QProcess xdotool;
    xdotool.start(
        QStringLiteral("xdotool"),
        {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
         "mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    return xdotool.waitForFinished() && xdotool.exitStatus() == QProcess::NormalExit &&
           xdotool.exitCode() == 0;
}
