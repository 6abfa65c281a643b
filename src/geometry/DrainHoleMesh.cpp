#include "geometry/DrainHoleMesh.h"

#include <QVector3D>

#include <cmath>

namespace DrainHoleMesh {

namespace {

void addVertex(MeshPrimitiveData &mesh, const QVector3D &p, const QVector3D &n)
{
    mesh.vertices.push_back({p.x(), p.y(), p.z(), n.x(), n.y(), n.z()});
}

} // namespace

MeshPrimitiveData cylinders(const Hollowing &hollowing, const QMatrix4x4 &matrix, int sides)
{
    MeshPrimitiveData mesh;
    if (!hollowing.isHollow())
        return mesh;
    const QMatrix3x3 normalMatrix = matrix.normalMatrix();
    for (const DrainHole &hole : hollowing.drainHoles) {
        const QVector3D d(hole.direction.x(), hole.direction.y(), hole.direction.z());
        // Directions are surface normals turned inwards: they follow a
        // stretched model as its normals do.
        QVector3D axis(normalMatrix(0, 0) * d.x() + normalMatrix(0, 1) * d.y() + normalMatrix(0, 2) * d.z(),
                       normalMatrix(1, 0) * d.x() + normalMatrix(1, 1) * d.y() + normalMatrix(1, 2) * d.z(),
                       normalMatrix(2, 0) * d.x() + normalMatrix(2, 1) * d.y() + normalMatrix(2, 2) * d.z());
        if (axis.isNull())
            continue;
        axis.normalize();
        const QVector3D surface = matrix.map(hole.position);
        const QVector3D start = surface - 0.5f * axis;
        const QVector3D end = surface + (hollowing.wallMm + 1.0f) * axis;
        // Two unit vectors across the axis, u x v = axis, so that the
        // corners run counter-clockwise seen from the end.
        const QVector3D helper = std::fabs(axis.z()) < 0.9f ? QVector3D(0, 0, 1) : QVector3D(1, 0, 0);
        const QVector3D u = QVector3D::crossProduct(helper, axis).normalized();
        const QVector3D v = QVector3D::crossProduct(axis, u);
        const float r = hole.diameterMm / 2;

        const auto first = uint32_t(mesh.vertices.size());
        addVertex(mesh, start, -axis);
        addVertex(mesh, end, axis);
        for (int i = 0; i < sides; ++i) {
            const double angle = 2 * M_PI * i / sides;
            const QVector3D radial = float(std::cos(angle)) * u + float(std::sin(angle)) * v;
            addVertex(mesh, start + r * radial, radial);
            addVertex(mesh, end + r * radial, radial);
        }
        for (int i = 0; i < sides; ++i) {
            const uint32_t s0 = first + 2 + 2 * uint32_t(i), e0 = s0 + 1;
            const uint32_t s1 = first + 2 + 2 * uint32_t((i + 1) % sides), e1 = s1 + 1;
            mesh.indices.insert(mesh.indices.end(), {first, s1, s0});      // start cap, facing back
            mesh.indices.insert(mesh.indices.end(), {first + 1, e0, e1});  // end cap
            mesh.indices.insert(mesh.indices.end(), {s0, s1, e1});         // side
            mesh.indices.insert(mesh.indices.end(), {s0, e1, e0});
        }
    }
    return mesh;
}

} // namespace DrainHoleMesh
