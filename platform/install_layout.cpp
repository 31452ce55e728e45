#include "platform/install_layout.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QString installedDocsDir(const QString& programDir) {
    return QDir::cleanPath(programDir + QLatin1Char('/') +
                           QStringLiteral(TESSALY_DOCS_FROM_BIN_DIR));
}

bool isInstalledProgramDir(const QString& programDir) {
    return !programDir.isEmpty() && QFileInfo(installedDocsDir(programDir)).isDir();
}

}  // namespace platform
