// The single-instance lock: an advisory flock on a file in the user's own
// runtime directory, so that it is one recorder per user and desktop session
// and no other user can take, answer for or plant anything at it. The kernel
// drops the lock when the process ends, however it ends.
#pragma once

#include <QString>

// The directory for the lock file and the hand-over socket: XDG_RUNTIME_DIR
// when it names an absolute path, else "tessaly-<uid>" in the temporary
// directory, made with mode 0700 when missing. `error` is 0 when the
// directory can be used, otherwise why not: ENOTDIR (not a directory, or a
// symbolic link), EPERM (owned by another user), EACCES (others may write to
// it, or the fallback directory's mode is not exactly 0700), or the errno of
// making or inspecting it.
struct RuntimeDirectory {
    QString path;
    int error = 0;
};
RuntimeDirectory userRuntimeDirectory();

// The file name stem for an instance-lock name such as
// "Global\Tessaly_Screen_Recorder_2016_For_Windows": the part after the last
// backslash (the namespace prefix carries no meaning here), with every
// character outside [A-Za-z0-9._-] replaced by '_'. Never empty, "." or "..".
QString instanceFileStem(const QString& instanceName);

class InstanceLock {
  public:
    enum class State {
        Owned,          // this object holds the lock
        HeldByAnother,  // another open of the file (another process) holds it
        Unavailable,    // the file could not be opened or locked; see error()
    };

    // Tries once, without waiting. The file is created when missing (mode
    // 0600), never truncated and never written; a symbolic link or anything
    // but a regular file at the path is refused.
    explicit InstanceLock(const QString& filePath);
    ~InstanceLock();

    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }

    // The errno value behind Unavailable (EINVAL for something other than a
    // regular file at the path), 0 otherwise.
    int error() const { return error_; }

  private:
    int fd_ = -1;
    State state_ = State::Unavailable;
    int error_ = 0;
};
