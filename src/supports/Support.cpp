#include "supports/Support.h"

#include "settings/SupportConfig.h"
#include "supports/OverhangPlanner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace CWS {

namespace {

QString nextName()
{
    // Numbers are never reused, so copies and new columns stay distinguishable in the log.
    static int counter = 0;
    return QStringLiteral("Support_%1").arg(counter++);
}

// Two triangles per segment between lower ring a and upper ring b.
void addBand(std::vector<uint32_t> &indices, int a, int b, int n)
{
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        indices.insert(indices.end(), {uint32_t(a + i), uint32_t(a + j), uint32_t(b + i)});
        indices.insert(indices.end(), {uint32_t(a + j), uint32_t(b + j), uint32_t(b + i)});
    }
}

} // namespace

Support::Support(Model *owner)
    : Model(TYPE_SUPPORT)
{
    name = nextName();
    this->owner = owner;
    if (owner) {
        owner->supports.push_back(this);
        translate = owner->translate;
        dirty = true;
    }
}

Support::Support(const Support &source)
    : Model(source)
    , actualFootHeight(source.actualFootHeight)
    , actualHeadHeight(source.actualHeadHeight)
    , config(source.config)
    , footIndexBegin(source.footIndexBegin)
    , bodyIndexBegin(source.bodyIndexBegin)
    , headIndexBegin(source.headIndexBegin)
    , indexEnd(source.indexEnd)
    , footBottomRing(source.footBottomRing)
    , footTopRing(source.footTopRing)
    , bodyBottomRing(source.bodyBottomRing)
    , headBottomRing(source.headBottomRing)
    , headTopRing(source.headTopRing)
{
    name = nextName();
    type = TYPE_SUPPORT;
}

bool Support::partsFitMesh() const
{
    const auto vertices = qint64(mesh->vertices.size());
    const auto indices = qint64(mesh->indices.size());
    const bool ringsInOrder = 0 <= footBottomRing && footBottomRing <= footTopRing && footTopRing <= bodyBottomRing
                              && bodyBottomRing <= headBottomRing && headBottomRing <= headTopRing;
    // Re-fitting reads rings 2 and 3 and rewrites the head up to the top
    // ring's centre vertex; a column without segments touches no ring. Starts
    // out of order (a damaged file) may be any ints, whose difference overflows.
    const int n = ringsInOrder ? segmentCount() : 0;
    const bool ringsInside = qint64(headTopRing) + (n > 0 ? n + 1 : 0) <= vertices;
    const bool indicesInOrder = 0 <= footIndexBegin && footIndexBegin <= bodyIndexBegin
                                && bodyIndexBegin <= headIndexBegin && headIndexBegin <= indexEnd
                                && indexEnd <= indices;
    return ringsInOrder && ringsInside && indicesInOrder;
}

int Support::segmentCount() const
{
    // Ring 1 is the only ring followed directly by the next one without a centre vertex.
    return bodyBottomRing - footTopRing;
}

void Support::writeRing(int first, double radius, float z)
{
    const int n = segmentCount();
    const float step = float(2.0 * M_PI / n);
    float theta = 0;
    for (int k = 0; k < n; ++k) {
        MeshVertex &v = mesh->vertices[size_t(first + k)];
        v.x = float(radius * std::cos(theta));
        v.y = float(radius * std::sin(theta));
        v.z = z;
        theta += step;
    }
}

void Support::buildColumn(const SupportConfig *columnConfig, float length)
{
    config = columnConfig;
    const float limit = 0.4f * length;
    actualHeadHeight = limit > config->headHeight() ? float(config->headHeight()) : limit;
    actualFootHeight = limit > config->footHeight() ? float(config->footHeight()) : limit;

    const int n = config->segments;
    auto &vertices = mesh->vertices;
    const int first = int(vertices.size());
    footBottomRing = first;
    footTopRing = footBottomRing + n + 1;
    bodyBottomRing = footTopRing + n;
    headBottomRing = bodyBottomRing + n;
    headTopRing = headBottomRing + n;
    // New vertices start at the origin with zero normals: the foot's centre is done.
    vertices.resize(size_t(headTopRing + n + 1));
    writeRing(footBottomRing, config->footBottomRadius(), 0);
    writeRing(footTopRing, config->footTopRadius(), actualFootHeight);
    writeRing(bodyBottomRing, config->footTopRadius(), actualFootHeight);
    writeRing(headBottomRing, config->headBottomRadius(), length - actualHeadHeight);
    writeRing(headTopRing, config->headTopRadius(), length);
    vertices[size_t(headTopRing + n)] = MeshVertex{0, 0, length, 0, 0, 0};

    addTriangles(n);
    updateBounds();
}

void Support::addTriangles(int n)
{
    auto &indices = mesh->indices;
    footIndexBegin = int(indices.size());
    for (int i = 0; i < n; ++i) {
        const int s = footBottomRing;
        indices.insert(indices.end(), {uint32_t(s + n), uint32_t(s + (i + 1) % n), uint32_t(s + i)});
    }
    addBand(indices, footBottomRing, footTopRing, n);
    bodyIndexBegin = int(indices.size());
    addBand(indices, footTopRing, bodyBottomRing, n);
    addBand(indices, bodyBottomRing, headBottomRing, n);
    headIndexBegin = int(indices.size());
    addBand(indices, headBottomRing, headTopRing, n);
    for (int i = 0; i < n; ++i) {
        const int s = headTopRing;
        indices.insert(indices.end(), {uint32_t(s + n), uint32_t(s + i), uint32_t(s + (i + 1) % n)});
    }
    indexEnd = int(indices.size());
}

void Support::buildTipped(const SupportConfig *columnConfig, const SupportPlacement &placement)
{
    config = columnConfig;
    const SupportShape &shape = config->shape();
    const float bodyR = float(shape.bodyDiameter / 2);
    const QVector3D &knee = placement.knee;
    actualFootHeight = placement.footTopZ - placement.footZ;
    actualHeadHeight = placement.contact.z() - knee.z();

    const int n = config->segments;
    auto &vertices = mesh->vertices;
    footBottomRing = int(vertices.size());
    footTopRing = footBottomRing + n + 1;
    bodyBottomRing = footTopRing + n;
    headBottomRing = bodyBottomRing + n;
    headTopRing = headBottomRing + n;
    vertices.resize(size_t(headTopRing + n + 1));
    const float footR = (placement.onModel ? 1.6f : 2.5f) * bodyR;
    writeRing(footBottomRing, double(footR), placement.footZ);
    writeRing(footTopRing, double(bodyR), placement.footTopZ);
    writeRing(bodyBottomRing, double(bodyR), placement.footTopZ);
    writeRing(headBottomRing, double(bodyR), knee.z());
    for (int first : {footBottomRing, footTopRing, bodyBottomRing, headBottomRing}) {
        for (int k = 0; k < n; ++k) {
            vertices[size_t(first + k)].x += knee.x();
            vertices[size_t(first + k)].y += knee.y();
        }
    }
    vertices[size_t(footBottomRing + n)] = MeshVertex{knee.x(), knee.y(), placement.footZ, 0, 0, 0};
    // The tip's ring lies across its axis, counter-clockwise seen from the model.
    const QVector3D &axis = placement.axis;
    const QVector3D xAxis = QVector3D::crossProduct(QVector3D(0, 1, 0), axis).normalized();
    const QVector3D yAxis = QVector3D::crossProduct(axis, xAxis).normalized();
    const QVector3D tip = placement.contact + axis * float(shape.contactDepth);
    const float tipR = float(shape.tipDiameter / 2);
    const float step = float(2.0 * M_PI / n);
    float theta = 0;
    for (int k = 0; k < n; ++k) {
        const QVector3D p = tip + (xAxis * std::cos(theta) + yAxis * std::sin(theta)) * tipR;
        vertices[size_t(headTopRing + k)] = MeshVertex{p.x(), p.y(), p.z(), 0, 0, 0};
        theta += step;
    }
    vertices[size_t(headTopRing + n)] = MeshVertex{tip.x(), tip.y(), tip.z(), 0, 0, 0};

    addTriangles(n);
    updateBounds();
}

void Support::translateScoped(float dx, float dy, float dz)
{
    auto &vertices = mesh->vertices;
    size_t begin = 0;
    size_t end = 0;
    switch (transformScope) {
    case 0:
        end = vertices.size();
        break;
    case 1:
        begin = size_t(headBottomRing);
        end = vertices.size();
        break;
    case 2:
        begin = size_t(footBottomRing);
        end = size_t(headBottomRing);
        break;
    default:
        break;
    }
    for (size_t i = begin; i < end; ++i) {
        vertices[i].x += dx;
        vertices[i].y += dy;
        vertices[i].z += dz;
    }
}

void Support::followOwnerZ(float dz)
{
    if (std::fabs(dz) <= std::numeric_limits<float>::epsilon())
        return;
    // An undo step may still share this column's mesh as it stood.
    if (mesh.use_count() > 1)
        mesh = std::make_shared<MeshPrimitiveData>(*mesh);
    // An inverted body would print as a column folded through itself: a
    // model lowered further keeps the head where the body runs out, buried
    // deeper in the model, and a later rise carries it back up with the model.
    float headDz = dz;
    if (segmentCount() > 0) {
        const auto &vertices = mesh->vertices;
        const float body = vertices[size_t(headBottomRing)].z - vertices[size_t(bodyBottomRing)].z;
        headDz = std::max(dz, -std::max(body, 0.0f));
    }
    transformScope = 0;
    translateScoped(0, 0, -dz);
    transformScope = 1;
    translateScoped(0, 0, headDz);
    transformScope = 0;
    buffersValid = false;
    dirty = true;
}

void Support::aimHead(const QVector3D &point, const QVector3D &normal)
{
    const int n = segmentCount();
    auto &vertices = mesh->vertices;
    writeRing(headBottomRing, config->headBottomRadius(), -actualHeadHeight);
    writeRing(headTopRing, config->headTopRadius(), 0);
    vertices[size_t(headTopRing + n)] = MeshVertex{};

    // The axis always points upwards, so even a surface facing straight up
    // or sideways is held from below, leaning at most 53.13° off vertical.
    const float nz = -std::fabs(normal.z());
    const float d = nz > -0.75f ? 0.75f : -nz;
    const QVector3D axis = QVector3D(-normal.x(), -normal.y(), d).normalized();
    const QVector3D xAxis = QVector3D::crossProduct(QVector3D(0, 1, 0), axis).normalized();
    const QVector3D yAxis = QVector3D::crossProduct(axis, xAxis).normalized();
    for (size_t i = size_t(headBottomRing); i < vertices.size(); ++i) {
        MeshVertex &v = vertices[i];
        const QVector3D p = xAxis * v.x + yAxis * v.y + axis * v.z + point;
        v.x = p.x();
        v.y = p.y();
        v.z = p.z();
    }

    // The head's lower ring lies flat again, centred where the tilted one was.
    QVector3D sum;
    for (int k = 0; k < n; ++k) {
        const MeshVertex &v = vertices[size_t(headBottomRing + k)];
        sum += QVector3D(v.x, v.y, v.z);
    }
    const QVector3D mean = sum / float(n);
    writeRing(headBottomRing, config->headBottomRadius(), 0);
    for (int k = 0; k < n; ++k) {
        MeshVertex &v = vertices[size_t(headBottomRing + k)];
        v.x += mean.x();
        v.y += mean.y();
        v.z += mean.z();
    }
    updateBounds();
}

} // namespace CWS
