#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QUrl>

class QQmlApplicationEngine;

// Application services reached from QML as "kalo3dApp": opening model and
// project files, the project file name, the archive target that starts
// slicing, web links, version texts and the critical message box of the main
// window. One instance for the process.
class KaloApp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString prjFile READ prjFile WRITE setPrjFile NOTIFY prjFileChanged)
    // File -> Recent: the models and projects last opened, imported or
    // saved, newest first, at most eight, those still on disk only. Kept per
    // user (QSettings).
    Q_PROPERTY(QStringList recentFiles READ recentFiles NOTIFY recentFilesChanged)
public:
    explicit KaloApp(QObject *parent = nullptr);
    ~KaloApp() override;

    static KaloApp *instance();

    // Empty when the scene fits under the selected printer's build height
    // (floating models counted as slicing lowers them); otherwise a sentence
    // naming the models that reach above it, which the window shows before
    // it slices.
    Q_INVOKABLE QString heightWarning() const;
    // Empty when the scene can be printed as it stands; otherwise what the
    // window shows before slicing: the models reaching beyond the printable
    // area (PrintableArea) and above the build height (heightWarning), one
    // paragraph each.
    Q_INVOKABLE QString sliceWarning() const;
    // Shows the folder holding file (a local path) in the desktop's file
    // manager.
    Q_INVOKABLE void openFolder(const QString &file);
    // Records where the next print archive goes and asks for slicing;
    // false, after a message, when file is one the scene was read from (a
    // model's STL file or the project file), which the archive would destroy.
    Q_INVOKABLE bool setCwsFile(const QUrl &file);
    // A name ending in ".kalo3d" (any case) opens as a project; anything else
    // goes to the model manager, which accepts the model files
    // (MeshImport::isModelFile) and refuses others with a message.
    Q_INVOKABLE void open(const QUrl &url);
    // File -> Import: a project's objects (loadPrj without replace) or a
    // model join the scene; the project file stays.
    Q_INVOKABLE void importFile(const QUrl &url);
    // Empties the scene and its history and forgets the project file.
    Q_INVOKABLE void newPrj();
    // Writes the whole scene to the project file prjFile, replacing it only
    // once the new file is complete. Without a name (prjFile empty) it
    // writes nothing and returns false: the window then asks for a name,
    // sets prjFile and calls savePrj again. A file that cannot be written,
    // or one a model of the scene was read from, is shown in the critical
    // message box, and false returned. A saved scene counts as unmodified
    // (KaloModel::modified).
    Q_INVOKABLE bool savePrj();
    // Opens a page of the project in the browser: key "main", "buy", "readme"
    // or "download"; any other key opens the home page.
    Q_INVOKABLE void openKalo3DLink(const QString &key);
    Q_INVOKABLE void openLink(const QString &link);
    Q_INVOKABLE void openRadomQueryLink();
    Q_INVOKABLE QString version();
    Q_INVOKABLE QString bitInfo();

    // Opens the project file at url (a local file): its objects replace the
    // scene and its history, it becomes the project file and the scene
    // counts as unmodified. Without replace (an import) its objects are
    // appended as one undo step and the project file stays. A file that
    // cannot be read completely changes nothing, is shown in the critical
    // message box, and false is returned.
    // Print settings the project carries, when they differ from the
    // current ones, are taken at once into an empty scene; otherwise
    // printSettingsOffered asks the user first.
    bool loadPrj(const QUrl &url, bool replace = true);
    // Takes the print settings that printSettingsOffered offered, and saves
    // them as the user's settings.
    Q_INVOKABLE void usePrjSettings();

    QStringList recentFiles() const;
    // The URL open() takes for a local path (one of recentFiles).
    Q_INVOKABLE QUrl fileUrl(const QString &path) const { return QUrl::fromLocalFile(path); }

    // Local path of the project file; empty before one is saved or loaded.
    QString prjFile() const;
    // Accepts a file URL or a plain path.
    void setPrjFile(const QString &file);

    QUrl cwsFileUrl() const { return m_cwsFileUrl; }
    // The local path of the last archive asked for, as the completion dialog shows it.
    Q_INVOKABLE QString cwsFilePath() const;
    void setEngine(QQmlApplicationEngine *engine) { m_engine = engine; }

    // Shows message in the main window's critical message box; callable from
    // any thread.
    void showCriticalMsgBox(const QString &message);

Q_SIGNALS:
    void prjFileChanged();
    void readyToSlice();
    void recentFilesChanged();
    // The project just read was prepared with other print settings, which
    // description names; usePrjSettings() takes them.
    void printSettingsOffered(const QString &description);

private:
    void setPrjFileUrl(const QUrl &url);
    // The file a model of the scene was read from that path names too, or
    // empty; the project file counts when withProject.
    QString inputAt(const QString &path, bool withProject) const;
    // Puts path at the top of the recent files.
    void remember(const QString &path);
    // Takes settings, telling the user when they name a printer not known here.
    void usePrintSettings(const QJsonObject &settings);

    QJsonObject m_offeredSettings;

    QUrl m_prjFileUrl;
    QUrl m_cwsFileUrl;
    QQmlApplicationEngine *m_engine = nullptr;
};
