#include "app/FileNames.h"

#include "geometry/MeshImport.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QUrl FileNames::resolve(const QString &typed, const QUrl &folder)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return QUrl();
    if (text.startsWith(QLatin1String("file:")))
        return QUrl::fromLocalFile(QDir::cleanPath(QUrl(text).toLocalFile()));
    QString path = text;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    // QDir(folder) would fall back on the working folder for an empty one.
    const QString base = folder.isLocalFile() ? folder.toLocalFile() : QDir::homePath();
    return QUrl::fromLocalFile(QDir::cleanPath(QDir(base).absoluteFilePath(path)));
}

QUrl FileNames::withSuffix(const QUrl &url, const QString &suffix)
{
    const QString path = url.toLocalFile();
    if (path.isEmpty() || suffix.isEmpty() || path.endsWith(suffix, Qt::CaseInsensitive))
        return url;
    return QUrl::fromLocalFile(path + suffix);
}

QStringList FileNames::nameFilters(const QString &mode, const QString &archiveSuffix)
{
    const QString jobs = QStringLiteral("Kalo3D jobs (*.kalo3d)");
    if (mode == QLatin1String("Open") || mode == QLatin1String("Import")) {
        QStringList models;
        for (const QString &suffix : MeshImport::suffixes())
            models << QStringLiteral("*.") + suffix;
        return {QStringLiteral("Models and jobs (%1 *.kalo3d)").arg(models.join(QLatin1Char(' '))),
                QStringLiteral("Models: %1 (%2)").arg(MeshImport::formatNames(), models.join(QLatin1Char(' '))), jobs};
    }
    if (mode == QLatin1String("Slice")) {
        const QString suffix = archiveSuffix.isEmpty() ? QStringLiteral(".cws") : archiveSuffix.toLower();
        return {QStringLiteral("%1 print archive (*%2)").arg(suffix.mid(1).toUpper(), suffix)};
    }
    return {jobs};
}

QStringList FileNames::patterns(const QString &filter)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\(([^()]*)\\)\\s*$")).match(filter);
    const QStringList found = match.hasMatch()
                                  ? match.captured(1).toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                  : QStringList();
    return found.isEmpty() ? QStringList{QStringLiteral("*")} : found;
}

QUrl FileNames::folderOf(const QString &path)
{
    if (path.isEmpty())
        return QUrl();
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath());
}

QString FileNames::nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString FileNames::proposedName(const QString &projectFile, const QString &suffix)
{
    if (projectFile.isEmpty())
        return QString();
    const QString name = QFileInfo(projectFile).fileName();
    const QString stem = name.endsWith(QLatin1String(".kalo3d"), Qt::CaseInsensitive) ? name.chopped(7) : name;
    return stem + suffix;
}

QUrl FileNames::homeFolder()
{
    return QUrl::fromLocalFile(QDir::homePath());
}

bool FileNames::isFolder(const QUrl &url)
{
    return url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir();
}

bool FileNames::exists(const QUrl &url)
{
    return url.isLocalFile() && QFileInfo::exists(url.toLocalFile());
}

QUrl FileNames::parentFolder(const QUrl &folder)
{
    QDir dir(folder.isLocalFile() ? folder.toLocalFile() : QDir::homePath());
    dir.cdUp();
    return QUrl::fromLocalFile(dir.absolutePath());
}
