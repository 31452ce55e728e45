// The program's one setting, the save directory, kept in VodozaZevuri.ini.
#pragma once

#include <QString>

class SaveDirSettings {
public:
    // Longest value read back; longer stored values are cut to this length.
    static constexpr int kMaxValueLength = 259;

    // $HOME/TessalySave: used when the file, the section or the key is missing.
    static QString defaultSavePath();

    // VodozaZevuri.ini beside the executable when that directory is writable,
    // otherwise the same file name under the user's XDG config directory.
    static QString iniPathFor(const QString& executableDir);

    explicit SaveDirSettings(QString iniPath);

    const QString& iniPath() const { return iniPath_; }

    // Reads section "screen_record", key "save_path". Never creates the file.
    QString readSavePath() const;

    // Writes the value; a failed write is ignored (the caller keeps showing it).
    void writeSavePath(const QString& path) const;

private:
    QString iniPath_;
};

// The free-space label's text for a save directory: "Unknow" for an empty
// path, otherwise the size text of its filesystem's free bytes (zero bytes
// when the query fails).
QString freeSpaceText(const QString& saveDir);
