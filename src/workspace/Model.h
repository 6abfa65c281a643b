#pragma once

#include "workspace/MeshData.h"

#include <QList>
#include <QMetaType>
#include <QMatrix4x4>
#include <QString>
#include <QUrl>
#include <QVector3D>

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
// are all Models; the model manager's list owns every one of them.
//
// All members are used on the GUI thread; worker threads only read the mesh,
// the matrix and the bounds while the manager's status forbids editing.
class Model
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

    // Recomputes boundMin/boundMax, center, radius and volume when dirty (or
    // when forced). The volume counts vertices below the plate as lying on it.
    void updateBounds(bool force = false);

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
    // owner's change of height (mm).
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
    // A placed copy (the first entry, +y beside the source) followed by copies
    // of the supports. Only for TYPE_NORMAL models.
    QList<Model *> copyWithAttachments();
    // Asks the model manager to remove and delete the base and every support.
    void removeAllSupports();

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
    QUrl url;
    bool selected = false;
    QVector3D translate;
    QVector3D scale{1, 1, 1};
    QVector3D rotate; // degrees
    Model *base = nullptr;
    float baseThickness = 0; // mm
    bool isNew = true;
    std::vector<Model *> supports;
    std::vector<LayerGeometry> layerCache;
    std::list<int> layerCacheOrder;
};

Q_DECLARE_METATYPE(Model *)
