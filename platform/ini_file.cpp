#include "platform/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/native_path.h"

namespace platform {
namespace {

// A settings file is a few hundred bytes; anything past 1 MiB is not one,
// and is neither read whole nor rewritten.
constexpr qsizetype kMaxIniBytes = qsizetype{1} << 20;
// Attempts at a free name for the new file before giving up.
constexpr int kTempNameAttempts = 100;

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

struct Span {
    qsizetype begin = 0;
    qsizetype end = 0;
    bool isEmpty() const { return end <= begin; }
};

Span trimmed(const QByteArray& text, Span s) {
    while (s.begin < s.end && isBlank(text[s.begin]))
        ++s.begin;
    while (s.end > s.begin && isBlank(text[s.end - 1]))
        --s.end;
    return s;
}

// One pair of matching quotes around a value is not part of it.
Span unquoted(const QByteArray& text, Span s) {
    if (s.end - s.begin >= 2) {
        const char first = text[s.begin];
        if ((first == '"' || first == '\'') && text[s.end - 1] == first)
            return {s.begin + 1, s.end - 1};
    }
    return s;
}

bool sameName(const QByteArray& text, Span s, const QString& name) {
    return decodePath(text.mid(s.begin, s.end - s.begin)).compare(name, Qt::CaseInsensitive) == 0;
}

// Where the key's line is in the file, or where a new one would go.
struct KeyPlace {
    bool sectionFound = false;
    bool keyFound = false;
    Span keyLine;            // the line's text without its line break
    Span value;              // the value within it
    qsizetype insertAt = 0;  // after the section's last line of content
};

KeyPlace findKey(const QByteArray& text, const QString& section, const QString& key) {
    KeyPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    qsizetype pos = text.startsWith(kUtf8Bom) ? kUtf8Bom.size() : 0;
    while (pos < text.size()) {
        const qsizetype lineBreak = text.indexOf('\n', pos);
        const qsizetype next = lineBreak < 0 ? text.size() : lineBreak + 1;
        Span line{pos, lineBreak < 0 ? text.size() : lineBreak};
        if (line.end > line.begin && text[line.end - 1] == '\r')
            --line.end;
        pos = next;
        const Span content = trimmed(text, line);
        if (content.isEmpty() || text[content.begin] == ';' || text[content.begin] == '#')
            continue;
        if (text[content.begin] == '[') {
            const qsizetype close = text.indexOf(']', content.begin);
            const qsizetype nameEnd = close < 0 || close > content.end ? content.end : close;
            inSection = sameName(text, trimmed(text, {content.begin + 1, nameEnd}), section);
            inFirstSection = inSection && !place.sectionFound;
            if (inFirstSection) {
                place.sectionFound = true;
                place.insertAt = next;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (inFirstSection)
            place.insertAt = next;
        const qsizetype equals = text.indexOf('=', content.begin);
        if (equals < 0 || equals >= content.end)
            continue;
        if (sameName(text, trimmed(text, {content.begin, equals}), key)) {
            place.keyFound = true;
            place.keyLine = line;
            place.value = unquoted(text, trimmed(text, {equals + 1, content.end}));
            return place;
        }
    }
    return place;
}

// The file's bytes; 0 or an errno value. Only a regular file is read, so a
// FIFO in the file's place cannot stall the program.
int readWholeFile(const QByteArray& path, QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat info {};
    int status = ::fstat(fd, &info) != 0 ? errno : 0;
    if (status == 0 && !S_ISREG(info.st_mode))
        status = EINVAL;
    if (status == 0 && info.st_size > kMaxIniBytes)
        status = EFBIG;
    bytes.clear();
    char block[4096];
    while (status == 0) {
        const ssize_t got = ::read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            status = errno;
        else if (got == 0)
            break;
        else if (bytes.size() + got > kMaxIniBytes)
            status = EFBIG;
        else
            bytes.append(block, got);
    }
    ::close(fd);
    return status;
}

int writeAll(int fd, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        done += put;
    }
    return 0;
}

// A new file beside `target`, created exclusively so that no other file of
// that name is ever written through.
int createTempBeside(const QByteArray& target, QByteArray& tempPath) {
    static int counter = 0;
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        tempPath =
            target + ".tmp" + QByteArray::number(::getpid()) + '-' + QByteArray::number(++counter);
        const int fd = ::open(tempPath.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd >= 0 ? fd : -errno;
    }
    return -EEXIST;
}

// A settings file kept as a link to elsewhere stays a link: the new text goes
// to the file it points at.
QByteArray resolvedTarget(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : path;
}

void syncDirectoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dir = slash < 0    ? QByteArray(".")
                           : slash == 0 ? QByteArray("/")
                                        : path.left(slash);
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the file's contents all at once: the old file stays whole until
// the new one is complete on disk.
int replaceFile(const QByteArray& path, const QByteArray& contents) {
    const QByteArray target = resolvedTarget(path);
    QByteArray tempPath;
    const int fd = createTempBeside(target, tempPath);
    if (fd < 0)
        return -fd;
    struct stat old {};
    int status = 0;
    if (::stat(target.constData(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0)
        status = errno;
    if (status == 0)
        status = writeAll(fd, contents);
    if (status == 0 && ::fsync(fd) != 0)
        status = errno;
    if (::close(fd) != 0 && status == 0)
        status = errno;
    if (status == 0 && ::rename(tempPath.constData(), target.constData()) != 0)
        status = errno;
    if (status != 0) {
        ::unlink(tempPath.constData());
        return status;
    }
    syncDirectoryOf(target);
    return 0;
}

// Blanks around a value and one pair of quotes are dropped on reading, so a
// value that has them is written inside one more pair of quotes.
QByteArray keyLine(const QString& key, const QByteArray& value) {
    const bool needsQuotes =
        !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()) ||
                             (value.size() >= 2 && value.front() == value.back() &&
                              (value.front() == '"' || value.front() == '\'')));
    return encodePath(key) + '=' + (needsQuotes ? '"' + value + '"' : value);
}

}  // namespace

bool readIniValue(const QString& iniPath, const QString& section, const QString& key,
                  QString& value) {
    QByteArray text;
    if (readWholeFile(encodePath(iniPath), text) != 0)
        return false;
    const KeyPlace place = findKey(text, section, key);
    if (!place.keyFound)
        return false;
    value = decodePath(text.mid(place.value.begin, place.value.end - place.value.begin));
    return true;
}

int writeIniValue(const QString& iniPath, const QString& section, const QString& key,
                  const QString& value) {
    const QByteArray valueBytes = encodePath(value);
    if (valueBytes.contains('\n') || valueBytes.contains('\r') || valueBytes.contains('\0'))
        return EINVAL;
    const QByteArray path = encodePath(iniPath);
    QByteArray text;
    if (const int status = readWholeFile(path, text); status != 0 && status != ENOENT)
        return status;
    const QByteArray lineBreak = text.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    const QByteArray line = keyLine(key, valueBytes);
    const KeyPlace place = findKey(text, section, key);
    QByteArray updated;
    if (place.keyFound) {
        updated = text.left(place.keyLine.begin) + line + text.mid(place.keyLine.end);
    } else {
        const qsizetype at = place.sectionFound ? place.insertAt : text.size();
        const bool unfinishedLine = at > 0 && text[at - 1] != '\n';
        updated = text.left(at) + (unfinishedLine ? lineBreak : QByteArray());
        if (!place.sectionFound)
            updated += '[' + encodePath(section) + ']' + lineBreak;
        updated += line + lineBreak + text.mid(at);
    }
    return replaceFile(path, updated);
}

}  // namespace platform
