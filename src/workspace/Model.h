#pragma once

#include "slicing/SliceSegment.h"
#include "workspace/MeshData.h"

#include <QList>
#include <QMetaType>
#include <QOpenGLFunctions>
#include <QMatrix4x4>
#include <QString>
#include <QUrl>
#include <QVector3D>

#include <list>
#include <memory>
#include <optional>
#include <vector>

class QDataStream;
struct aiMesh;
struct aiNode;
struct aiScene;

// Kind of a scene object. TYPE_FRAME is never stored in a model: the renderer
// passes it to the shaders while drawing the platform frame.
enum ModelType {
    TYPE_NORMAL = 0,
    TYPE_SUPPORT = 1,
    TYPE_BASE = 2,
    TYPE_FRAME = 100
};

// One object on the build platform: a mesh in its own coordinates (mm) and a
// transform that places it in platform coordinates (mm, z up, plate at z = 0,
// plate centre at x = y = 0). Loaded meshes, support columns and base plates
// are all Models; the model manager's list owns every one of them.
//
// All members are used on the GUI thread; worker threads only read the mesh,
// the matrix and the bounds while the manager's status forbids editing. The
// GL members run on the render thread while the GUI thread is blocked.
class Model : protected QOpenGLFunctions
{
public:
    explicit Model(int type);
    // Copy for copyWithAttachments: a normal model shares the source's mesh,
    // any other type gets its own deep copy. Name gets "_copy" appended; the
    // bounds are recomputed.
    Model(const Model &source);
    Model &operator=(const Model &) = delete;
    // Unlinks a support from its owner's supports and a base from its owner.
    virtual ~Model();

    // The object's block of a project file (see ProjectFile): type, name
    // (UTF-8, at most 64 bytes, cut between characters), the vertices with
    // positions placed by the model matrix and normals turned with them,
    // the triangle indices. The stream's byte order and precision are the
    // caller's.
    virtual void write(QDataStream &stream) const;
    // Replaces type, name and mesh by the block read from stream, written by
    // project format major.minor; the transform stays the identity and the
    // pivot becomes the centroid, as for a model just loaded. False, leaving
    // the model unusable, when the block is truncated or damaged: a count
    // larger than the rest of the stream can hold, an index outside the
    // vertices, a coordinate that is not finite or beyond maxCoordinateMm, an
    // index count that is zero or not a multiple of three.
    virtual bool read(QDataStream &stream, int major, int minor);

    // Largest distance from the origin (mm) of a vertex as an STL file
    // stores it; a file reaching further is taken for damaged.
    static constexpr float maxCoordinateMm = 1e6f;

    // Reads an STL file, every solid of a text file into the one mesh
    // (with BinaryStl or TextStl, through assimp the files they leave to it
    // and the files whose normals are made anew), and places it:
    // vertex positions are rewritten so that the model rests on z = 0 with
    // its centroid at x = y = 0, pivot becomes the centroid, and a model
    // taller than 200 mm gets the scale 130 mm / height (bounds left dirty).
    // smooth asks for smoothed vertex normals instead of face normals;
    // forceNewNormals discards the normals stored in the file; a normal that
    // is not a number becomes zero. Returns false, with the model unusable
    // and, when problem is given, the reason in words for the user, when the
    // file cannot be read or is damaged (see StlCheck), has no faces, or has
    // a coordinate that is not a number or beyond maxCoordinateMm.
    bool load(const QUrl &url, bool smooth, bool forceNewNormals, QString *problem = nullptr);
    // The part of load that goes through assimp: reads the file with the
    // steps and normals load describes and copies all its meshes.
    bool readWithAssimp(bool smooth, bool forceNewNormals, QString *problem);
    // Appends every mesh of node and its children, depth first; true when
    // the model has triangles then.
    bool processAssimpNode(const aiNode *node, const aiScene *scene);
    // Appends the mesh's vertices and triangles; faces that are not
    // triangles are dropped, and so is any face naming a missing vertex.
    bool processAssimpMesh(const aiMesh *mesh);
    // True when the first three vertex normals are all exactly zero (or there
    // are no vertices): the file stored no usable normals. False without a mesh.
    bool normalsAreZero() const;

    // Recomputes boundMin/boundMax, center, radius and volume when dirty (or
    // when forced). The volume counts vertices below the plate as lying on it.
    void updateBounds(bool force = false);

    // Appends to segments where the horizontal plane at height z (mm,
    // platform coordinates) cuts the mesh, one segment per cut triangle, in
    // triangle order; returns how many it appended. Nothing when z lies
    // outside the bounds. A triangle touching the plane from above in one
    // vertex gives a zero-length segment there, one with an edge in the plane
    // and its third vertex above gives that edge; triangles in the plane or
    // below it give nothing.
    // With buildGeometry true it also fills layerCache[layerIndex] (which
    // must exist) with the part of the mesh strictly below z: whole
    // triangles below, and a cut triangle's part below as one or two
    // triangles whose new corners lie on the plane, in mesh coordinates,
    // with the normal of the cut edge's first corner.
    int sliceAt(int layerIndex, float z, std::vector<SliceSegment> &segments, bool buildGeometry);
    // Slice preview: makes layerCache[layer] hold the mesh cut at height z
    // (mm) unless it already does ("use cached slice data"), and marks the
    // layer as the most recently used. At most 12 layers keep geometry; the
    // least recently used beyond that are emptied. A layer outside
    // layerCache is left alone.
    void buildLayerGeometry(int layer, float z);
    // Point where the edge from a to b (mm) meets plane z, or none. An edge
    // in the plane meets nothing; an end on the plane counts only when the
    // other end is above it.
    static std::optional<QVector3D> intersectEdge(const QVector3D &a, const QVector3D &b, float z);
    // Where plane z meets the triangle with the given corners (mm): edge 0
    // (corner 0 to 1), then edge 1 (1 to 2), and edge 2 (2 to 0) only when
    // one of them met it. edgeHit[e] receives edge e's point or none, hits
    // the points found in that order; returns how many (2 for a cut).
    static int cutTriangle(const QVector3D corner[3], float z, std::optional<QVector3D> edgeHit[3],
                           QVector3D hits[3]);

    // Model-to-platform transform:
    // T(pivot + translate) * S(scale) * Rx * Ry * Rz * T(-pivot), angles in degrees.
    QMatrix4x4 modelMatrix() const;
    // Point in model coordinates mapped by the manager's scene matrix and the model matrix.
    QVector3D mapToScene(const QVector3D &point) const;
    // Replaces every vertex position p by modelMatrix()^-1 * p. Only for
    // supports and bases, which own their mesh.
    void bakeInverseTransform();

    void setTranslate(float x, float y, float z);
    void translateBy(float dx, float dy, float dz);
    // Carries the owner's translation to its supports and base; dz is the
    // owner's change of height (mm), over which every support column is
    // re-fitted between the platform and the model (CWS::Support::followOwnerZ).
    void syncAttachments(float dz);
    // Rests the model on the plate (or on its base plate) moving it up or down;
    // returns the new translate z (mm).
    float dropToFloor();
    // Lowers a model without supports that floats above the floor; leaves any
    // other model where it is.
    void settleIfFloating();
    // Mirrors the model along axis 1 = x, 2 = y, 3 = z, together with its base
    // and supports. A mesh shared with copies is detached first.
    void flip(int axis);
    // A placed copy (the first entry, +y beside the source), a new base plate
    // of the source's thickness when the source has one, then copies of the
    // supports. Only for TYPE_NORMAL models; the caller adds them to the list.
    QList<Model *> copyWithAttachments();
    // Replaces this model's base plate (the old one is removed from the
    // manager's list and deleted) by a new TYPE_BASE box reaching 2 mm beyond
    // the model's footprint on every side, from z = 0 to z = thickness (mm)
    // on the platform. A model reaching below the plate's top is raised to
    // rest on it, its supports lengthened; one above it keeps its height.
    // Returns the plate, not yet in the list.
    Model *makeSupportBase(float thickness);
    // Asks the model manager to remove and delete the base and every support.
    void removeAllSupports();

    // Needs a current OpenGL context. Creates vbo and ibo on first use and,
    // unless buffersValid, fills them: with the mesh, or, while the preview
    // shows a slice layer that cuts this model, with the mesh followed by
    // that layer's cut-away geometry. Leaves both buffers unbound.
    void uploadBuffers();
    // Needs the context the buffers were made in; zeroes vbo and ibo.
    void releaseBuffers();
    // Colour of the model in the view, components 0..1: grey, blue-grey when
    // selected; a selected support or base is yellow, a new one red.
    QVector3D drawColor() const;

    int type;
    std::shared_ptr<MeshPrimitiveData> mesh;
    bool loaded = false;
    bool buffersValid = false;
    bool dirty = true;
    QVector3D boundMin{1e9f, 1e9f, 1e9f};
    QVector3D boundMax{-1e9f, -1e9f, -1e9f};
    QVector3D pivot;
    QVector3D center;
    float radius = 0;
    float volume = 0; // mL
    QString name = QStringLiteral("Model");
    Model *owner = nullptr;
    int copyCount = 0;
    // GL buffer names, 0 = not yet created. They are not deleted with the
    // model: the manager hands them to the render thread, which owns the context.
    GLuint vbo = 0;
    GLuint ibo = 0;
    int indexCount = 0;
    QUrl url;
    bool selected = false;
    QVector3D translate;
    QVector3D scale{1, 1, 1};
    QVector3D rotate; // degrees
    Model *base = nullptr;
    float baseThickness = 0; // mm
    bool isNew = true;
    // Every entry is a CWS::Support: only that class makes TYPE_SUPPORT models.
    std::vector<Model *> supports;
    std::vector<LayerGeometry> layerCache;
    std::list<int> layerCacheOrder;

private:
    // Layers whose preview geometry is kept, the most recently shown ones.
    static constexpr size_t maxCachedLayers = 12;
    // Makes layer the most recently used entry of layerCacheOrder.
    void touchLayer(int layer);
};

Q_DECLARE_METATYPE(Model *)
