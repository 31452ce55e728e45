// The program's one setting, the save directory, kept in VodozaZevuri.ini.
#pragma once

#include <QString>

class SaveDirSettings {
  public:
    // VodozaZevuri.ini beside the executable when that directory is writable
    // and not the bin directory of an installation, otherwise the same file
    // name under the user's XDG config directory.
    static QString iniPathFor(const QString& executableDir);

    explicit SaveDirSettings(QString iniPath);

    const QString& iniPath() const { return iniPath_; }

    // Reads section "screen_record", key "save_path", byte for byte and at any
    // length. A missing file, section or key, or an empty value, gives the
    // default save directory. Never creates the file.
    QString readSavePath() const;

    // Writes the value, keeping every other line of the file. Returns 0 or
    // an errno value; the window ignores a failure and keeps showing it.
    int writeSavePath(const QString& path) const;

  private:
    QString iniPath_;
};

// The free-space label's text for a save directory: "Unknow" for an empty
// path, otherwise the size text of its filesystem's free bytes (zero bytes
// when the query fails).
QString freeSpaceText(const QString& saveDir);
