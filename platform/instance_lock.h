// The machine-wide single-instance lock: an advisory flock on a file in the
// system's temporary directory. The kernel drops it when the process ends,
// however it ends.
#pragma once

#include <QString>

// The lock file for an instance-lock name such as
// "Global\Tessaly_Screen_Recorder_2016_For_Windows": the part after the last
// backslash (the namespace prefix carries no meaning here), with every
// character outside [A-Za-z0-9._-] replaced by '_', plus ".lock", in
// QDir::tempPath().
QString instanceLockFilePath(const QString& instanceName);

class InstanceLock {
  public:
    enum class State {
        Owned,          // this object holds the lock
        HeldByAnother,  // another open of the file (another process) holds it
        Unavailable,    // the file could not be opened or locked; see error()
    };

    // Tries once, without waiting. The file is created when missing (mode
    // 0644 so other users can take the same lock), never truncated and never
    // written; a symbolic link or anything but a regular file at the path is
    // refused.
    explicit InstanceLock(const QString& filePath);
    ~InstanceLock();

    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }

    // The errno value behind Unavailable, 0 otherwise.
    int error() const { return error_; }

  private:
    int fd_ = -1;
    State state_ = State::Unavailable;
    int error_ = 0;
};
