#include "workspace/Model.h"

#include "app/ProjectFile.h"
#include "supports/Support.h"
#include "workspace/BinaryStl.h"
#include "workspace/FaceNormals.h"
#include "workspace/KaloModel.h"
#include "workspace/StlCheck.h"
#include "workspace/TextStl.h"
#include "workspace/VertexJoiner.h"

#include <QColor>
#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QGenericMatrix>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>

namespace {

QString formatPoint(const QVector3D &p)
{
    return QString::asprintf("(%.8f, %.8f, %.8f)", p.x(), p.y(), p.z());
}

float component(const QVector3D &v, int axis)
{
    return v[axis - 1];
}

// Closed box from min to max: two triangles per face, counter-clockwise seen
// from outside, every vertex its own with the face's outward normal.
MeshPrimitiveData boxMesh(const QVector3D &min, const QVector3D &max)
{
    const QVector3D c[8] = {
        {min.x(), min.y(), min.z()}, {max.x(), min.y(), min.z()}, {max.x(), max.y(), min.z()},
        {min.x(), max.y(), min.z()}, {min.x(), min.y(), max.z()}, {max.x(), min.y(), max.z()},
        {max.x(), max.y(), max.z()}, {min.x(), max.y(), max.z()},
    };
    const struct
    {
        int corner[4];
        QVector3D normal;
    } faces[6] = {
        {{0, 3, 2, 1}, {0, 0, -1}}, {{4, 5, 6, 7}, {0, 0, 1}}, {{0, 1, 5, 4}, {0, -1, 0}},
        {{1, 2, 6, 5}, {1, 0, 0}},  {{2, 3, 7, 6}, {0, 1, 0}}, {{3, 0, 4, 7}, {-1, 0, 0}},
    };
    MeshPrimitiveData mesh;
    for (const auto &face : faces) {
        for (const int k : {0, 1, 2, 0, 2, 3}) {
            const QVector3D &p = c[face.corner[k]];
            mesh.indices.push_back(uint32_t(mesh.vertices.size()));
            mesh.vertices.push_back({p.x(), p.y(), p.z(), face.normal.x(), face.normal.y(), face.normal.z()});
        }
    }
    return mesh;
}

// Appends to layer the part of one triangle below plane z (platform mm).
// index: the triangle's mesh indices; corner: its corners on the platform;
// edgeHit[e]: where edge e (PQ, QR, RP) meets the plane; hits: the n hits in
// edge order. The layer's own vertices are numbered after the mesh's.
void addPartBelow(LayerGeometry &layer, const std::vector<MeshVertex> &vertices, const uint32_t *index,
                  const QVector3D *corner, const std::optional<QVector3D> *edgeHit, const QVector3D *hits,
                  int n, float z, const QMatrix4x4 &toMesh)
{
    if (n == 0) {
        if (corner[0].z() < z || corner[1].z() < z || corner[2].z() < z)
            layer.indices.insert(layer.indices.end(), {index[0], index[1], index[2]});
        return;
    }
    // A triangle that only touches the plane in one point has nothing below it.
    if (n != 2 || hits[0] == hits[1])
        return;

    const size_t created = layer.vertices.size();
    uint32_t polygon[6];
    int count = 0;
    for (int e = 0; e < 3; ++e) {
        if (corner[e].z() < z)
            polygon[count++] = index[e];
        if (edgeHit[e]) {
            const QVector3D p = toMesh.map(*edgeHit[e]);
            const MeshVertex &from = vertices[index[e]];
            layer.vertices.push_back({p.x(), p.y(), p.z(), from.nx, from.ny, from.nz});
            polygon[count++] = uint32_t(vertices.size() + layer.vertices.size() - 1);
        }
    }
    if (count == 3) {
        layer.indices.insert(layer.indices.end(), {polygon[0], polygon[1], polygon[2]});
    } else if (count == 4) {
        layer.indices.insert(layer.indices.end(), {polygon[0], polygon[1], polygon[2]});
        layer.indices.insert(layer.indices.end(), {polygon[0], polygon[2], polygon[3]});
    } else {
        layer.vertices.resize(created);
    }
}

} // namespace

Model::Model(int type)
    : type(type)
    , mesh(std::make_shared<MeshPrimitiveData>())
{
    qDebug() << "create new model" << this << "type" << type;
}

Model::Model(const Model &source)
    : QOpenGLFunctions()
    , type(source.type)
    , mesh(source.type == TYPE_NORMAL ? source.mesh : std::make_shared<MeshPrimitiveData>(*source.mesh))
    , loaded(true)
    , boundMin(0, 0, 0)
    , boundMax(0, 0, 0)
    , pivot(source.pivot)
    , name(source.name + QStringLiteral("_copy"))
    , translate(source.translate)
    , scale(source.scale)
    , rotate(source.rotate)
{
    qDebug() << "copy create new model" << this << "from" << &source << "type" << type;
    updateBounds();
}

Model::~Model()
{
    qDebug() << "destroy model" << this;
    if (owner && type == TYPE_SUPPORT) {
        auto &list = owner->supports;
        auto it = std::find(list.begin(), list.end(), this);
        if (it != list.end())
            list.erase(it);
    }
    if (owner && type == TYPE_BASE && owner->base == this)
        owner->base = nullptr;
}

namespace {

constexpr int nameBytes = 64;
constexpr qint32 blockMarker = 1;
constexpr qint32 vertexMarker = 2;
constexpr qint32 indexMarker = 3;
constexpr qint32 blockEndMarker = 2017;

} // namespace

void Model::write(QDataStream &stream) const
{
    QByteArray utf8 = name.toUtf8();
    // A cut inside a character would read back as a replacement character.
    if (utf8.size() > nameBytes) {
        int cut = nameBytes;
        while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    utf8 += QByteArray(nameBytes - utf8.size(), '\0');
    stream << blockMarker << qint32(type);
    stream.writeRawData(utf8.constData(), nameBytes);

    // Normals are turned with the model, so that a reloaded rotated model
    // is shaded as it was; zero normals (supports) stay zero.
    const QMatrix4x4 matrix = modelMatrix();
    const QMatrix3x3 turn = matrix.normalMatrix();
    stream << vertexMarker << qint64(mesh->vertices.size());
    for (const MeshVertex &v : mesh->vertices) {
        const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        const QVector3D n = QVector3D(turn(0, 0) * v.nx + turn(0, 1) * v.ny + turn(0, 2) * v.nz,
                                      turn(1, 0) * v.nx + turn(1, 1) * v.ny + turn(1, 2) * v.nz,
                                      turn(2, 0) * v.nx + turn(2, 1) * v.ny + turn(2, 2) * v.nz)
                                .normalized();
        stream << p.x() << p.y() << p.z() << n.x() << n.y() << n.z();
    }
    stream << indexMarker << qint64(mesh->indices.size());
    for (const uint32_t index : mesh->indices)
        stream << qint32(index);
    stream << blockEndMarker;
}

bool Model::read(QDataStream &stream, int major, int minor)
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
        if (!(std::fabs(v.x) <= maxCoordinateMm && std::fabs(v.y) <= maxCoordinateMm
              && std::fabs(v.z) <= maxCoordinateMm)
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

    type = storedType;
    name = QString::fromUtf8(rawName, int(qstrnlen(rawName, nameBytes)));
    mesh = std::move(data);
    loaded = true;
    // The vertices stand where they stood when saved; turning and scaling
    // the reloaded model work about its centroid as for a model just loaded.
    updateBounds(true);
    pivot = center;
    return true;
}

namespace {

// a . (b x c), with the operations of QVector3D's dotProduct and
// crossProduct in their order, so the result is the same to the bit; those
// are calls into the library, which a large mesh's bounds feel.
float tripleProduct(const QVector3D &a, const QVector3D &b, const QVector3D &c)
{
    const float x = b.y() * c.z() - b.z() * c.y();
    const float y = b.z() * c.x() - b.x() * c.z();
    const float z = b.x() * c.y() - b.y() * c.x();
    return a.x() * x + a.y() * y + a.z() * z;
}

} // namespace

void Model::updateBounds(bool force)
{
    if (!dirty && !force)
        return;

    // Bounds and sums are kept in locals: through the members each corner
    // would wait for the store of the one before it.
    float lowX = 1e9f, lowY = 1e9f, lowZ = 1e9f;
    float highX = -1e9f, highY = -1e9f, highZ = -1e9f;
    // The sums in double precision: a large mesh adds millions of small
    // terms, which single precision rounds away (-2 % on 10 million).
    double cx = 0, cy = 0, cz = 0, totalVolume = 0, clampedVolume = 0;

    const QMatrix4x4 matrix = modelMatrix();
    const auto &vertices = mesh->vertices;
    const auto &indices = mesh->indices;
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        QVector3D p[3];
        for (int i = 0; i < 3; ++i) {
            const MeshVertex &v = vertices[indices[k + i]];
            p[i] = matrix.map(QVector3D(v.x, v.y, v.z));
            lowX = std::min(lowX, p[i].x());
            lowY = std::min(lowY, p[i].y());
            lowZ = std::min(lowZ, p[i].z());
            highX = std::max(highX, p[i].x());
            highY = std::max(highY, p[i].y());
            highZ = std::max(highZ, p[i].z());
        }
        // Resin cannot print below the plate: the volume counts those parts
        // as flattened onto z = 0. The centroid uses the mesh as it stands,
        // except that the first two corners are already pressed onto the
        // plate there.
        for (int i = 0; i < 2; ++i)
            if (p[i].z() < 0)
                p[i].setZ(0);
        const float d = tripleProduct(p[0], p[1], p[2]) / 6.0f;
        const QVector3D weighted = (p[0] + p[1] + p[2]) * 0.25f * d;
        cx += weighted.x();
        cy += weighted.y();
        cz += weighted.z();
        totalVolume += d;
        if (p[2].z() < 0)
            p[2].setZ(0);
        clampedVolume += double(tripleProduct(p[0], p[1], p[2]) * 0.16666667f);
    }
    boundMin = QVector3D(lowX, lowY, lowZ);
    boundMax = QVector3D(highX, highY, highZ);

    qDebug() << "Boundary" << formatPoint(boundMin) << formatPoint(boundMax);
    volume = float(std::fabs(clampedVolume) / 1000.0);
    qDebug() << "volume:" << volume;
    center = QVector3D(float(cx / totalVolume), float(cy / totalVolume), float(cz / totalVolume));
    qDebug() << "center new, totalVolume" << totalVolume << "center" << formatPoint(center);

    // A thin curved shell can have its volume centroid outside its own box,
    // and a mesh that encloses nothing (a flat plate) has none at all; the
    // box centre is a better pivot then.
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(center[a]) || center[a] < boundMin[a] || center[a] > boundMax[a]) {
            center = (boundMin + boundMax) * 0.5f;
            qDebug() << "repair center to" << formatPoint(center);
            break;
        }
    }

    radius = std::max(boundMin.length(), boundMax.length());
    dirty = false;
}

int Model::sliceAt(int layerIndex, float z, std::vector<SliceSegment> &segments, bool buildGeometry)
{
    updateBounds();
    if (z < boundMin.z() || z > boundMax.z())
        return 0;

    const QMatrix4x4 matrix = modelMatrix();
    LayerGeometry *layer = buildGeometry ? &layerCache[size_t(layerIndex)] : nullptr;
    const QMatrix4x4 toMesh = buildGeometry ? matrix.inverted() : QMatrix4x4();
    const auto &vertices = mesh->vertices;
    const auto &indices = mesh->indices;
    const size_t before = segments.size();
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        QVector3D corner[3];
        for (int i = 0; i < 3; ++i) {
            const MeshVertex &v = vertices[indices[k + i]];
            corner[i] = matrix.map(QVector3D(v.x, v.y, v.z));
        }
        std::optional<QVector3D> edgeHit[3];
        QVector3D hits[3];
        const int n = cutTriangle(corner, z, edgeHit, hits);
        if (n == 2)
            segments.push_back({hits[0], hits[1], SliceSegment::windingOfCut(corner, edgeHit)});
        else if (n != 0)
            qWarning() << "ERROR: n != 2";
        if (layer)
            addPartBelow(*layer, vertices, &indices[k], corner, edgeHit, hits, n, z, toMesh);
    }
    return int(segments.size() - before);
}

void Model::buildLayerGeometry(int layer, float z)
{
    if (layer < 0 || size_t(layer) >= layerCache.size())
        return;
    touchLayer(layer);
    if (!layerCache[size_t(layer)].indices.empty()) {
        qDebug() << "use cached slice data";
        return;
    }
    while (layerCacheOrder.size() > maxCachedLayers) {
        layerCache[size_t(layerCacheOrder.front())] = LayerGeometry();
        layerCacheOrder.pop_front();
    }
    std::vector<SliceSegment> scratch;
    sliceAt(layer, z, scratch, true);
}

void Model::touchLayer(int layer)
{
    if (layerCacheOrder.empty() || layerCacheOrder.back() != layer) {
        layerCacheOrder.remove(layer);
        layerCacheOrder.push_back(layer);
    }
}

int Model::cutTriangle(const QVector3D corner[3], float z, std::optional<QVector3D> edgeHit[3], QVector3D hits[3])
{
    int n = 0;
    edgeHit[2].reset();
    for (int edge = 0; edge < 3; ++edge) {
        // The closing edge only matters once the triangle is known to reach the plane.
        if (edge == 2 && n == 0)
            break;
        edgeHit[edge] = intersectEdge(corner[edge], corner[(edge + 1) % 3], z);
        if (edgeHit[edge])
            hits[n++] = *edgeHit[edge];
    }
    return n;
}

std::optional<QVector3D> Model::intersectEdge(const QVector3D &a, const QVector3D &b, float z)
{
    const float za = a.z();
    const float zb = b.z();
    if ((za > z && zb > z) || (za < z && zb < z) || (za == z && zb == z))
        return std::nullopt;
    // A vertex on the plane belongs to the faces above it only: a face below
    // the plane must leave no trace, and a mesh resting a vertex on the plane
    // still marks that point.
    if (za == z)
        return zb > z ? std::optional<QVector3D>(a) : std::nullopt;
    if (zb == z)
        return za > z ? std::optional<QVector3D>(b) : std::nullopt;
    const QVector3D &low = za < zb ? a : b;
    const QVector3D &high = za < zb ? b : a;
    const float dz = high.z() - low.z();
    return QVector3D(low.x() + (high.x() - low.x()) * (z - low.z()) / dz,
                     low.y() + (high.y() - low.y()) * (z - low.z()) / dz, z);
}

QMatrix4x4 Model::modelMatrix() const
{
    QMatrix4x4 matrix;
    matrix.scale(scale);
    matrix.rotate(rotate.x(), 1, 0, 0);
    matrix.rotate(rotate.y(), 0, 1, 0);
    matrix.rotate(rotate.z(), 0, 0, 1);
    QMatrix4x4 place;
    place.translate(pivot + translate);
    matrix = place * matrix;
    matrix.translate(-pivot);
    return matrix;
}

QVector3D Model::mapToScene(const QVector3D &point) const
{
    QMatrix4x4 matrix = modelMatrix();
    if (KaloModel *manager = KaloModel::instance())
        matrix = manager->sceneMatrix() * matrix;
    return matrix.map(point);
}

void Model::bakeInverseTransform()
{
    const QMatrix4x4 inverse = modelMatrix().inverted();
    for (MeshVertex &v : mesh->vertices) {
        const QVector3D p = inverse.map(QVector3D(v.x, v.y, v.z));
        v.x = p.x();
        v.y = p.y();
        v.z = p.z();
    }
}

void Model::setTranslate(float x, float y, float z)
{
    qDebug() << "set model" << this << "new translate" << x << y << z;
    dirty = true;
    const float oldZ = translate.z();
    translate = QVector3D(x, y, z);
    syncAttachments(z - oldZ);
}

void Model::translateBy(float dx, float dy, float dz)
{
    dirty = true;
    translate += QVector3D(dx, dy, dz);
    syncAttachments(dz);
}

void Model::syncAttachments(float dz)
{
    for (Model *support : supports) {
        static_cast<CWS::Support *>(support)->followOwnerZ(dz);
        support->translate = translate;
        support->dirty = true;
    }
    if (base) {
        base->translate = translate;
        base->dirty = true;
    }
}

float Model::dropToFloor()
{
    updateBounds();
    const float floor = base ? base->boundMax.z() : 0.0f;
    const float d = floor - boundMin.z();
    qDebug() << "translate z:" << d;
    if (d != 0) {
        dirty = true;
        translate.setZ(translate.z() + d);
        syncAttachments(d);
    }
    return translate.z();
}

void Model::settleIfFloating()
{
    if (!supports.empty())
        return;
    updateBounds();
    const float floor = base ? base->boundMax.z() : 0.0f;
    const float d = floor - boundMin.z();
    if (d >= 0)
        return;
    qDebug() << "translate z:" << d;
    dirty = true;
    translate.setZ(translate.z() + d);
    syncAttachments(d);
}

void Model::flip(int axis)
{
    if (axis < 1 || axis > 3)
        return;
    if (mesh.use_count() > 1) {
        mesh = std::make_shared<MeshPrimitiveData>(*mesh);
        qDebug() << "remove data share";
    }
    for (MeshVertex &v : mesh->vertices) {
        float *position[] = {&v.x, &v.y, &v.z};
        float *normal[] = {&v.nx, &v.ny, &v.nz};
        *position[axis - 1] = -*position[axis - 1];
        *normal[axis - 1] = -*normal[axis - 1];
    }
    pivot[axis - 1] = -component(pivot, axis);
    // A mirror is its own inverse only together with the turns about the
    // other two axes reversed.
    if (type == TYPE_NORMAL) {
        for (int a = 1; a <= 3; ++a) {
            if (a != axis)
                rotate[a - 1] = -component(rotate, a);
        }
    }
    if (base)
        base->flip(axis);
    for (Model *support : supports)
        support->flip(axis);
    buffersValid = false;
    dirty = true;
}

QList<Model *> Model::copyWithAttachments()
{
    updateBounds();
    auto *copy = new Model(*this);
    copyCount += 1;
    copy->translate.setY(copy->translate.y() + copyCount * (boundMax.y() - boundMin.y() + 3.0f));
    copy->dirty = true;
    copy->syncAttachments(0);
    copy->updateBounds(true);

    QList<Model *> result{copy};
    if (base)
        result.append(copy->makeSupportBase(base->baseThickness));
    for (Model *support : supports) {
        auto *supportCopy = new CWS::Support(*static_cast<const CWS::Support *>(support));
        supportCopy->owner = copy;
        copy->supports.push_back(supportCopy);
        supportCopy->translate = copy->translate;
        supportCopy->dirty = true;
        supportCopy->updateBounds(true);
        result.append(supportCopy);
    }
    return result;
}

void Model::uploadBuffers()
{
    updateBounds();
    if (vbo == 0) {
        initializeOpenGLFunctions();
        glGenBuffers(1, &vbo);
        glGenBuffers(1, &ibo);
    }
    if (buffersValid)
        return;

    const auto &vertices = mesh->vertices;
    const LayerGeometry *cut = nullptr;
    if (const KaloModel *manager = KaloModel::instance()) {
        const int layer = manager->currentLayer();
        if (layer >= 0 && size_t(layer) < layerCache.size() && manager->currentLayerHeight() <= boundMax.z()) {
            touchLayer(layer);
            cut = &layerCache[size_t(layer)];
        }
    }

    const GLsizeiptr vertexBytes = GLsizeiptr(vertices.size() * sizeof(MeshVertex));
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    if (cut) {
        // The cut-away geometry indexes the mesh's vertices and its own, one after the other.
        const GLsizeiptr cutBytes = GLsizeiptr(cut->vertices.size() * sizeof(MeshVertex));
        glBufferData(GL_ARRAY_BUFFER, vertexBytes + cutBytes, nullptr, GL_STATIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, vertexBytes, vertices.data());
        glBufferSubData(GL_ARRAY_BUFFER, vertexBytes, cutBytes, cut->vertices.data());
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(cut->indices.size() * sizeof(uint32_t)),
                     cut->indices.data(), GL_STATIC_DRAW);
        indexCount = int(cut->indices.size());
    } else {
        glBufferData(GL_ARRAY_BUFFER, vertexBytes, vertices.data(), GL_STATIC_DRAW);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(mesh->indices.size() * sizeof(uint32_t)),
                     mesh->indices.data(), GL_STATIC_DRAW);
        indexCount = int(mesh->indices.size());
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    buffersValid = true;
}

void Model::releaseBuffers()
{
    if (vbo == 0)
        return;
    glDeleteBuffers(1, &ibo);
    glDeleteBuffers(1, &vbo);
    ibo = 0;
    vbo = 0;
    buffersValid = false;
}

QVector3D Model::drawColor() const
{
    QColor colour = selected ? QColor(128, 128, 240) : QColor(128, 128, 128);
    if (type == TYPE_SUPPORT || type == TYPE_BASE) {
        if (selected)
            colour = QColor(230, 230, 5);
        if (isNew)
            colour = QColor(Qt::red);
    }
    return QVector3D(float(colour.redF()), float(colour.greenF()), float(colour.blueF()));
}

Model *Model::makeSupportBase(float thickness)
{
    qDebug() << "TODO: Model::makeSupportBase" << thickness;
    if (base) {
        if (KaloModel *manager = KaloModel::instance())
            manager->removeModel(base);
        base = nullptr;
    }
    updateBounds();
    qDebug() << "bound:" << boundMin.x() << boundMax.x();

    auto *plate = new Model(TYPE_BASE);
    plate->owner = this;
    *plate->mesh = boxMesh(QVector3D(boundMin.x() - 2.0f, boundMin.y() - 2.0f, 0.0f),
                           QVector3D(boundMax.x() + 2.0f, boundMax.y() + 2.0f, thickness));
    plate->loaded = true;
    plate->updateBounds();

    // A model raised on supports already clears the plate; one resting on
    // the platform now rests on the plate.
    if (thickness > boundMin.z()) {
        const float d = thickness - boundMin.z();
        dirty = true;
        translate.setZ(translate.z() + d);
        syncAttachments(d);
    }
    // Built on the platform, the plate must stay there under the owner's translation.
    plate->translate = translate;
    plate->dirty = true;
    plate->bakeInverseTransform();

    qDebug() << "Model::makeSupportBase end";
    base = plate;
    baseThickness = thickness;
    plate->baseThickness = thickness;
    return plate;
}

void Model::removeAllSupports()
{
    qDebug() << "remove all supports of" << this;
    KaloModel *manager = KaloModel::instance();
    if (base) {
        qDebug() << "remove base support" << base;
        manager->removeModel(base);
        base = nullptr;
    }
    const std::vector<Model *> snapshot = supports;
    for (Model *support : snapshot) {
        qDebug() << "remove suport" << support;
        manager->removeModel(support);
    }
    supports.clear();
}

namespace {

// Masks for assimp's remove-component step: every set bit deletes that part
// of the scene. The first keeps the meshes and the normals stored in the
// file, the second the meshes alone so that normals are computed anew. Bits
// 0x1 and 0xF000 name no component.
constexpr int keepMeshesAndNormals = 0xFBFD;
constexpr int keepMeshesOnly = 0xFBFF;

bool lacksNormals(const aiScene *scene)
{
    for (unsigned int i = 0; i < scene->mNumMeshes; ++i) {
        if (!scene->mMeshes[i]->mNormals)
            return true;
    }
    return false;
}

void setProblem(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
}

} // namespace

bool Model::load(const QUrl &fileUrl, bool smooth, bool forceNewNormals, QString *problem)
{
    url = fileUrl;
    name = fileUrl.toLocalFile();
    qDebug() << "load " << name;
    const QString unfit = StlCheck::problem(name);
    if (!unfit.isEmpty()) {
        qDebug() << "ERROR: STL: " << unfit;
        setProblem(problem, unfit);
        return false;
    }

    // STL files are read without assimp's arrays, unless their normals are
    // smoothed, which assimp does; zero normals are made while reading.
    QString unread;
    BinaryStl::Outcome binary = BinaryStl::Outcome::NotBinary;
    TextStl::Outcome text = TextStl::Outcome::Declined;
    if (!smooth && !forceNewNormals) {
        binary = BinaryStl::read(name, *mesh, &unread, true);
        if (binary == BinaryStl::Outcome::NotBinary)
            text = TextStl::read(name, *mesh, &unread, true);
    }
    if (binary == BinaryStl::Outcome::Failed || text == TextStl::Outcome::Failed) {
        qDebug() << "ERROR: STL: " << unread;
        setProblem(problem, unread);
        return false;
    }
    if (binary == BinaryStl::Outcome::Read || text == TextStl::Outcome::Read) {
        qDebug() << "read vertices succeed:" << mesh->vertices.size() << mesh->vertices.capacity()
                 << mesh->vertices.max_size();
        qDebug() << "total faces:" << mesh->indices.size() / 3;
    } else if (!readWithAssimp(smooth, forceNewNormals, problem)) {
        return false;
    }
    // A coordinate that is no number or lies absurdly far would turn bounds,
    // centroid and layer count into NaN or overflow them.
    for (const MeshVertex &v : mesh->vertices) {
        if (!(std::fabs(v.x) <= maxCoordinateMm && std::fabs(v.y) <= maxCoordinateMm
              && std::fabs(v.z) <= maxCoordinateMm)) {
            qDebug() << "ERROR: coordinate out of range" << v.x << v.y << v.z;
            setProblem(problem, QStringLiteral("the mesh has coordinates that are not numbers or lie beyond %1 mm")
                                    .arg(double(maxCoordinateMm), 0, 'f', 0));
            return false;
        }
    }

    // Placement rewrites the vertices once, so that a fresh model's transform
    // is the identity and its pivot the centroid.
    updateBounds();
    qDebug() << "translate when loaded: " << -center.x() << -center.y() << -boundMin.z();
    const QVector3D offset(center.x(), center.y(), boundMin.z());
    for (MeshVertex &v : mesh->vertices) {
        v.x -= offset.x();
        v.y -= offset.y();
        v.z -= offset.z();
    }
    updateBounds(true);
    pivot = center;

    if (boundMax.z() > 200.0f) {
        const float s = 130.0f / boundMax.z();
        qDebug() << "set model" << this << "new scale" << s << s << s;
        dirty = true;
        scale = QVector3D(s, s, s);
    }
    loaded = true;
    return true;
}

bool Model::readWithAssimp(bool smooth, bool forceNewNormals, QString *problem)
{
    Assimp::Importer importer;
    int removedComponents = keepMeshesAndNormals;
    if (smooth || forceNewNormals) {
        qDebug() << "using smooth normal";
        removedComponents = keepMeshesOnly;
    }
    importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, removedComponents);
    qDebug() << "AI_CONFIG_PP_RVC_FLAGS:" << importer.GetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS);

    // Identical vertices are joined while the mesh is copied (VertexJoiner):
    // assimp's own join needs several hundred bytes and microseconds per
    // vertex, more than the rest of loading and slicing a model together.
    // Face normals are asked for only where a mesh has none: asking sorts
    // every vertex in space first, a third of the load of a large model,
    // even when the normals read from the file are kept.
    const unsigned int steps = aiProcess_Triangulate | aiProcess_RemoveComponent
                               | (smooth ? unsigned(aiProcess_GenSmoothNormals) : 0u);
    const aiScene *scene = importer.ReadFile(QFile::encodeName(name).constData(), steps);
    if (scene && !smooth && lacksNormals(scene))
        scene = importer.ApplyPostProcessing(aiProcess_GenNormals);
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        const QString error = QString::fromUtf8(importer.GetErrorString());
        qDebug() << "ERROR: ASSIMP: " << error;
        // assimp turns every exception into its error text.
        setProblem(problem, error.contains(QLatin1String("bad_alloc"))
                                ? QStringLiteral("not enough memory to load this file")
                                : QStringLiteral("not a readable STL file"));
        return false;
    }
    qDebug() << "assimp read file succeed, mesh size: " << scene->mNumMeshes;
    if (!processAssimpNode(scene->mRootNode, scene)) {
        setProblem(problem, QStringLiteral("the file holds no triangles"));
        return false;
    }
    return true;
}

bool Model::processAssimpNode(const aiNode *node, const aiScene *scene)
{
    qDebug() << "processAssimpNode, mesh size:" << node->mNumMeshes;
    // A text STL file holds a mesh for each of its solids (a part of several
    // bodies often comes so): all of them make up the model.
    for (unsigned int i = 0; i < node->mNumMeshes; ++i) {
        qDebug() << "process mesh" << i;
        processAssimpMesh(scene->mMeshes[node->mMeshes[i]]);
    }
    for (unsigned int i = 0; i < node->mNumChildren; ++i)
        processAssimpNode(node->mChildren[i], scene);
    return !mesh->indices.empty();
}

bool Model::processAssimpMesh(const aiMesh *source)
{
    qDebug() << "processAssimpMesh, total vertices:" << source->mNumVertices;
    std::vector<MeshVertex> &vertices = mesh->vertices;
    // A mesh of points or lines read before may have left its vertices in
    // the array: this mesh's vertices are joined among themselves only.
    vertices.reserve(vertices.size() + source->mNumVertices);
    VertexJoiner joiner(vertices, source->mNumVertices);
    std::vector<uint32_t> joined(source->mNumVertices);
    for (unsigned int i = 0; i < source->mNumVertices; ++i) {
        const aiVector3D &p = source->mVertices[i];
        // assimp generates no normals for meshes of points and lines; a
        // normal that is no number (stored so in the file) shades as none.
        aiVector3D n = source->mNormals ? source->mNormals[i] : aiVector3D();
        if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
            n = aiVector3D();
        joined[i] = joiner.add({p.x, p.y, p.z, n.x, n.y, n.z});
    }
    qDebug() << "read vertices succeed:" << vertices.size() << vertices.capacity() << vertices.max_size();
    if (vertices.size() >= vertices.max_size() / 1000)
        qWarning() << "memory is exhausting, suggest switch to SmoothNormal mode";

    qDebug() << "total faces:" << source->mNumFaces;
    std::vector<uint32_t> &indices = mesh->indices;
    for (unsigned int f = 0; f < source->mNumFaces; ++f) {
        const aiFace &face = source->mFaces[f];
        // Everything downstream walks indices three at a time: after
        // triangulation only points and lines have another count, and they
        // enclose no resin.
        if (face.mNumIndices != 3)
            continue;
        const unsigned int *corner = face.mIndices;
        if (corner[0] >= source->mNumVertices || corner[1] >= source->mNumVertices
            || corner[2] >= source->mNumVertices)
            continue;
        indices.insert(indices.end(), {joined[corner[0]], joined[corner[1]], joined[corner[2]]});
    }
    return true;
}

bool Model::normalsAreZero() const
{
    return mesh && FaceNormals::areZero(mesh->vertices.data(), mesh->vertices.size());
}
