#include "ui/settings.h"

#include "filelist/format.h"
#include "platform/disk_space.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString kIniFileName = QStringLiteral("VodozaZevuri.ini");
const QString kSection = QStringLiteral("screen_record");
const QString kKey = QStringLiteral("save_path");

// What the label shows when there is no directory to measure.
const QString kUnknownSpaceText = QStringLiteral("Unknow");

QString settingsKey() {
    return kSection + QLatin1Char('/') + kKey;
}

// QSettings reads an unquoted value holding commas (as a hand-edited file
// may have) as a list; the setting is one text, so put the commas back.
QString valueAsText(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

}  // namespace

QString SaveDirSettings::defaultSavePath() {
    return QDir::homePath() + QStringLiteral("/TessalySave");
}

QString SaveDirSettings::iniPathFor(const QString& executableDir) {
    const QFileInfo dir(executableDir);
    if (!executableDir.isEmpty() && dir.isDir() && dir.isWritable()) {
        return QDir(executableDir).absoluteFilePath(kIniFileName);
    }
    const QString configDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(configDir).absoluteFilePath(kIniFileName);
}

SaveDirSettings::SaveDirSettings(QString iniPath) : iniPath_(std::move(iniPath)) {}

QString SaveDirSettings::readSavePath() const {
    // A missing file is the first run: QSettings then reads nothing and,
    // with nothing changed, writes nothing back.
    if (!QFileInfo::exists(iniPath_)) {
        return defaultSavePath();
    }
    const QSettings settings(iniPath_, QSettings::IniFormat);
    const QVariant value = settings.value(settingsKey());
    if (!value.isValid()) {
        return defaultSavePath();
    }
    return valueAsText(value).left(kMaxValueLength);
}

void SaveDirSettings::writeSavePath(const QString& path) const {
    // The XDG config directory may not exist yet on a fresh account.
    QDir().mkpath(QFileInfo(iniPath_).absolutePath());
    QSettings settings(iniPath_, QSettings::IniFormat);
    settings.setValue(settingsKey(), path);
    settings.sync();
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
