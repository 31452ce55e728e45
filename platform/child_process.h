// Ties a helper program's life to ours: a child started through QProcess is
// ended by the kernel when this process ends, also when it is killed and no
// destructor runs.
#pragma once

#include <QString>

class QProcess;

namespace platform {

// Sets up `process` (before start) so that its child receives SIGKILL the
// moment this process exits.
void endChildWithParent(QProcess& process);

// A name that QProcess can hand to a child for `path`: the path itself when
// it is valid UTF-8, otherwise a symbolic link to it created in `linkDir`
// (which must exist). Empty when the link cannot be made.
QString childVisiblePath(const QString& path, const QString& linkDir);

}  // namespace platform
