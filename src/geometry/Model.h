#pragma once

#include "geometry/Hollowing.h"
#include "geometry/MeshData.h"
#include "geometry/ModelCavity.h"

#include <QList>
#include <QMatrix4x4>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVector3D>
#include <QVector4D>

#include <list>
#include <memory>
#include <vector>


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
// are all Models; the scene's list (Scene) owns every one of them.
//
// All members are used on the GUI thread; worker threads only read the mesh,
// the matrix and the bounds while the manager's status forbids editing. The
// view fills the GL buffers on the render thread while the GUI thread is
// blocked.
class Model
{
public:
    explicit Model(int type);
    // A copy: a normal model shares the source's mesh, any other type gets
    // its own deep copy; the hollowing is copied, the cavity shared. Name
    // gets "_copy" appended; the bounds are recomputed. Links to owner, base
    // and supports are not copied.
    Model(const Model &source);
    Model &operator=(const Model &) = delete;
    // Unlinks a support from its owner's supports and a base from its owner.
    virtual ~Model();

    // Largest distance from the origin (mm) of a vertex as an STL file
    // stores it; a file reaching further is taken for damaged.
    static constexpr float maxCoordinateMm = 1e6f;

    // Reads an STL file (MeshImport::read; a second time with new normals
    // when the file stores none) and places it: vertex positions
    // are rewritten so that the model rests on z = 0 with its centroid at
    // x = y = 0, pivot becomes the centroid, and a model taller than 200 mm
    // gets the scale 130 mm / height (bounds left dirty). Returns false, with
    // the model unusable and, when problem is given, the reason in words for
    // the user, when the file cannot be read.
    bool load(const QUrl &url, bool smooth, bool forceNewNormals, QString *problem = nullptr);

    // Recomputes boundMin/boundMax, center, radius and volume when dirty (or
    // when forced). The volume counts vertices below the plate as lying on it,
    // and leaves out the cavity when it fits.
    void updateBounds(bool force = false);

    // Model-to-platform transform:
    // T(pivot + translate) * S(scale) * Rx * Ry * Rz * T(-pivot), angles in degrees.
    QMatrix4x4 modelMatrix() const;
    // Replaces every vertex position p by modelMatrix()^-1 * p. Only for
    // supports and bases, which own their mesh.
    void bakeInverseTransform();

    void setTranslate(float x, float y, float z);
    void translateBy(float dx, float dy, float dz);
    // Carries the owner's translation to its supports and base; dz is the
    // owner's change of height (mm), over which every support column is
    // re-fitted between the platform and the model (followOwnerZ). The base
    // plate follows across the platform only and stays on it.
    void syncAttachments(float dz);
    // A support column re-fits itself after its owner moved by dz (mm)
    // vertically (see CWS::Support); any other model does nothing.
    virtual void followOwnerZ(float dz);
    // Rests the model on the plate (or on its base plate) moving it up or down;
    // returns the new translate z (mm).
    float dropToFloor();
    // Lowers a model without supports that floats above the floor; leaves any
    // other model where it is, and every support column (which may stand on
    // another model's top).
    void settleIfFloating();
    // How far settleIfFloating would lower the model (mm, 0 or more).
    float floatHeight();
    // Mirrors the model along axis 1 = x, 2 = y, 3 = z, together with its base
    // and supports. A mesh shared with copies is detached first.
    void flip(int axis);

    int type;
    std::shared_ptr<MeshPrimitiveData> mesh;
    bool loaded = false;
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
    // GL buffer names, 0 = not yet created, and whether they hold the mesh
    // as it is now. They are not deleted with the model: the scene hands
    // them to the render thread, which owns the context.
    unsigned int vbo = 0;
    unsigned int ibo = 0;
    int indexCount = 0;
    bool buffersValid = false;
    QUrl url;
    bool selected = false;
    QVector3D translate;
    QVector3D scale{1, 1, 1};
    QVector3D rotate; // degrees
    Model *base = nullptr;
    float baseThickness = 0; // mm
    bool isNew = true;
    // Where the last print check found an island or overhang in it: per
    // finding x, y (platform mm) of its centre, the height (mm) where it
    // starts and the radius (mm) it covers. The view draws the model above
    // each in the warning colour.
    std::vector<QVector4D> checkMarks;
    // Hollowed models print as a shell with these drain holes.
    Hollowing hollowing;
    // The inside hollowing takes out; it counts (in the volume, in slicing)
    // only while it fits. Copies share it; a flip drops it.
    ModelCavity cavity;
    // The model is hollow and cavity was made for its wall and its scale and turns.
    bool cavityFits() const { return hollowing.isHollow() && cavity.fits(modelMatrix(), hollowing.wallMm, hollowing.lattice); }
    // Every entry is a CWS::Support: only that class makes TYPE_SUPPORT models.
    std::vector<Model *> supports;
    // Slice preview (see SlicePreview): one entry per layer, the cut-away
    // geometry of the layers shown last, and their order of use.
    std::vector<LayerGeometry> layerCache;
    std::list<int> layerCacheOrder;
};

Q_DECLARE_METATYPE(Model *)
