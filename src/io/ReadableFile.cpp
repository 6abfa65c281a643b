#include "io/ReadableFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString fromErrno(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("no such file");
    case ELOOP:
        return QStringLiteral("its name leads round a loop of symbolic links");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied");
    default: {
        char buffer[256];
        return QString::fromLocal8Bit(strerror_r(code, buffer, sizeof buffer));
    }
    }
}

} // namespace

QString ReadableFile::problem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no such file");
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0)
        return fromErrno(errno);
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("it is a pipe, not a regular file");
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(status.st_mode))
        return QStringLiteral("it is a socket, not a regular file");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("not a regular file");
    // As the user that runs the program, not as whoever started it.
    if (::faccessat(AT_FDCWD, name.constData(), R_OK, AT_EACCESS) != 0)
        return fromErrno(errno);
    return QString();
}
