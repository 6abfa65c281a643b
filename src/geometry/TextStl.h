#pragma once

#include "geometry/MeshData.h"

#include <QString>

// The reader for text STL files that loads them as assimp's reader followed
// by the model's own copy would (the same numbers, read by assimp's own
// number parser, the vertices of each solid joined among themselves as
// VertexJoiner joins them, the same triangles) in a fraction of the time
// and memory: it streams the file into the vertex join instead of holding
// the whole text and assimp's arrays of it at once.
namespace TextStl {

enum class Outcome { Read, Declined, Failed };

// Replaces mesh's content with the triangles of the text STL file at path
// (a local path), which StlCheck::problem has accepted: every solid's
// facets, each corner with its facet's normal (zero when a component of it
// is not a number), in file order; with makeZeroNormals a file whose first
// vertices come out with zero normals has every facet's normal made from its
// corners, as BinaryStl::read does. Declined, mesh unchanged, for the texts
// assimp reads otherwise than that grammar says, which the caller leaves to
// assimp: a carriage return not followed by a line feed, a vertical tab or
// form feed, or a word "facet" or "endsolid..." after a solid's name on its
// line. Failed, with the reason in words for the user in problem and mesh
// unchanged, when the file cannot be read to its end, no longer follows the
// grammar (it changed since it was checked), or its mesh does not fit in
// memory ("not enough memory to load more than N triangles").
Outcome read(const QString &path, MeshPrimitiveData &mesh, QString *problem, bool makeZeroNormals = false);

} // namespace TextStl
