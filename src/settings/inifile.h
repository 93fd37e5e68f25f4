#pragma once

#include "settings/writeresult.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace lumavera {

// One key of a settings file set to a value.
struct IniEdit
{
    QString section;
    QString key;
    QString value;
};

// The text of a settings file as read from disk, in the 8-bit form the
// profile reader works on.
struct IniText
{
    enum class Encoding { Bytes, Utf16Le, Utf16Be };

    QByteArray content;
    Encoding encoding = Encoding::Bytes;
    bool exists = false;
    // Whether the file can be used: not when it is larger than any file
    // this tool writes, unreadable, or not a regular file. Such a file reads
    // as empty and is never replaced.
    ReadResult usable;
};

// Replaces the file at `path` with `bytes` through a temporary file beside
// it: every write, the flush to disk and the close are checked before the
// rename, so on any failure the old file is untouched. A new file gets the
// usual rights; an old one keeps its own.
WriteResult ReplaceFileAtomically(const QString &path, const QByteArray &bytes);

// Appends `bytes` to the file at `path` in one write and flushes them to
// disk, starting a new or empty file with `header`. Like every write here,
// never through a link another user planted in a shared folder.
WriteResult AppendToFile(const QString &path, const QByteArray &bytes, const QByteArray &header);

// One settings file on disk. Every write takes an advisory lock on the
// file's folder, reads the file afresh, applies all its edits in memory and
// replaces the file in one atomic rename, so that two programs writing
// different keys at the same moment lose nothing, and a full disk, a crash
// or a kill never leaves less than the old file.
class IniFile
{
public:
    // Larger files are not settings files this tool wrote.
    static constexpr qint64 MaxSize = 1 << 20;

    // Whether a write makes the file's folder when it is missing (the
    // tool's own settings folder) or fails, naming it (a file the user named).
    enum class Folder { Make, MustExist };

    explicit IniFile(QString path, Folder folder = Folder::Make);

    QString path() const { return path_; }
    IniText read() const;
    WriteResult write(const QList<IniEdit> &edits) const;

private:
    QString path_;
    Folder folder_;
};

} // namespace lumavera
