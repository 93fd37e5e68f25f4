#pragma once

#include <QByteArray>
#include <QString>

// A reader and writer for sectioned key=value text files ("INI" profiles)
// that follows the rules the Windows profile functions apply, so that files
// written by either side read the same on the other.
//
// Reading: section and key names match case-insensitively, white space around
// names and values is ignored, the first matching section and key win, and a
// value in matching double or single quotes is read without them. Writing
// replaces a value in place and leaves every other byte of the file alone.
namespace profile {

// The value of `key` in `section` of the profile text, or an empty string
// when the section, the key or the value is missing.
QByteArray valueIn(const QByteArray &content, const QByteArray &section, const QByteArray &key);

// Whether `section`, `key` and `value` can be stored and read back as they
// are: no line breaks, no '=' in a key, no ']' in a section, nothing that
// would read as a comment or a section header, and no surrounding white space.
bool isStorable(const QByteArray &section, const QByteArray &key, const QByteArray &value);

// The profile text with `key` in `section` set to `value`: an existing key is
// replaced in place, a new key goes after the last key of its section, and a
// new section is appended at the end. New lines take the file's own line
// ending, CRLF for a file that has none yet.
QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value);

// File-level counterparts: a missing or unreadable file reads as empty
// values; a write replaces the file atomically and returns false, writing
// nothing, when the names are not storable or the file cannot be read or
// replaced.
QString readString(const QString &path, const QString &section, const QString &key);
bool writeString(const QString &path, const QString &section, const QString &key,
                 const QString &value);

} // namespace profile
