// A small private tmpfs for tests that need a filesystem nobody else writes
// to (exact free-space figures) or one that is truly read-only, even for root.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <cerrno>
#include <cstring>

class ScopedTmpfs {
  public:
    ScopedTmpfs(const char* options, unsigned long flags = 0) {
        if (!dir_.isValid()) {
            error_ = QStringLiteral("no temporary directory");
            return;
        }
        const QByteArray path = QFile::encodeName(dir_.path());
        if (::mount("tmpfs", path.constData(), "tmpfs", flags, options) != 0) {
            error_ = QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        mounted_ = true;
    }
    ~ScopedTmpfs() {
        if (mounted_) {
            ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
        }
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool mounted() const { return mounted_; }
    // Why mounting failed (tests skip with it).
    QString error() const { return error_; }
    QString path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString error_;
};
