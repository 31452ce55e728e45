// Every picture and help page the program refers to is shipped and loads. The
// references are read from the interface sources themselves, so a renamed or
// forgotten file shows here rather than as a blank button or a dead link; the
// pages are then followed link by link and must work offline.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString kDocsDir = QStringLiteral(TESSALY_BIN_DIR "/docs/");

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every first capture of `pattern` in the sources of the interface and the app.
QStringList referencedInSources(const QString& pattern) {
    const QRegularExpression re(pattern);
    QSet<QString> found;
    for (const char* folder : {"/ui", "/app"}) {
        const QDir dir(QStringLiteral(TESSALY_SOURCE_DIR) + QLatin1String(folder));
        for (const QString& name :
             dir.entryList({QStringLiteral("*.cpp"), QStringLiteral("*.h")})) {
            for (auto m = re.globalMatch(readText(dir.filePath(name))); m.hasNext();)
                found << m.next().captured(1);
        }
    }
    return found.values();
}

TEST(Resources, EveryPictureTheInterfaceNamesLoadsFromTheResourceTree) {
    const QStringList names = referencedInSources(QStringLiteral("\":(/image/[^\"]+)\""));
    ASSERT_FALSE(names.isEmpty()) << "no picture references found: the pattern is stale";
    for (const QString& name : names) {
        const QImage image(QLatin1Char(':') + name);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        // The pictures sit on coloured bars: without alpha they show as boxes.
        EXPECT_TRUE(image.hasAlphaChannel()) << name.toStdString();
    }
}

TEST(Resources, EveryHelpPageIsShippedAndItsLinksWorkOffline) {
    QStringList queue =
        referencedInSources(QStringLiteral("shippedPage\\(QStringLiteral\\(\"([^\"]+)\"\\)\\)"));
    ASSERT_FALSE(queue.isEmpty()) << "no page references found: the pattern is stale";
    static const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    static const QRegularExpression remote(QStringLiteral("(?:https?:)?//"));
    QSet<QString> seen;
    while (!queue.isEmpty()) {
        const QString page = queue.takeFirst();
        if (seen.contains(page))
            continue;
        seen << page;
        const QString html = readText(kDocsDir + page);
        ASSERT_FALSE(html.isEmpty()) << page.toStdString();
        for (auto m = link.globalMatch(html); m.hasNext();) {
            const QString target = m.next().captured(1);
            SCOPED_TRACE(page.toStdString() + " -> " + target.toStdString());
            EXPECT_FALSE(remote.match(target).hasMatch());
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString targetFile = file.isEmpty() ? page : file;
            const QString text = readText(kDocsDir + targetFile);
            ASSERT_TRUE(QFile::exists(kDocsDir + targetFile));
            EXPECT_TRUE(anchor.isEmpty() || text.contains(QStringLiteral("id=\"%1\"").arg(anchor)));
            EXPECT_FALSE(targetFile.endsWith(QLatin1String(".css")) &&
                         text.contains(QLatin1String("url(")));
            if (targetFile.endsWith(QLatin1String(".html")))
                queue << targetFile;
        }
    }
}

}  // namespace
