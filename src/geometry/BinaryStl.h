#pragma once

#include "geometry/MeshData.h"

#include <QString>

// The reader for binary STL files, the common case, that loads them as
// assimp's reader followed by the model's own copy would (same vertices,
// joined the same way, same triangles) at a fraction of the time and
// memory: it streams the file into the vertex join instead of building
// assimp's arrays of three vertices, three normals and a face per triangle.
namespace BinaryStl {

enum class Outcome { Read, NotBinary, Failed };

// Replaces mesh's content with the triangles of the binary STL file at path
// (a local path): each facet's three corners in file order, each with the
// facet's normal (zero when a component of it is not a number), vertices
// joined as VertexJoiner joins them. With makeZeroNormals, a file whose
// first vertices come out with zero normals (FaceNormals::areZero) has every
// facet's normal made from its corners instead (FaceNormals::make), in the
// same pass. A file is binary as assimp tells it: exactly 84 bytes plus 50
// per triangle of the count at byte 80, the count not 0. NotBinary for any
// other file, which the caller leaves to assimp; Failed, with the reason in
// words for the user in problem ("not enough memory to load N triangles"),
// when the file cannot be read to its end or its mesh does not fit in
// memory. mesh is unchanged unless the outcome is Read.
Outcome read(const QString &path, MeshPrimitiveData &mesh, QString *problem, bool makeZeroNormals = false);

} // namespace BinaryStl
