#pragma once

class Model;
class QDataStream;

// One object's block of a project file (see ProjectFile). The stream's byte
// order and precision are the caller's.
namespace ObjectBlock {

// A support column (TYPE_SUPPORT, always a CWS::Support) first writes its
// own fields: actualFootHeight, actualHeadHeight, bodyIndexBegin, indexEnd,
// footIndexBegin, headIndexBegin, the five ring starts foot ring first.
// Every object then writes: type, name (UTF-8, at most 64 bytes, cut
// between characters), the vertices with positions placed by the model
// matrix and normals turned with them, the triangle indices.
void write(QDataStream &stream, const Model &model);

// Reads the block written by project format major.minor into model, whose
// type says which block to expect (a TYPE_SUPPORT model must be a
// CWS::Support): replaces type, name and mesh; the transform stays the
// identity and the pivot becomes the centroid, as for a model just loaded.
// False, leaving the model unusable, when the block is truncated or
// damaged: a count larger than the rest of the stream can hold, an index
// outside the vertices, a coordinate that is not finite or beyond
// Model::maxCoordinateMm, an index count that is zero or not a multiple of
// three, or a support whose ring starts and index counts do not lie, in
// order, within the mesh read (re-fitting the column must stay inside it).
bool read(QDataStream &stream, Model &model, int major, int minor);

} // namespace ObjectBlock
