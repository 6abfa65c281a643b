#include "io/FileIdentity.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

bool FileIdentity::same(const QString &a, const QString &b)
{
    struct stat first;
    struct stat second;
    if (::stat(QFile::encodeName(a).constData(), &first) == 0
        && ::stat(QFile::encodeName(b).constData(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    return QDir::cleanPath(QDir::current().absoluteFilePath(a)) == QDir::cleanPath(QDir::current().absoluteFilePath(b));
}
