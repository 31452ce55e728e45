#include "ui/web_links.h"

#include <QCoreApplication>
#include <QString>

namespace weblinks {

namespace {
QUrl shippedPage(const QString& fileName) {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/docs/") +
                               fileName);
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
