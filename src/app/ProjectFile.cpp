#include "app/ProjectFile.h"

#include "app/ObjectBlock.h"
#include "geometry/Model.h"
#include "io/CommittedFile.h"
#include "io/ReadableFile.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr qint32 startMarker = -1;
constexpr qint32 headerMarker = 1;
constexpr qint32 endSectionMarker = 2;
constexpr qint32 endMarker = -1;
// Opens the JSON block that may follow the end marker.
constexpr qint32 notesMarker = 3;
const QLatin1String printSettingsKey("printSettings");
constexpr char logo[8] = {'K', 'A', 'L', 'O', '3', 'D', 0, 0};

// The smallest object entry: list index and type, then an object block
// without vertices or indices.
constexpr qint64 minEntryBytes = 8 + 4 + (4 + 4 + 64 + 4 + 8 + 4 + 8 + 4);

void setProblem(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
}

QString damaged()
{
    return QStringLiteral("the file is damaged or incomplete");
}

// Reads the object list and the relations. Objects are created by the
// entry's type, and an object whose block names another type is refused: a
// support must be a CWS::Support, since its owner treats it as one.
bool readObjects(QDataStream &stream, int major, int minor, ProjectObjects &result)
{
    qint64 count = 0;
    stream >> count;
    if (!ProjectFile::fits(stream, count, minEntryBytes))
        return false;
    for (qint64 i = 0; i < count; ++i) {
        qint64 listIndex = 0;
        qint32 type = 0;
        stream >> listIndex >> type;
        if (stream.status() != QDataStream::Ok || type < TYPE_NORMAL || type > TYPE_BASE)
            return false;
        std::unique_ptr<Model> object =
            type == TYPE_SUPPORT ? std::make_unique<CWS::Support>(nullptr) : std::make_unique<Model>(type);
        if (!ObjectBlock::read(stream, *object, major, minor) || object->type != type)
            return false;
        result.objects.push_back(std::move(object));
    }

    qint64 relationCount = 0;
    stream >> relationCount;
    if (!ProjectFile::fits(stream, relationCount, 8))
        return false;
    const int objectCount = int(result.objects.size());
    std::vector<bool> owned(result.objects.size(), false);
    std::vector<bool> hasBase(result.objects.size(), false);
    for (qint64 i = 0; i < relationCount; ++i) {
        qint32 object = 0;
        qint32 owner = 0;
        stream >> object >> owner;
        if (stream.status() != QDataStream::Ok)
            return false;
        const bool inRange = object >= 0 && object < objectCount && owner >= 0 && owner < objectCount;
        const int type = inRange ? result.objects[size_t(object)]->type : TYPE_NORMAL;
        // A second owner or a second base would leave a link behind that
        // outlives the object it points to.
        const bool valid = inRange && result.objects[size_t(owner)]->type == TYPE_NORMAL && !owned[size_t(object)]
                           && (type == TYPE_SUPPORT || (type == TYPE_BASE && !hasBase[size_t(owner)]));
        if (!valid) {
            qWarning() << "skip relation" << object << owner;
            continue;
        }
        owned[size_t(object)] = true;
        if (type == TYPE_BASE)
            hasBase[size_t(owner)] = true;
        result.relations.emplace_back(object, owner);
    }
    return true;
}

// The block after the end marker, where readers that stop at the end marker
// never look: int32 3, then a QByteArray of compact JSON, an object whose
// "printSettings" are those the project was prepared with.
void writeNotes(QDataStream &stream, const QJsonObject &printSettings)
{
    if (printSettings.isEmpty())
        return;
    const QJsonObject notes{{printSettingsKey, printSettings}};
    stream << notesMarker << QJsonDocument(notes).toJson(QJsonDocument::Compact);
}

// The print settings of the block after the end marker; empty when there is
// none. The objects before it are whole, so a damaged block costs only the
// settings, never the project.
QJsonObject readNotes(QDataStream &stream)
{
    if (stream.atEnd())
        return QJsonObject();
    qint32 marker = 0;
    quint32 size = 0;
    stream >> marker >> size;
    if (marker != notesMarker || !ProjectFile::fits(stream, size, 1)) {
        qWarning() << "unknown data after the project's end ignored";
        return QJsonObject();
    }
    QByteArray json(int(size), Qt::Uninitialized);
    stream.readRawData(json.data(), json.size());
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject()) {
        qWarning() << "project's print settings ignored:" << error.errorString();
        return QJsonObject();
    }
    return document.object().value(printSettingsKey).toObject();
}

} // namespace

bool ProjectFile::fits(const QDataStream &stream, qint64 count, qint64 bytesEach)
{
    return stream.status() == QDataStream::Ok && count >= 0
           && count <= stream.device()->bytesAvailable() / bytesEach;
}

bool ProjectFile::write(QIODevice &device, const QList<Model *> &models, const QJsonObject &printSettings)
{
    QDataStream stream(&device);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    stream << startMarker << headerMarker;
    stream.writeRawData(logo, sizeof logo);
    stream << majorVersion << minorVersion;

    stream << qint64(models.size());
    for (int i = 0; i < models.size(); ++i) {
        stream << qint64(i) << qint32(models[i]->type);
        ObjectBlock::write(stream, *models[i]);
    }

    std::vector<std::pair<qint32, qint32>> relations;
    for (int i = 0; i < models.size(); ++i) {
        const int owner = models[i]->owner ? models.indexOf(models[i]->owner) : -1;
        if (owner >= 0)
            relations.emplace_back(i, owner);
    }
    stream << qint64(relations.size());
    for (const auto &[object, owner] : relations)
        stream << object << owner;

    stream << endSectionMarker << endMarker;
    writeNotes(stream, printSettings);
    return stream.status() == QDataStream::Ok;
}

bool ProjectFile::read(QIODevice &device, ProjectObjects &objects, QString *problem, QJsonObject *printSettings)
{
    QDataStream stream(&device);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    qint32 start = 0;
    qint32 header = 0;
    stream >> start;
    qDebug() << "start marker:" << start;
    stream >> header;
    qDebug() << "header marker:" << header;
    if (stream.status() != QDataStream::Ok || start != startMarker || header != headerMarker) {
        setProblem(problem, QStringLiteral("it is not a project file"));
        return false;
    }
    char fileLogo[sizeof logo] = {};
    stream.readRawData(fileLogo, sizeof fileLogo);
    qDebug() << "logo:" << QByteArray(fileLogo, sizeof fileLogo);
    qint16 major = 0;
    qint16 minor = 0;
    stream >> major >> minor;
    qDebug() << "job file version:" << major << minor;
    if (stream.status() != QDataStream::Ok) {
        setProblem(problem, damaged());
        return false;
    }
    if (major != majorVersion || minor != minorVersion) {
        qDebug() << "Reject this version";
        setProblem(problem, QStringLiteral("it was saved in project format %1.%2, and only %3.%4 can be read")
                                .arg(major)
                                .arg(minor)
                                .arg(majorVersion)
                                .arg(minorVersion));
        return false;
    }

    ProjectObjects result;
    bool complete = readObjects(stream, major, minor, result);
    if (complete) {
        qint32 endSection = 0;
        qint32 end = 0;
        stream >> endSection >> end;
        complete = stream.status() == QDataStream::Ok && endSection == endSectionMarker && end == endMarker;
    }
    if (!complete) {
        qWarning() << "damaged project file at byte" << device.pos();
        setProblem(problem, damaged());
        return false;
    }
    objects = std::move(result);
    if (printSettings)
        *printSettings = readNotes(stream);
    return true;
}

bool ProjectFile::save(const QString &path, const QList<Model *> &models, QString *problem,
                       const QJsonObject &printSettings)
{
    // Written beside the old file and renamed over it once complete on disk:
    // a full disk or a crash half-way must not cost the user the last good project.
    CommittedFile file(path);
    if (!file.open()) {
        qDebug() << "open file failed" << path;
        setProblem(problem, file.errorString());
        return false;
    }
    if (!write(file.device(), models, printSettings) || !file.commit()) {
        qWarning() << "write project failed" << path << file.errorString();
        setProblem(problem, file.errorString().isEmpty()
                                ? QStringLiteral("the file could not be written completely; the disk may be full")
                                : file.errorString());
        return false;
    }
    return true;
}

bool ProjectFile::load(const QString &path, KaloModel &manager, QString *problem, bool replace,
                       QJsonObject *printSettings)
{
    const QString unreadable = ReadableFile::problem(path);
    if (!unreadable.isEmpty()) {
        setProblem(problem, unreadable);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "open file failed" << path;
        setProblem(problem, file.errorString());
        return false;
    }
    ProjectObjects objects;
    QJsonObject settings;
    if (!read(file, objects, problem, &settings))
        return false;
    if ((replace && !manager.newScene()) || !manager.loadObjects(objects)) {
        setProblem(problem, QStringLiteral("the scene is busy slicing, previewing or adding supports"));
        return false;
    }
    if (replace)
        manager.clearHistory();
    if (printSettings)
        *printSettings = settings;
    return true;
}
