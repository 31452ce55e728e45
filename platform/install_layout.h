// Where an installed program's files lie relative to its executable, so that
// an installation under any prefix (or in a staging directory) finds them.
#pragma once

#include <QString>

namespace platform {

// The directory of the installed help pages for a program in programDir.
QString installedDocsDir(const QString& programDir);

// True when programDir is the bin directory of an installation: its
// installed help pages' directory exists.
bool isInstalledProgramDir(const QString& programDir);

}  // namespace platform
