#include "geometry/FaceNormals.h"

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
