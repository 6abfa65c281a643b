#pragma once

#include "geometry/MeshData.h"

#include <QString>

// Reading a mesh file into a mesh in the file's own coordinates (mm).
namespace MeshImport {

// Appends the triangles of the STL file at path (a local path) to mesh:
// every solid of a text file, read with BinaryStl or TextStl, or through
// assimp for the files they leave to it and for the files whose normals are
// made anew. smooth asks for smoothed vertex normals instead of face
// normals; forceNewNormals discards the normals stored in the file; a
// normal that is not a number becomes zero. False, with the reason in words
// for the user in problem (when given), when the file cannot be read or is
// damaged (see StlCheck), has no faces, or has a coordinate that is not a
// number or beyond Model::maxCoordinateMm.
bool read(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals, QString *problem);

// The part of read that goes through assimp: reads the file with the steps
// and normals read describes and appends all its meshes, depth first; faces
// that are not triangles are dropped, and so is any face naming a missing
// vertex.
bool readWithAssimp(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals,
                    QString *problem);

// True when the first three vertex normals are all exactly zero (or there
// are no vertices): the file stored no usable normals.
bool normalsAreZero(const MeshPrimitiveData &mesh);

} // namespace MeshImport
