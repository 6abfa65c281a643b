#pragma once

// Meshes generated in code for the tests: no binary fixtures.

#include "geometry/MeshData.h"
#include "geometry/MeshImport.h"
#include "geometry/Model.h"
#include "supports/Support.h"

#include <QPolygonF>
#include <QVector3D>

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace TestMeshes {

inline void addTriangle(MeshPrimitiveData &mesh, const QVector3D &a, const QVector3D &b, const QVector3D &c)
{
    const QVector3D n = QVector3D::normal(a, b, c);
    const auto first = uint32_t(mesh.vertices.size());
    for (const QVector3D &p : {a, b, c})
        mesh.vertices.push_back({p.x(), p.y(), p.z(), n.x(), n.y(), n.z()});
    mesh.indices.insert(mesh.indices.end(), {first, first + 1, first + 2});
}

// Closed axis-aligned box from min to max, outward normals, counter-clockwise faces.
inline MeshPrimitiveData box(const QVector3D &min, const QVector3D &max)
{
    MeshPrimitiveData mesh;
    const QVector3D c[8] = {
        {min.x(), min.y(), min.z()}, {max.x(), min.y(), min.z()}, {max.x(), max.y(), min.z()}, {min.x(), max.y(), min.z()},
        {min.x(), min.y(), max.z()}, {max.x(), min.y(), max.z()}, {max.x(), max.y(), max.z()}, {min.x(), max.y(), max.z()},
    };
    const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto &q : quads) {
        addTriangle(mesh, c[q[0]], c[q[1]], c[q[2]]);
        addTriangle(mesh, c[q[0]], c[q[2]], c[q[3]]);
    }
    return mesh;
}

// Cube of the given edge (mm) standing on the plate, centred on x = y = 0.
inline MeshPrimitiveData cube(float edge)
{
    const float h = edge / 2;
    return box({-h, -h, 0}, {h, h, edge});
}

// UV sphere of radius r (mm) around centre; closed, outward normals.
inline MeshPrimitiveData sphere(float r, const QVector3D &centre = {}, int stacks = 32, int slices = 64)
{
    MeshPrimitiveData mesh;
    auto point = [&](int i, int j) {
        const double theta = M_PI * i / stacks;
        const double phi = 2 * M_PI * j / slices;
        return centre + QVector3D(float(r * std::sin(theta) * std::cos(phi)),
                                  float(r * std::sin(theta) * std::sin(phi)), float(r * std::cos(theta)));
    };
    for (int i = 0; i < stacks; ++i) {
        for (int j = 0; j < slices; ++j) {
            const QVector3D a = point(i, j), b = point(i + 1, j), c = point(i + 1, j + 1), d = point(i, j + 1);
            if (i != 0)
                addTriangle(mesh, a, b, d);
            if (i != stacks - 1)
                addTriangle(mesh, b, c, d);
        }
    }
    return mesh;
}

// Square ring: outer edge `outer`, square hole of edge `inner`, height h (mm),
// standing on the plate, centred on x = y = 0.
inline MeshPrimitiveData ring(float outer, float inner, float h)
{
    MeshPrimitiveData mesh;
    const float o = outer / 2, i = inner / 2;
    // Four walls as boxes would overlap at the corners; build the ring from four
    // non-overlapping boxes instead: two full-width bars and two short bars.
    for (const MeshPrimitiveData &part : {box({-o, -o, 0}, {o, -i, h}), box({-o, i, 0}, {o, o, h}),
                                          box({-o, -i, 0}, {-i, i, h}), box({i, -i, 0}, {o, i, h})}) {
        const auto offset = uint32_t(mesh.vertices.size());
        mesh.vertices.insert(mesh.vertices.end(), part.vertices.begin(), part.vertices.end());
        for (uint32_t index : part.indices)
            mesh.indices.push_back(index + offset);
    }
    return mesh;
}

// Closed prism of height h (mm) standing on the plate over outline, a
// counter-clockwise polygon (mm) that every point of sees the origin: the caps
// are fans around x = y = 0.
inline MeshPrimitiveData prism(const QPolygonF &outline, float h)
{
    MeshPrimitiveData mesh;
    const QVector3D bottomCentre(0, 0, 0), topCentre(0, 0, h);
    for (int i = 0; i < outline.size(); ++i) {
        const QPointF &p = outline[i];
        const QPointF &q = outline[(i + 1) % outline.size()];
        const QVector3D p0(float(p.x()), float(p.y()), 0), q0(float(q.x()), float(q.y()), 0);
        const QVector3D p1(p0.x(), p0.y(), h), q1(q0.x(), q0.y(), h);
        addTriangle(mesh, p0, q0, q1);
        addTriangle(mesh, p0, q1, p1);
        addTriangle(mesh, bottomCentre, q0, p0);
        addTriangle(mesh, topCentre, p1, q1);
    }
    return mesh;
}

// Regular n-gon of circumradius r (mm) around the origin, counter-clockwise,
// first corner on the +x axis.
inline QPolygonF regularPolygon(int n, double r)
{
    QPolygonF polygon;
    for (int i = 0; i < n; ++i)
        polygon << QPointF(r * std::cos(2 * M_PI * i / n), r * std::sin(2 * M_PI * i / n));
    return polygon;
}

// Star of n points: tips at radius outer, notches at radius inner (mm).
inline QPolygonF star(int n, double outer, double inner)
{
    QPolygonF polygon;
    for (int i = 0; i < 2 * n; ++i) {
        const double r = i % 2 ? inner : outer;
        polygon << QPointF(r * std::cos(M_PI * i / n), r * std::sin(M_PI * i / n));
    }
    return polygon;
}

// Both meshes in one, b's triangles after a's.
inline MeshPrimitiveData combined(MeshPrimitiveData a, const MeshPrimitiveData &b)
{
    const auto offset = uint32_t(a.vertices.size());
    a.vertices.insert(a.vertices.end(), b.vertices.begin(), b.vertices.end());
    for (uint32_t index : b.indices)
        a.indices.push_back(index + offset);
    return a;
}

// mesh turned inside out: every triangle's corners in the other order and
// its normals reversed, as a hollow's inner wall faces.
inline MeshPrimitiveData inverted(MeshPrimitiveData mesh)
{
    for (size_t k = 0; k + 2 < mesh.indices.size(); k += 3)
        std::swap(mesh.indices[k + 1], mesh.indices[k + 2]);
    for (MeshVertex &v : mesh.vertices) {
        v.nx = -v.nx;
        v.ny = -v.ny;
        v.nz = -v.nz;
    }
    return mesh;
}

// A loaded normal model holding mesh, as the importer would leave it.
inline Model *makeModel(const MeshPrimitiveData &mesh, int type = TYPE_NORMAL)
{
    auto *model = new Model(type);
    *model->mesh = mesh;
    model->loaded = true;
    model->updateBounds(true);
    return model;
}

// A support of owner (listed in its supports, at its translate) whose mesh is
// the given one instead of a generated column.
inline CWS::Support *makeSupportOf(Model *owner, const MeshPrimitiveData &mesh)
{
    auto *support = new CWS::Support(owner);
    *support->mesh = mesh;
    support->loaded = true;
    support->updateBounds(true);
    return support;
}

// True when both meshes hold the same triangles over the same vertices,
// every vertex equal to the bit.
inline bool identical(const MeshPrimitiveData &a, const MeshPrimitiveData &b)
{
    return a.indices == b.indices && a.vertices.size() == b.vertices.size()
           && std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(MeshVertex)) == 0;
}

// The mesh of the STL file at path as assimp reads it for a model, with the
// file's own normals or, with newNormals, face normals made by assimp; null
// when assimp cannot read it.
inline std::shared_ptr<MeshPrimitiveData> readThroughAssimp(const QString &path, bool newNormals = false)
{
    auto mesh = std::make_shared<MeshPrimitiveData>();
    return MeshImport::readWithAssimp(path, *mesh, false, newNormals, nullptr) ? mesh : nullptr;
}

} // namespace TestMeshes
