#pragma once

#include <QString>

// Whether two names lead to one file, so that nothing is written over a
// file it is being made from.
namespace FileIdentity {

// True when the local paths a and b name the same file: the same path
// (relative ones against the working folder), a symbolic link to it, or a
// hard link (the same device and inode). Two names of which one does not
// exist are the same only when their cleaned absolute paths are.
bool same(const QString &a, const QString &b);

} // namespace FileIdentity
