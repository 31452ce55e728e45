#include "ui/settings.h"

#include "filelist/format.h"
#include "platform/disk_space.h"
#include "platform/ini_file.h"
#include "platform/install_layout.h"
#include "platform/native_path.h"
#include "recorder/recording_names.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString kIniFileName = QStringLiteral("VodozaZevuri.ini");
const QString kSection = QStringLiteral("screen_record");
const QString kKey = QStringLiteral("save_path");

// What the label shows when there is no directory to measure.
const QString kUnknownSpaceText = QStringLiteral("Unknow");

QString directoryOf(const QString& filePath) {
    const qsizetype slash = filePath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        return QString();  // a bare file name: the working directory, which exists
    }
    return slash == 0 ? QStringLiteral("/") : filePath.left(slash);
}

}  // namespace

QString SaveDirSettings::iniPathFor(const QString& executableDir) {
    const QFileInfo dir(executableDir);
    // An installed program's bin directory is writable for root, but it
    // belongs to the package manager: settings go to the config directory.
    if (!executableDir.isEmpty() && dir.isDir() && dir.isWritable() &&
        !platform::isInstalledProgramDir(executableDir)) {
        return QDir(executableDir).absoluteFilePath(kIniFileName);
    }
    const QString configDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(configDir).absoluteFilePath(kIniFileName);
}

SaveDirSettings::SaveDirSettings(QString iniPath) : iniPath_(std::move(iniPath)) {}

QString SaveDirSettings::readSavePath() const {
    QString value;
    // An empty value is no directory at all: recordings would land in "/".
    if (!platform::readIniValue(iniPath_, kSection, kKey, value) || value.isEmpty()) {
        return recorder::defaultSaveDirectory();
    }
    return value;
}

int SaveDirSettings::writeSavePath(const QString& path) const {
    // The XDG config directory may not exist yet on a fresh account.
    const QString dir = directoryOf(iniPath_);
    if (!dir.isEmpty()) {
        (void)platform::makeDirectoryPath(dir);
    }
    return platform::writeIniValue(iniPath_, kSection, kKey, path);
}

QString freeSpaceText(const QString& saveDir) {
    if (saveDir.isEmpty()) {
        return kUnknownSpaceText;
    }
    qint64 bytes = 0;
    // A failed query leaves zero bytes, shown as such.
    (void)driveFreeSpace(saveDir, bytes);
    return formatSize(bytes);
}
