// Shows the main window, switches to each page and saves a picture of it:
// render-pages OUTPUT_DIR writes home.png, record.png, cut.png and merge.png
// there and prints their paths.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStackedLayout>
#include <QTextStream>

#include "ui/drui.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: render-pages OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(args[1]);
    if (!QDir().mkpath(out.path())) {
        QTextStream(stderr) << "render-pages: cannot create " << out.path() << "\n";
        return 1;
    }

    DRUI window;
    window.setupPages();
    window.show();

    const std::pair<DRUI::PageIndex, const char*> pages[] = {{DRUI::kHomePage, "home"},
                                                             {DRUI::kRecordPage, "record"},
                                                             {DRUI::kCutPage, "cut"},
                                                             {DRUI::kMergePage, "merge"}};
    int status = 0;
    for (const auto& [index, name] : pages) {
        window.pageStack->setCurrentIndex(index);
        QApplication::processEvents();
        const QString path = out.absoluteFilePath(QString::fromLatin1(name) + ".png");
        if (!window.grab().save(path)) {
            QTextStream(stderr) << "render-pages: cannot write " << path << "\n";
            status = 1;
            continue;
        }
        QTextStream(stdout) << path << "\n";
    }
    return status;
}
