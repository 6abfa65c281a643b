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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <optional>

namespace {

constexpr qint32 startMarker = -1;
constexpr qint32 headerMarker = 1;
constexpr qint32 endSectionMarker = 2;
constexpr qint32 endMarker = -1;
// Opens the JSON block that may follow the end marker.
constexpr qint32 notesMarker = 3;
const QLatin1String printSettingsKey("printSettings");
const QLatin1String hollowingKey("hollowing");
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

// A vector as a JSON array of three numbers; nothing when the array is not
// one or holds a value that is not finite or lies beyond any model.
std::optional<QVector3D> vectorFrom(const QJsonValue &value)
{
    const QJsonArray array = value.toArray();
    if (array.size() != 3)
        return std::nullopt;
    float xyz[3] = {};
    for (int i = 0; i < 3; ++i) {
        const double v = array[i].toDouble(qQNaN());
        if (!(std::fabs(v) <= Model::maxCoordinateMm))
            return std::nullopt;
        xyz[i] = float(v);
    }
    return QVector3D(xyz[0], xyz[1], xyz[2]);
}

QJsonArray arrayOf(const QVector3D &v)
{
    return QJsonArray{double(v.x()), double(v.y()), double(v.z())};
}

// Every hollowed model as {"object", "wallMm", "drainHoles"}, holes placed
// as the saved vertices are: on the platform.
QJsonArray hollowingNotes(const QList<Model *> &models)
{
    QJsonArray notes;
    for (int i = 0; i < models.size(); ++i) {
        const Model &model = *models[i];
        if (model.type != TYPE_NORMAL || (!model.hollowing.isHollow() && model.hollowing.drainHoles.empty()))
            continue;
        const QMatrix4x4 matrix = model.modelMatrix();
        QJsonArray holes;
        for (const DrainHole &hole : model.hollowing.drainHoles) {
            holes.append(QJsonObject{{QStringLiteral("position"), arrayOf(matrix.map(hole.position))},
                                     {QStringLiteral("direction"), arrayOf(matrix.mapVector(hole.direction).normalized())},
                                     {QStringLiteral("diameterMm"), double(hole.diameterMm)}});
        }
        QJsonObject note{{QStringLiteral("object"), i},
                         {QStringLiteral("wallMm"), double(model.hollowing.wallMm)},
                         {QStringLiteral("drainHoles"), holes}};
        if (model.hollowing.lattice.any()) {
            note.insert(QStringLiteral("latticeSpacingMm"), double(model.hollowing.lattice.spacingMm));
            note.insert(QStringLiteral("latticeWallMm"), double(model.hollowing.lattice.wallMm));
        }
        notes.append(note);
    }
    return notes;
}

// Gives the objects the hollowing the notes name for them. An entry that
// names no model of the file or a wall out of range, and a hole with a
// value out of range, are skipped (logged): they cost only themselves.
void readHollowing(const QJsonArray &notes, ProjectObjects &objects)
{
    for (const QJsonValue &value : notes) {
        const QJsonObject note = value.toObject();
        const int index = note.value(QStringLiteral("object")).toInt(-1);
        const double wall = note.value(QStringLiteral("wallMm")).toDouble(-1);
        if (index < 0 || index >= int(objects.objects.size()) || objects.objects[size_t(index)]->type != TYPE_NORMAL
            || !(wall == 0 || (wall >= Hollowing::minWallMm && wall <= Hollowing::maxWallMm))) {
            qWarning() << "project's hollowing entry skipped:" << QJsonDocument(note).toJson(QJsonDocument::Compact);
            continue;
        }
        Hollowing hollowing;
        hollowing.wallMm = float(wall);
        const double spacing = note.value(QStringLiteral("latticeSpacingMm")).toDouble(0);
        const double latticeWall = note.value(QStringLiteral("latticeWallMm")).toDouble(Lattice::defaultWallMm);
        if (spacing >= Lattice::minSpacingMm && spacing <= Lattice::maxSpacingMm && latticeWall >= Lattice::minWallMm
            && latticeWall <= Lattice::maxWallMm && wall > 0)
            hollowing.lattice = {float(spacing), float(latticeWall)};
        else if (note.contains(QStringLiteral("latticeSpacingMm")))
            qWarning() << "project's lattice skipped:" << spacing << latticeWall;
        for (const QJsonValue &holeValue : note.value(QStringLiteral("drainHoles")).toArray()) {
            const QJsonObject hole = holeValue.toObject();
            const std::optional<QVector3D> position = vectorFrom(hole.value(QStringLiteral("position")));
            const std::optional<QVector3D> direction = vectorFrom(hole.value(QStringLiteral("direction")));
            const double diameter = hole.value(QStringLiteral("diameterMm")).toDouble(-1);
            if (!position || !direction || direction->length() < 1e-3f || !(diameter >= 1 && diameter <= 10)) {
                qWarning() << "project's drain hole skipped:" << QJsonDocument(hole).toJson(QJsonDocument::Compact);
                continue;
            }
            hollowing.drainHoles.push_back({*position, direction->normalized(), float(diameter)});
        }
        objects.objects[size_t(index)]->hollowing = hollowing;
    }
}

// The block after the end marker, where readers that stop at the end marker
// never look: int32 3, then a QByteArray of compact JSON, an object whose
// "printSettings" are those the project was prepared with and whose
// "hollowing" lists the hollowed models.
void writeNotes(QDataStream &stream, const QList<Model *> &models, const QJsonObject &printSettings)
{
    QJsonObject notes;
    if (!printSettings.isEmpty())
        notes.insert(printSettingsKey, printSettings);
    const QJsonArray hollowing = hollowingNotes(models);
    if (!hollowing.isEmpty())
        notes.insert(hollowingKey, hollowing);
    if (!notes.isEmpty())
        stream << notesMarker << QJsonDocument(notes).toJson(QJsonDocument::Compact);
}

// The block after the end marker; empty when there is none. The objects
// before it are whole, so a damaged block costs only the notes, never the
// project.
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
        qWarning() << "project's notes ignored:" << error.errorString();
        return QJsonObject();
    }
    return document.object();
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
    writeNotes(stream, models, printSettings);
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
    const QJsonObject notes = readNotes(stream);
    readHollowing(notes.value(hollowingKey).toArray(), result);
    objects = std::move(result);
    if (printSettings)
        *printSettings = notes.value(printSettingsKey).toObject();
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
