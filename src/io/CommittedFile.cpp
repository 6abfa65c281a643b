#include "io/CommittedFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int code)
{
    char buffer[256];
    // The GNU strerror_r, which returns the text rather than filling the buffer.
    return QString::fromLocal8Bit(strerror_r(code, buffer, sizeof buffer));
}

// A new file in folder named after path, opened for reading and writing,
// made with 0666 less the umask as any new file is; -1 with errno set when
// none can be made. name receives its path.
int createIn(const QString &folder, const QFileInfo &path, QString &name)
{
    // Hidden, and short enough for any file-name limit.
    const QString stem = folder + QStringLiteral("/.") + path.fileName().left(60) + QLatin1Char('.');
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + QString::number(QRandomGenerator::global()->generate() % 0x1000000, 36);
        const int descriptor = ::open(QFile::encodeName(name).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

int createBeside(const QFileInfo &path, QString &name)
{
    return createIn(path.absolutePath(), path, name);
}

// Writes all of length bytes at data to descriptor, going on after
// interruptions and short writes; false with errno set when a write fails.
bool writeWhole(int descriptor, const char *data, ssize_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(descriptor, data, size_t(length));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

} // namespace

// Gathers small writes (the zip library writes a header field at a time)
// into one, and records every write that does not go through whole: the
// file's own error is reset by later calls and says nothing about a write
// cut short. Sought, closed or measured, it writes what it holds first.
class CommittedFile::Device : public QFile
{
public:
    bool failed = false;
    QString failure;
    qint64 end = 0; // one past the last byte written

    bool seek(qint64 offset) override { return writePending() && QFile::seek(offset); }
    qint64 size() const override { return std::max(QFile::size(), end); }
    void close() override
    {
        writePending();
        QFile::close();
    }

    // False once any write has failed.
    bool writePending()
    {
        if (!m_pending.isEmpty() && !failed) {
            const qint64 written = QFile::writeData(m_pending.constData(), m_pending.size());
            if (written != m_pending.size()) {
                failed = true;
                // A write cut short at a full disk or a file-size limit sets
                // no error of its own; only the next one would.
                failure = error() != QFileDevice::NoError ? errorString()
                                                          : QStringLiteral("the disk is full or the file too large");
            }
        }
        m_pending.clear();
        return !failed;
    }

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        if (failed)
            return -1;
        // What is held starts where the file's own position stands, since
        // every seek writes it out first.
        m_pending.append(data, int(length));
        end = std::max(end, pos() + length);
        if (m_pending.size() >= pendingLimit && !writePending())
            return -1;
        return length;
    }

private:
    static constexpr int pendingLimit = 1 << 16;
    QByteArray m_pending;
};

CommittedFile::CommittedFile(const QString &target)
    : m_target(target)
    , m_device(std::make_unique<Device>())
{
    QFileInfo info(target);
    int depth = 128;
    while (--depth > 0 && info.isSymLink())
        info.setFile(info.symLinkTarget());
    if (depth > 0)
        m_target = info.filePath();
}

CommittedFile::~CommittedFile()
{
    if (!m_committed)
        discard();
}

bool CommittedFile::open()
{
    const QFileInfo info(m_target);
    // A device or a pipe cannot be replaced by renaming a file over it.
    if (info.exists() && !info.isFile()) {
        m_device->setFileName(m_target);
        if (!m_device->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(m_device->errorString());
        return true;
    }
    m_descriptor = createBeside(info, m_temporary);
    if (m_descriptor < 0) {
        const int code = errno;
        m_temporary.clear();
        // The folder may refuse new files while its files stay writable.
        if (!info.isFile() || !openForCopyOver())
            return fail(systemError(code));
    } else {
        struct stat replaced;
        if (::stat(QFile::encodeName(m_target).constData(), &replaced) == 0)
            ::fchmod(m_descriptor, replaced.st_mode & 07777);
    }
    if (!m_device->open(m_descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return fail(m_device->errorString());
    return true;
}

QIODevice &CommittedFile::device()
{
    return *m_device;
}

QString CommittedFile::errorString() const
{
    if (m_error.isEmpty() && m_device->failed)
        return m_device->failure;
    return m_error;
}

bool CommittedFile::commit(const std::function<bool(QIODevice &)> &verify)
{
    m_device->close();
    if (m_device->failed)
        return fail(m_device->failure);
    if (m_temporary.isEmpty()) {
        m_committed = true;
        return true;
    }

    struct stat written;
    if (::fstat(m_descriptor, &written) != 0)
        return fail(systemError(errno));
    if (written.st_size != m_device->end)
        return fail(QStringLiteral("the file on the disk holds %1 of the %2 bytes written")
                        .arg(qint64(written.st_size))
                        .arg(m_device->end));
    // Data the system accepted may still fail to reach the disk (a network
    // file system reports that only here).
    if (::fsync(m_descriptor) != 0)
        return fail(systemError(errno));
    if (verify) {
        QFile reader;
        if (!reader.open(m_descriptor, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !reader.seek(0)
            || !verify(reader))
            return fail(QStringLiteral("the file written does not read back"));
    }
    if (m_targetDescriptor >= 0)
        return copyOver();
    const int descriptor = std::exchange(m_descriptor, -1);
    if (::close(descriptor) != 0)
        return fail(systemError(errno));
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) != 0)
        return fail(systemError(errno));
    m_committed = true;
    // The new name lasts through a power cut only once the folder is synced;
    // the file is complete either way.
    const int folder = ::open(QFile::encodeName(QFileInfo(m_target).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

bool CommittedFile::openForCopyOver()
{
    m_targetDescriptor = ::open(QFile::encodeName(m_target).constData(), O_WRONLY | O_CLOEXEC);
    if (m_targetDescriptor < 0)
        return false;
    m_descriptor = createIn(QDir::tempPath(), QFileInfo(m_target), m_temporary);
    if (m_descriptor < 0) {
        ::close(std::exchange(m_targetDescriptor, -1));
        m_temporary.clear();
        return false;
    }
    qDebug() << "no new file beside" << m_target << "- it will be overwritten in place";
    return true;
}

bool CommittedFile::copyOver()
{
    // From here on the target's old contents are being overwritten.
    const auto lost = [this](int code) {
        return fail(QStringLiteral("%1; what %2 held before is lost")
                        .arg(systemError(code), QDir::toNativeSeparators(m_target)));
    };
    if (::lseek(m_descriptor, 0, SEEK_SET) != 0)
        return fail(systemError(errno));
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(m_descriptor, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return lost(errno);
        if (got == 0)
            break;
        if (!writeWhole(m_targetDescriptor, buffer.constData(), got))
            return lost(errno);
    }
    if (::ftruncate(m_targetDescriptor, m_device->end) != 0 || ::fsync(m_targetDescriptor) != 0)
        return lost(errno);
    if (::close(std::exchange(m_targetDescriptor, -1)) != 0)
        return lost(errno);
    m_committed = true;
    ::close(std::exchange(m_descriptor, -1));
    ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
    return true;
}

void CommittedFile::discard()
{
    m_device->close();
    if (m_descriptor >= 0)
        ::close(std::exchange(m_descriptor, -1));
    if (m_targetDescriptor >= 0)
        ::close(std::exchange(m_targetDescriptor, -1));
    if (!m_temporary.isEmpty() && !m_committed) {
        ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }
}

bool CommittedFile::fail(const QString &reason)
{
    qDebug() << "file not committed:" << m_target << reason;
    m_error = reason;
    discard();
    return false;
}
