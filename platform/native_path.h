// File names on Linux are bytes, not text. A path that is not valid UTF-8
// (written by an older program, or copied from another system) must reach the
// kernel exactly as it was, or the program silently works on another file.
//
// QFile::encodeName/decodeName lose such bytes (they become U+FFFD), so every
// path that crosses between QString and the kernel goes through these two
// functions instead. Each byte that is not part of a valid UTF-8 sequence is
// kept in the QString as a lone low surrogate U+DC80..U+DCFF (the convention
// Python calls "surrogateescape"), which encodePath() turns back into the same
// byte: decodePath followed by encodePath gives back every byte sequence.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace platform {

QString decodePath(const QByteArray& bytes);
QString decodePath(const std::string& bytes);
QByteArray encodePath(const QString& path);
std::string encodePathStd(const QString& path);

// The path for people to read: escaped bytes are shown as U+FFFD.
QString displayPath(const QString& path);

// The path of `name` inside `directory`: the directory, one "/", the name.
// An empty directory gives the name alone, never a path at the root.
QString joinPath(const QString& directory, const QString& name);

// Whether anything has this name, a dangling symbolic link included.
bool pathEntryExists(const QString& path);

// Creates the directory and any missing parents (mode 0777 less the umask).
// Returns 0 when it exists afterwards as a directory, otherwise an errno value.
int makeDirectoryPath(const QString& path);

}  // namespace platform
