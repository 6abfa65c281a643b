#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <memory>

// A file that takes the place of its target only once it is complete on
// disk, for everything the program writes for the user (print archives,
// projects, settings): written to a new file beside the target, then
//   1. every write must have gone to the disk whole (a short write or an
//      error at any point, the last one included, fails the commit),
//   2. the file on disk must be as long as what was written,
//   3. it is synced to the disk and may be read back and checked,
//   4. it is renamed over the target, and the folder synced.
// Until the rename the target keeps what it held, byte for byte; a failed
// or abandoned file is removed. A target that is a symbolic link is
// followed, so the link stays and its file is replaced; a new file gets the
// permissions of the file it replaces, or 0666 less the umask. A target
// that exists and is no regular file (a device, a pipe) is written in place.
//
// A regular target the user may write in a folder where no new file can be
// made (a shared folder open for writing its files only) is overwritten in
// place instead of renamed over: the new file is written in the system's
// temporary folder, checked (steps 1 to 3), and only then copied over the
// target, which keeps its permissions. Until that copy the target is
// untouched; a copy that fails leaves it damaged, and errorString() then
// says that its earlier contents are lost.
//
// One thread at a time.
class CommittedFile
{
public:
    explicit CommittedFile(const QString &target);
    // Removes the new file unless it was committed.
    ~CommittedFile();
    CommittedFile(const CommittedFile &) = delete;
    CommittedFile &operator=(const CommittedFile &) = delete;

    // Creates the new file (or opens a device target) for writing. False,
    // with errorString(), when it cannot be made.
    bool open();
    // What the writer writes into, open after open(); the writer may seek
    // and may close it (the zip library does) before commit. The same
    // device for the object's life. Small writes are gathered: a failure
    // may show only at a later write, a seek or at commit.
    QIODevice &device();

    // Steps 1 to 4 above. verify, when given, reads the new file from its
    // start and returns whether it holds what it should. False, the new file
    // removed and errorString() saying why, when a step fails; for a target
    // written in place only step 1 is checked.
    bool commit(const std::function<bool(QIODevice &)> &verify = {});
    // Removes the new file; the target stays as it was.
    void discard();

    // Why open, a write or commit failed, in words for the user ("No space
    // left on device", "File too large", ...); empty while nothing failed.
    QString errorString() const;
    // The file the new one replaces, links followed.
    QString target() const { return m_target; }

private:
    class Device;

    bool fail(const QString &reason);
    // Makes the new file in the temporary folder for a target that can only
    // be written in place, and opens the target; false when either fails.
    bool openForCopyOver();
    // Copies the checked new file over the target, in place.
    bool copyOver();

    QString m_target;
    QString m_temporary; // empty when the target is written in place
    int m_descriptor = -1; // of the new file, kept open past the writer's close
    int m_targetDescriptor = -1; // the target, open for writing, when it is overwritten in place
    std::unique_ptr<Device> m_device;
    bool m_committed = false;
    QString m_error;
};
