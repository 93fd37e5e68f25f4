#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace lumavera {

// A reader and writer for sectioned key=value text files ("INI" profiles)
// that follows the rules the Windows profile functions apply, so that files
// written by either side read the same on the other.
//
// Reading: CR, LF and CRLF all end a line; section and key names match
// case-insensitively; blanks (space, tab, VT, FF, Ctrl-Z) around names and
// values are ignored; the first matching section and key win; a line of a
// section without '=' is a key with an empty value; a value in matching
// double or single quotes is read without them and ends at a NUL byte.
// Writing replaces a value in place and leaves every other byte alone.
//
// The text handled here is 8-bit (UTF-8 or the ANSI code page); files in
// UTF-16 are converted on the way in and out by the file layer.
namespace profile {

// The longest value a reader hands back: the Windows reader's 255-character
// buffer, less its terminating NUL.
inline constexpr qsizetype MaxValueLength = 254;

// The value of `key` in `section` of the profile text, or an empty string
// when the section, the key or the value is missing.
QByteArray valueIn(QByteArrayView content, QByteArrayView section, QByteArrayView key);

// Calls `visit` with every key of every section in file order, names and
// value as a reader sees them (the value not yet cut to MaxValueLength).
// Duplicates are visited too; the first one is what a reader returns, and a
// section that appears twice counts only the first time.
using KeyVisitor =
    std::function<void(QByteArrayView section, QByteArrayView key, QByteArrayView value)>;
void forEachKey(QByteArrayView content, const KeyVisitor &visit);

// Whether `section`, `key` and `value` can be stored and read back as they
// are: no line breaks, no '=' in a key, no ']' in a section, nothing that
// would read as a comment or a section header, and no surrounding blanks.
bool isStorable(const QByteArray &section, const QByteArray &key, const QByteArray &value);

// The profile text with `key` in `section` set to `value`: an existing key is
// replaced in place, a new key goes after the last key of its section, and a
// new section is appended at the end. New lines take the file's own line
// ending, CRLF for a file that has none yet.
QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value);

// The same edit made in `content` itself; whether any byte changed.
bool setValue(QByteArray &content, const QByteArray &section, const QByteArray &key,
              const QByteArray &value);

} // namespace profile

} // namespace lumavera
