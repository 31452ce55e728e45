#include "player/player_command_line.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace player {

QString findPlayerProgram(const QString& applicationDir) {
    const QFileInfo bundled(applicationDir + u'/' + QLatin1String(kBundledPlayerName));
    if (bundled.isFile() && bundled.isExecutable()) {
        return bundled.filePath();
    }
    return QStandardPaths::findExecutable(QLatin1String(kSystemPlayerName));
}

QStringList playerArguments(quint64 windowId, const QString& file) {
    return {QStringLiteral("-slave"),
            QStringLiteral("-quiet"),
            QStringLiteral("-aspect"),
            QStringLiteral("16:9"),
            QStringLiteral("-wid"),
            QString::number(windowId),
            QStringLiteral("-vo"),
            QStringLiteral("xv,x11,"),
            QStringLiteral("-lavdopts"),
            QStringLiteral("threads=4"),
            QStringLiteral("-geometry"),
            QStringLiteral("700:300"),
            QStringLiteral("-x"),
            QStringLiteral("700"),
            QStringLiteral("-y"),
            QStringLiteral("300"),
            file};
}

}  // namespace player
