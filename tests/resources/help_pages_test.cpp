// The help pages as the program opens them: copied into the build tree beside
// the executable, linked to each other correctly and self-contained offline.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace {

QString docsDir() {
    return QStringLiteral(TESSALY_BIN_DIR "/docs");
}

QString readPage(const QString& name) {
    QFile file(docsDir() + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

const QStringList& pages() {
    static const QStringList names = {
        QStringLiteral("user-guide.html"), QStringLiteral("troubleshooting.html"),
        QStringLiteral("about.html"), QStringLiteral("audio-setup.html")};
    return names;
}

QStringList attributeValues(const QString& html) {
    static const QRegularExpression attribute(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    QStringList values;
    for (auto match = attribute.globalMatch(html); match.hasNext();) {
        values << match.next().captured(1);
    }
    return values;
}

TEST(HelpPages, AllPagesAndTheirStyleAreBesideTheExecutable) {
    const QDir dir(docsDir());
    for (const QString& page : pages()) {
        EXPECT_TRUE(dir.exists(page)) << page.toStdString();
    }
    EXPECT_TRUE(dir.exists(QStringLiteral("style.css")));
    EXPECT_TRUE(dir.exists(QStringLiteral("logo.svg")));
}

TEST(HelpPages, EveryLinkReachesAnExistingPageAndAnchor) {
    for (const QString& page : pages()) {
        const QString html = readPage(page);
        ASSERT_FALSE(html.isEmpty()) << page.toStdString();
        for (const QString& target : attributeValues(html)) {
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            const QString anchor = target.section(QLatin1Char('#'), 1);
            const QString targetFile = file.isEmpty() ? page : file;
            EXPECT_TRUE(QFile::exists(docsDir() + QLatin1Char('/') + targetFile))
                << page.toStdString() << " -> " << target.toStdString();
            if (!anchor.isEmpty()) {
                const QString id = QStringLiteral("id=\"%1\"").arg(anchor);
                EXPECT_TRUE(readPage(targetFile).contains(id))
                    << page.toStdString() << " -> " << target.toStdString();
            }
        }
    }
}

TEST(HelpPages, PagesLoadNothingFromTheNetwork) {
    static const QRegularExpression remote(QStringLiteral("(?:https?:)?//"));
    for (const QString& page : pages()) {
        for (const QString& target : attributeValues(readPage(page))) {
            EXPECT_FALSE(remote.match(target).hasMatch())
                << page.toStdString() << " -> " << target.toStdString();
        }
    }
    QFile css(docsDir() + QStringLiteral("/style.css"));
    ASSERT_TRUE(css.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QString::fromUtf8(css.readAll()).contains(QStringLiteral("url(")));
}

TEST(HelpPages, EveryPageCarriesTheLegalNotice) {
    for (const QString& page : pages()) {
        EXPECT_TRUE(readPage(page).contains(QStringLiteral("© 2026 Tessaly. All rights reserved.")))
            << page.toStdString();
    }
}

}  // namespace
