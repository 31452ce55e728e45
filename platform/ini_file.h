// Reading and writing one value of a Windows-style INI file, the way the
// Windows profile functions treat the file: as plain lines of text.
//
//   [section]          names match whatever their case
//   key = value        the value is the text after the first '=' without the
//                      blanks around it, and without one pair of matching
//                      quotes ("..." or '...') around it
//   ; or # comment     only as whole lines: in a value they are plain text
//
// Commas, semicolons and backslashes inside a value are plain text, nothing
// is escaped, and the value's bytes pass through unchanged (decodePath /
// encodePath), so a value that is not valid UTF-8 comes back byte for byte.
#pragma once

#include <QString>

namespace platform {

// Sets `value` and returns true when the file has the key in the section
// (the first one when there are several); false when the file, the section
// or the key is missing or the file cannot be read.
bool readIniValue(const QString& iniPath, const QString& section, const QString& key,
                  QString& value);

// Sets the key's value: rewrites the key's line where it stands, or adds the
// key to its section, or adds the section at the end. Every other line and
// byte of the file stays as it was. The new file is written beside the old
// one and renamed over it, so a full disk or any other failure leaves the
// old file whole. Returns 0 or an errno value (EINVAL for a value that no
// line can hold: one with a line break or a zero character).
int writeIniValue(const QString& iniPath, const QString& section, const QString& key,
                  const QString& value);

}  // namespace platform
