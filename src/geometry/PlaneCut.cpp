#include "geometry/PlaneCut.h"

#include "geometry/Model.h"

#include <QDebug>
#include <QMatrix4x4>

namespace PlaneCut {

namespace {

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

int cutTriangle(const QVector3D corner[3], float z, std::optional<QVector3D> edgeHit[3], QVector3D hits[3])
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

std::optional<QVector3D> intersectEdge(const QVector3D &a, const QVector3D &b, float z)
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

int cut(Model &model, float z, std::vector<SliceSegment> &segments, LayerGeometry *below)
{
    model.updateBounds();
    if (z < model.boundMin.z() || z > model.boundMax.z())
        return 0;

    const QMatrix4x4 matrix = model.modelMatrix();
    const QMatrix4x4 toMesh = below ? matrix.inverted() : QMatrix4x4();
    const auto &vertices = model.mesh->vertices;
    const auto &indices = model.mesh->indices;
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
        if (below)
            addPartBelow(*below, vertices, &indices[k], corner, edgeHit, hits, n, z, toMesh);
    }
    return int(segments.size() - before);
}

} // namespace PlaneCut
