// The file side of repair: the one file a path names, a private temporary
// beside it, and the rewrite of that file in place.
//
// A repair never replaces the file by another one: the repaired bytes are
// copied over the original through a descriptor, so its inode, mode, owner
// and hard links stay what they were. Once the path is resolved, everything
// goes through descriptors (the reader and the writer, which open by name,
// are handed /proc/self/fd/N), so a name swapped or a link planted in the
// directory meanwhile is never followed.
#pragma once

#include <cstdint>
#include <string>

namespace media::repair {

// A descriptor that closes itself.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// The name under which a library that opens files by name reaches exactly
// the file behind `fd`, whatever has happened to its names since.
std::string descriptorPath(int fd);

struct OriginalFile {
    Descriptor file;       // read-only
    Descriptor writable;   // see openForRewrite()
    Descriptor directory;  // where the temporary goes
    std::string resolved;  // the path with every symbolic link resolved
    bool viaLink = false;  // the path given was itself a symbolic link
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;  // last change when opened
};

// Resolves `path` once (a symbolic link is followed to its target, and a link
// to nothing is an error) and opens the regular file it names. False, with
// the reason in words, when that cannot be done.
bool openOriginal(const std::string& path, OriginalFile& original, std::string& reason);

// Opens the original for writing, without truncating it: nothing changes yet,
// but a file that cannot be written is refused before any work is done.
bool openForRewrite(OriginalFile& original, std::string& reason);

// A new file in the original's directory, created under a random hidden name
// that did not exist (never through an existing name or link), readable by
// its owner only. It is removed when this object ends, unless kept.
class Temporary {
  public:
    Temporary() = default;
    ~Temporary();
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    bool create(int directory, std::string& reason);
    int fd() const { return file_.get(); }
    const std::string& name() const { return name_; }
    void keep() { kept_ = true; }

  private:
    Descriptor file_;
    int directory_ = -1;
    std::string name_;
    bool kept_ = false;
};

// Copies the first `size` bytes of `from` over the original, cuts it to that
// size and syncs it. A file that changed since it was opened (still being
// recorded, say) is refused. Room for a file that grows is reserved first, so a full
// drive refuses before the first byte changes. `touched` tells whether the
// original was changed at all when this fails.
bool rewriteInPlace(const OriginalFile& original, int from, std::uint64_t size, std::string& reason,
                    bool& touched);

}  // namespace media::repair
