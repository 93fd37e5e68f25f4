#pragma once

#include "link/result.h"

namespace lumavera {

// Why a file was not written, or cannot be used as it was read.
enum class FileFault {
    None,
    Refused, // a file or folder this tool does not write: a stranger's link, not a regular file
    Locked,  // another program holds the file
    Failed,  // the system refused the write: the disk is full, read-only, no folder
};

// What a write did: either all of it landed, or the file is exactly as it was.
using WriteResult = Result<FileFault>;
// Whether a file read can be used: a file this tool does not write (not a
// regular file, larger than any it writes) is Refused, one the system would
// not read Failed.
using ReadResult = Result<FileFault>;

// What a person is told of a write that failed: "PATH could not be written:
// why".
QString NotWritten(const QString &path, const WriteResult &written);

} // namespace lumavera
