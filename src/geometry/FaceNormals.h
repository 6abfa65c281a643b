#pragma once

#include "geometry/MeshData.h"

#include <cstddef>

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

} // namespace FaceNormals
