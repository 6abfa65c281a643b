#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

// What the file dialog makes of the names the user types and of the file
// types it lists: the rules the dialog's QML follows, kept here where they
// can be tested. Registered for QML as the singleton FileNames (module
// Kalo3D 1.0). Plain functions of their arguments: any thread.
class FileNames : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The file the user typed, as a file URL: a bare name or a relative path
    // lies in folder (a file URL: the folder the dialog shows, never the
    // program's working folder); an absolute path, "~" or a name under
    // "~/", or a file URL stand for themselves. "." and ".." are resolved.
    // An empty URL for text that is empty or only spaces.
    Q_INVOKABLE static QUrl resolve(const QString &typed, const QUrl &folder);
    // url with suffix (".kalo3d", ".cws") appended unless its name ends in
    // it already, in any letter case, so that the file shows under the
    // filter it was saved with.
    Q_INVOKABLE static QUrl withSuffix(const QUrl &url, const QString &suffix);

    // The dialog's filters for a mode, each "Description (*.a *.b)", the
    // first chosen when the dialog opens. "Open" and "Import": the model
    // types that load (MeshImport::suffixes) with kalo3d jobs, then each
    // alone; "Save" and "SaveAs": kalo3d jobs; "Slice": the print archive
    // of archiveSuffix (".cws" or ".sl1").
    Q_INVOKABLE static QStringList nameFilters(const QString &mode, const QString &archiveSuffix);
    // The patterns of a filter, "*.stl" and so on, all in small letters:
    // the dialog matches them in any letter case. ["*"] for a filter
    // without patterns.
    Q_INVOKABLE static QStringList patterns(const QString &filter);

    // The folder (a file URL) the file at path lies in, and its name alone;
    // both empty for an empty path.
    Q_INVOKABLE static QUrl folderOf(const QString &path);
    Q_INVOKABLE static QString nameOf(const QString &path);
    // The name Save proposes for a project file at path, or for a print
    // archive (suffix given) of that project: the project's own name with
    // suffix in place of ".kalo3d"; empty without a project file.
    Q_INVOKABLE static QString proposedName(const QString &projectFile, const QString &suffix);

    // The user's home folder, as a file URL.
    Q_INVOKABLE static QUrl homeFolder();
    // Whether url names a folder, or anything that exists.
    Q_INVOKABLE static bool isFolder(const QUrl &url);
    Q_INVOKABLE static bool exists(const QUrl &url);
    // The folder above folder; folder itself at the root.
    Q_INVOKABLE static QUrl parentFolder(const QUrl &folder);
};
