#include "geometry/FaceNormals.h"

#include "geometry/VertexJoiner.h"

#include <assimp/types.h>

#include <cmath>

bool FaceNormals::areZero(const MeshVertex *vertices, size_t count)
{
    for (size_t i = 0; i < count && i < 3; ++i) {
        if (vertices[i].nx != 0 || vertices[i].ny != 0 || vertices[i].nz != 0)
            return false;
    }
    return true;
}

void FaceNormals::make(MeshVertex *corners, size_t count)
{
    for (MeshVertex *c = corners; c + 2 < corners + count; c += 3) {
        // assimp's own vector operations, so that the bits are its bits.
        const aiVector3D a(c[0].x, c[0].y, c[0].z), b(c[1].x, c[1].y, c[1].z), d(c[2].x, c[2].y, c[2].z);
        aiVector3D n = ((b - a) ^ (d - a)).NormalizeSafe();
        if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
            n = aiVector3D();
        for (int k = 0; k < 3; ++k) {
            c[k].nx = n.x;
            c[k].ny = n.y;
            c[k].nz = n.z;
        }
    }
}

void FaceNormals::Join::add(std::unique_ptr<VertexJoiner> &joiner, std::vector<MeshVertex> &vertices, size_t expected,
                            MeshVertex *corners, size_t count, uint32_t *out)
{
    if (m_making)
        make(corners, count);
    joiner->add(corners, count, out);
    if (m_decided)
        return;
    m_decided = true;
    m_making = areZero(vertices.data(), vertices.size());
    if (!m_making)
        return;
    // Joined by their zero normals: again by the made ones.
    joiner.reset();
    vertices.clear();
    joiner = std::make_unique<VertexJoiner>(vertices, expected);
    make(corners, count);
    joiner->add(corners, count, out);
}
