// How the preview player is started: which program, with which arguments.
#pragma once

#include <QString>
#include <QStringList>

namespace player {

// The name of a player shipped beside the recorder, preferred to any other.
inline constexpr char kBundledPlayerName[] = "Player";
// The player looked for on PATH otherwise (Debian package mplayer).
inline constexpr char kSystemPlayerName[] = "mplayer";

// `Player` in `applicationDir` when it is an executable file there, else
// `mplayer` as found on PATH; empty when neither exists.
QString findPlayerProgram(const QString& applicationDir);

// The slave-mode command line that plays `file` into the native window
// `windowId`. The video drivers end in a comma so that the player falls back
// to any driver that works when XVideo is missing.
QStringList playerArguments(quint64 windowId, const QString& file);

}  // namespace player
