#pragma once

#include "geometry/MeshData.h"

#include <cstddef>
#include <memory>
#include <vector>

class VertexJoiner;

// Normals for the facets of a file that stores none (all zero): the STL
// readers make them while they read, in the same pass.
namespace FaceNormals {

// True when the first min(3, count) vertices all have a zero normal: the
// file's normals are taken for none, as the model has always judged them.
bool areZero(const MeshVertex *vertices, size_t count);

// Gives the three corners of each triangle (count corners, three per
// triangle) its face normal, to the bit as assimp makes one: (b - a) x
// (c - a), divided by its length unless that is zero; a normal that is no
// number becomes zero.
void make(MeshVertex *corners, size_t count);

// A reader's joins of its corners, block after block, that make the normals
// of a file storing none: whether it does is told by the first block's
// vertices (areZero), which are then joined again with the made normals.
class Join
{
public:
    // wanted: normals are made for a file that stores none.
    explicit Join(bool wanted)
        : m_decided(!wanted)
    {
    }

    // Joins count corners (three per triangle) into vertices with joiner,
    // their indices into out, as VertexJoiner::add does. A joiner made anew
    // for the first block's second join expects expected vertices.
    void add(std::unique_ptr<VertexJoiner> &joiner, std::vector<MeshVertex> &vertices, size_t expected,
             MeshVertex *corners, size_t count, uint32_t *out);

private:
    bool m_decided;
    bool m_making = false;
};

} // namespace FaceNormals
