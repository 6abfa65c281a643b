#include "geometry/ModelCavity.h"

#include <cmath>

namespace {

QMatrix4x4 linearPart(QMatrix4x4 matrix)
{
    matrix.setColumn(3, QVector4D(0, 0, 0, 1));
    return matrix;
}

MeshPrimitiveData mapped(MeshPrimitiveData mesh, const QMatrix4x4 &matrix)
{
    for (MeshVertex &v : mesh.vertices) {
        const QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        v.x = p.x();
        v.y = p.y();
        v.z = p.z();
    }
    return mesh;
}

} // namespace

ModelCavity ModelCavity::fromPlatform(const MeshPrimitiveData &platform, const QMatrix4x4 &matrix, float wallMm,
                                      const Lattice &lattice)
{
    auto inModel = std::make_shared<const MeshPrimitiveData>(mapped(platform, matrix.inverted()));
    // The volume does not change as the model moves: it is taken once, on
    // the platform, where the wall was measured.
    double volume = 0;
    const auto &vertices = platform.vertices;
    const auto &indices = platform.indices;
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        const MeshVertex &a = vertices[indices[k]], &b = vertices[indices[k + 1]], &c = vertices[indices[k + 2]];
        volume += (double(a.x) * (double(b.y) * c.z - double(b.z) * c.y)
                   + double(a.y) * (double(b.z) * c.x - double(b.x) * c.z)
                   + double(a.z) * (double(b.x) * c.y - double(b.y) * c.x))
                  / 6.0;
    }
    ModelCavity cavity;
    cavity.mesh = std::move(inModel);
    cavity.wallMm = wallMm;
    cavity.lattice = lattice;
    cavity.linear = linearPart(matrix);
    cavity.volumeMl = float(std::fabs(volume) / 1000.0);
    return cavity;
}

bool ModelCavity::fits(const QMatrix4x4 &matrix, float wall, const Lattice &withLattice) const
{
    return mesh && wall == wallMm && withLattice == lattice && linearPart(matrix) == linear;
}

MeshPrimitiveData ModelCavity::onPlatform(const QMatrix4x4 &matrix) const
{
    return mesh ? mapped(*mesh, matrix) : MeshPrimitiveData();
}
