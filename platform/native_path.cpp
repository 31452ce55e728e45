#include "platform/native_path.h"

#include <sys/stat.h>
#include <cerrno>

namespace platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b is kept as U+DC00 + b (b >= 0x80)

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at `s[i]`, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF are
// not valid UTF-8 either, so they are escaped byte by byte).
int validSequenceLength(const unsigned char* s, qsizetype i, qsizetype n, char32_t& code) {
    const unsigned char c = s[i];
    int length = 0;
    char32_t minimum = 0;
    if (c < 0x80) {
        code = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        length = 2;
        code = c & 0x1F;
        minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        code = c & 0x0F;
        minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        code = c & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (n - i < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if (!isContinuation(s[i + k]))
            return 0;
        code = (code << 6) | (s[i + k] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out.append(static_cast<char>(code));
    } else if (code < 0x800) {
        out.append(static_cast<char>(0xC0 | (code >> 6)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(static_cast<char>(0xE0 | (code >> 12)));
        out.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (code >> 18)));
        out.append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

QString decodePath(const QByteArray& bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    out.reserve(n);
    for (qsizetype i = 0; i < n;) {
        char32_t code = 0;
        const int length = validSequenceLength(s, i, n, code);
        if (length == 0) {
            out.append(QChar(static_cast<char16_t>(kEscapeBase + s[i])));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            const char32_t v = code - 0x10000;
            out.append(QChar(static_cast<char16_t>(0xD800 + (v >> 10))));
            out.append(QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF))));
        } else {
            out.append(QChar(static_cast<char16_t>(code)));
        }
        i += length;
    }
    return out;
}

QString decodePath(const std::string& bytes) {
    return decodePath(QByteArray::fromStdString(bytes));
}

QByteArray encodePath(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path.at(i).unicode();
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            const char16_t low = path.at(i + 1).unicode();
            appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out.append(static_cast<char>(u - kEscapeBase));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            // A lone surrogate that no decoded path can hold: not a character.
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string encodePathStd(const QString& path) {
    return encodePath(path).toStdString();
}

QString displayPath(const QString& path) {
    QString shown = path;
    for (QChar& c : shown) {
        if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF)
            c = QChar(0xFFFD);
    }
    return shown;
}

QString joinPath(const QString& directory, const QString& name) {
    if (directory.isEmpty())
        return name;
    if (directory.endsWith(QLatin1Char('/')))
        return directory + name;
    return directory + QLatin1Char('/') + name;
}

bool pathEntryExists(const QString& path) {
    struct stat info {};
    return ::lstat(encodePath(path).constData(), &info) == 0;
}

int makeDirectoryPath(const QString& path) {
    const QByteArray bytes = encodePath(path);
    if (bytes.isEmpty())
        return ENOENT;
    // Each prefix that ends before a separator is a parent to make first;
    // one that exists already is fine, the final check says what came of it.
    int lastError = 0;
    for (qsizetype end = bytes.indexOf('/', 1);; end = bytes.indexOf('/', end + 1)) {
        const QByteArray prefix = end < 0 ? bytes : bytes.left(end);
        if (::mkdir(prefix.constData(), 0777) != 0 && errno != EEXIST)
            lastError = errno;
        if (end < 0)
            break;
    }
    struct stat info {};
    if (::stat(bytes.constData(), &info) != 0)
        return lastError != 0 ? lastError : errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

}  // namespace platform
