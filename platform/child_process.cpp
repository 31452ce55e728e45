#include "platform/child_process.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <QProcess>
#include <csignal>

#include "platform/native_path.h"

namespace platform {

void endChildWithParent(QProcess& process) {
    const pid_t parent = ::getpid();
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died before the request took effect.
        if (::getppid() != parent) {
            ::_exit(127);
        }
    });
}

QString childVisiblePath(const QString& path, const QString& linkDir) {
    const QByteArray bytes = encodePath(path);
    if (path.toUtf8() == bytes) {
        return path;
    }
    const QString link = joinPath(linkDir, QStringLiteral("preview"));
    ::unlink(encodePath(link).constData());
    if (::symlink(bytes.constData(), encodePath(link).constData()) != 0) {
        return {};
    }
    return link;
}

}  // namespace platform
