#include "ui/web_links.h"

#include "platform/install_layout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

namespace weblinks {

namespace {

// A page is looked for beside the executable first (the build tree, or a
// copy of the program unpacked anywhere with its docs/ folder), then in the
// data directory of an installed program. Where neither holds it, the path
// beside the executable is opened, so the browser names the missing file.
QUrl shippedPage(const QString& fileName) {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString besideProgram = programDir + QStringLiteral("/docs/") + fileName;
    const QString installed = platform::installedDocsDir(programDir) + QLatin1Char('/') + fileName;
    for (const QString& candidate : {besideProgram, installed}) {
        if (QFileInfo(candidate).isFile())
            return QUrl::fromLocalFile(candidate);
    }
    return QUrl::fromLocalFile(besideProgram);
}

}  // namespace

const QUrl& userGuide() {
    static const QUrl url = shippedPage(QStringLiteral("user-guide.html"));
    return url;
}

const QUrl& support() {
    static const QUrl url = shippedPage(QStringLiteral("troubleshooting.html"));
    return url;
}

const QUrl& about() {
    static const QUrl url = shippedPage(QStringLiteral("about.html"));
    return url;
}

const QUrl& audioSetup() {
    static const QUrl url = shippedPage(QStringLiteral("audio-setup.html"));
    return url;
}

}  // namespace weblinks
