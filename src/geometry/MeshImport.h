#pragma once

#include "geometry/MeshData.h"

#include <QString>
#include <QStringList>

// Reading a mesh file into a mesh in the file's own coordinates (mm).
namespace MeshImport {

// The file types that load as models, by the end of their name in small
// letters: "stl", "obj", "3mf", "ply". A name matches in any letter case.
QStringList suffixes();
// Whether fileName (a name or a path) ends in "." and one of suffixes().
bool isModelFile(const QString &fileName);
// The types for a message: "STL, OBJ, 3MF or PLY".
QString formatNames();

// Appends the triangles of the model file at path (a local path) to mesh.
// An STL file (a name ending in ".stl", any case) gives every solid of a
// text file, read with BinaryStl or TextStl, or through assimp for the
// files they leave to it and for the files whose normals are made anew.
// Any other file goes to assimp, every mesh of it placed by the
// transforms of its scene (the build items of a 3MF file, say). smooth asks for smoothed vertex normals instead of face
// normals; forceNewNormals discards the normals stored in the file; a
// normal that is not a number becomes zero. False, with the reason in words
// for the user in problem (when given), when the file cannot be read
// (ReadableFile) or is damaged (see StlCheck; "not a readable OBJ file" and
// so on for the other types), has no faces, or has a coordinate that is not a
// number or beyond Model::maxCoordinateMm.
bool read(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals, QString *problem);

// The part of read that goes through assimp: reads the file with the steps
// and normals read describes and appends all its meshes, depth first; faces
// that are not triangles are dropped, and so is any face naming a missing
// vertex. With placeMeshes the node transforms are applied to the meshes.
bool readWithAssimp(const QString &path, MeshPrimitiveData &mesh, bool smooth, bool forceNewNormals,
                    QString *problem, bool placeMeshes = false);

// True when the first three vertex normals are all exactly zero (or there
// are no vertices): the file stored no usable normals.
bool normalsAreZero(const MeshPrimitiveData &mesh);

} // namespace MeshImport
