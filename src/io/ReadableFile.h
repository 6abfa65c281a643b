#pragma once

#include <QString>

// Whether a file named by the user can be read as one, told without
// opening anything that could block (a pipe without a writer) or reading
// a byte.
namespace ReadableFile {

// Empty when path (a local path) names a regular file this process may
// open for reading, links followed; otherwise why not, in words for the
// user: "no such file", "it is a folder, not a file", "it is a pipe, not a
// regular file", "it is a device, not a regular file", "it is a socket, not
// a regular file", "its name leads round a loop of symbolic links",
// "permission denied" (for the file or a folder on its way), or the
// system's reason.
QString problem(const QString &path);

} // namespace ReadableFile
