#include "app/ObjectBlock.h"

#include "app/ProjectFile.h"
#include "geometry/Model.h"
#include "supports/Support.h"

#include <QDataStream>
#include <QGenericMatrix>

#include <cmath>

namespace ObjectBlock {

namespace {

constexpr int nameBytes = 64;
constexpr qint32 blockMarker = 1;
constexpr qint32 vertexMarker = 2;
constexpr qint32 indexMarker = 3;
constexpr qint32 blockEndMarker = 2017;

void writeModel(QDataStream &stream, const Model &model)
{
    QByteArray utf8 = model.name.toUtf8();
    // A cut inside a character would read back as a replacement character.
    if (utf8.size() > nameBytes) {
        int cut = nameBytes;
        while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    utf8 += QByteArray(nameBytes - utf8.size(), '\0');
    stream << blockMarker << qint32(model.type);
    stream.writeRawData(utf8.constData(), nameBytes);

    // Normals are turned with the model, so that a reloaded rotated model
    // is shaded as it was; zero normals (supports) stay zero.
    const QMatrix4x4 matrix = model.modelMatrix();
    const QMatrix3x3 turn = matrix.normalMatrix();
    stream << vertexMarker << qint64(model.mesh->vertices.size());
    for (const MeshVertex &v : model.mesh->vertices) {
        const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        const QVector3D n = QVector3D(turn(0, 0) * v.nx + turn(0, 1) * v.ny + turn(0, 2) * v.nz,
                                      turn(1, 0) * v.nx + turn(1, 1) * v.ny + turn(1, 2) * v.nz,
                                      turn(2, 0) * v.nx + turn(2, 1) * v.ny + turn(2, 2) * v.nz)
                                .normalized();
        stream << p.x() << p.y() << p.z() << n.x() << n.y() << n.z();
    }
    stream << indexMarker << qint64(model.mesh->indices.size());
    for (const uint32_t index : model.mesh->indices)
        stream << qint32(index);
    stream << blockEndMarker;
}

bool readModel(QDataStream &stream, Model &model, int major, int minor)
{
    // Format 1.0 is the only one; later versions would branch here.
    Q_UNUSED(major)
    Q_UNUSED(minor)
    qint32 marker = 0;
    qint32 storedType = 0;
    stream >> marker >> storedType;
    char rawName[nameBytes] = {};
    stream.readRawData(rawName, nameBytes);
    stream >> marker;

    qint64 vertexCount = 0;
    stream >> vertexCount;
    if (!ProjectFile::fits(stream, vertexCount, 6 * 8))
        return false;
    auto data = std::make_shared<MeshPrimitiveData>();
    data->vertices.resize(size_t(vertexCount));
    for (MeshVertex &v : data->vertices) {
        stream >> v.x >> v.y >> v.z >> v.nx >> v.ny >> v.nz;
        if (!(std::fabs(v.x) <= Model::maxCoordinateMm && std::fabs(v.y) <= Model::maxCoordinateMm
              && std::fabs(v.z) <= Model::maxCoordinateMm)
            || !std::isfinite(v.nx) || !std::isfinite(v.ny) || !std::isfinite(v.nz))
            return false;
    }

    stream >> marker;
    qint64 indexCount = 0;
    stream >> indexCount;
    if (!ProjectFile::fits(stream, indexCount, 4) || indexCount == 0 || indexCount % 3 != 0)
        return false;
    data->indices.resize(size_t(indexCount));
    for (uint32_t &index : data->indices) {
        qint32 value = 0;
        stream >> value;
        if (value < 0 || value >= vertexCount)
            return false;
        index = uint32_t(value);
    }
    stream >> marker;
    if (stream.status() != QDataStream::Ok)
        return false;

    model.type = storedType;
    model.name = QString::fromUtf8(rawName, int(qstrnlen(rawName, nameBytes)));
    model.mesh = std::move(data);
    model.loaded = true;
    // The vertices stand where they stood when saved; turning and scaling
    // the reloaded model work about its centroid as for a model just loaded.
    model.updateBounds(true);
    model.pivot = model.center;
    return true;
}

// A support column's own fields stand before its model block.
void writeSupport(QDataStream &stream, const CWS::Support &s)
{
    stream << s.actualFootHeight << s.actualHeadHeight << qint32(s.bodyIndexBegin) << qint32(s.indexEnd)
           << qint32(s.footIndexBegin) << qint32(s.headIndexBegin) << qint32(s.footBottomRing)
           << qint32(s.footTopRing) << qint32(s.bodyBottomRing) << qint32(s.headBottomRing) << qint32(s.headTopRing);
}

bool readSupport(QDataStream &stream, CWS::Support &s)
{
    stream >> s.actualFootHeight >> s.actualHeadHeight >> s.bodyIndexBegin >> s.indexEnd >> s.footIndexBegin
        >> s.headIndexBegin >> s.footBottomRing >> s.footTopRing >> s.bodyBottomRing >> s.headBottomRing
        >> s.headTopRing;
    // Held to the range of the vertices: re-fitting a column moves its rings by these.
    return std::fabs(s.actualFootHeight) <= Model::maxCoordinateMm
           && std::fabs(s.actualHeadHeight) <= Model::maxCoordinateMm;
}

} // namespace

void write(QDataStream &stream, const Model &model)
{
    if (model.type == TYPE_SUPPORT)
        writeSupport(stream, static_cast<const CWS::Support &>(model));
    writeModel(stream, model);
}

bool read(QDataStream &stream, Model &model, int major, int minor)
{
    if (model.type != TYPE_SUPPORT)
        return readModel(stream, model, major, minor);
    auto &support = static_cast<CWS::Support &>(model);
    return readSupport(stream, support) && readModel(stream, model, major, minor) && support.partsFitMesh();
}

} // namespace ObjectBlock
