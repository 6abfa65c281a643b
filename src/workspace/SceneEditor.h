#pragma once

#include "geometry/Hollowing.h"

#include <QList>
#include <QVector3D>

class Model;
class Scene;
struct DrainHole;
struct LcdSpec;
namespace CWS {
class Support;
class SupportConfig;
struct SupportPlacement;
}

// The editing commands of the scene, each one small operation that a user
// action makes: move, scale, rotate, flip, copy, delete, support columns,
// base plates and the automatic layout. Supports and base plates follow
// their model. Lengths in mm, angles in degrees. GUI thread only; the
// caller refuses edits while a run reads the scene.
class SceneEditor
{
public:
    explicit SceneEditor(Scene &scene);

    // Places model at translate; its supports are re-fitted to the new height.
    void moveTo(Model &model, const QVector3D &translate);
    // Moves model across the platform (a drag step).
    void moveBy(Model &model, float dx, float dy);
    // Rests model on the plate (or its base plate); returns its translate z.
    float dropToFloor(Model &model);
    // Scale, rotate and flip keep the model's lowest point at its height: a
    // model resting on the plate (or on its base plate) rests there again, a
    // raised one stays as high, its supports re-fitted.
    void scale(Model &model, const QVector3D &scale);
    void rotate(Model &model, const QVector3D &degrees);
    // Mirrors model with its supports and base: axis 1 = x, 2 = y, 3 = z.
    void flip(Model &model, int axis);

    // Appends a copy of source (a normal model) beside it, +y, at the first
    // of the steps 1, 2, ... (the source's depth with its plate and
    // supports, plus 3 mm) where it keeps 1 mm from every other model with
    // theirs; then a new base plate of the source's thickness when the
    // source has one, then copies of its supports; returns what it
    // appended, in that order.
    QList<Model *> copy(Model &source);
    // Deletes model with its base plate and supports.
    void remove(Model *model);

    // Replaces model's base plate (the old one leaves the scene) by a new
    // TYPE_BASE box reaching 2 mm beyond the model's footprint on every
    // side, from z = 0 to z = thickness on the platform, and appends it. A
    // model reaching below the plate's top is raised to rest on it, its
    // supports lengthened; one above it keeps its height.
    Model *addBasePlate(Model &model, float thickness);
    // A new base plate under every normal model, in list order.
    void addBasePlates(float thickness);

    // Appends a support column of config's shape and of length standing on
    // the platform at x, y for owner. The caller finishes it: the column is
    // still in platform coordinates while its translate is the owner's
    // (bakeInverseTransform, then a forced updateBounds).
    CWS::Support *addSupport(float x, float y, float length, Model *owner, const CWS::SupportConfig *config);
    // An automatic support: a finished column of length standing at x, y.
    CWS::Support *addColumn(float x, float y, float length, Model *owner, const CWS::SupportConfig *config);
    // A support placed by a click: a finished column whose tip touches point
    // (platform mm), its head turned to the surface normal there.
    CWS::Support *addSupportUnder(const QVector3D &point, const QVector3D &normal, Model *owner,
                                  const CWS::SupportConfig *config);

    // A tipped column of config's shape for owner, finished, as placed.
    CWS::Support *addTippedSupport(const CWS::SupportPlacement &placement, Model *owner,
                                   const CWS::SupportConfig *config);
    // Deletes every support column of model (its base plate stays); false
    // when it had none.
    bool removeSupports(Model &model);

    // Hollows model with a wall of wallMm (clamped to Hollowing's range) and
    // lattice (its values clamped to Lattice's), or makes it solid with 0,
    // which drops its lattice and drain holes too. The cavity is left to be
    // made (see CavityBuilds). False when nothing changes.
    bool hollow(Model &model, float wallMm, Lattice lattice = {});
    // Adds to model the drain hole given in platform coordinates: position
    // on the surface, direction into the model.
    void addDrainHole(Model &model, const DrainHole &onPlatform);
    // Removes model's drain hole index; false when there is none.
    bool removeDrainHole(Model &model, int index);

    // Arranges every normal model on lcd's platform without overlap, largest
    // first, each upright or turned by 90° about z, with a margin of 20
    // display pixels, and centres the arrangement. A model is packed by what
    // it covers together with its base plate and supports
    // (ModelOutline::of), the margin counted from that outline's edge, and
    // turns with them (ModelOutline::turnQuarter). False, with nothing
    // moved, when not every model finds a place.
    bool layout(const LcdSpec &lcd);

private:
    // Moves model up or down so that its lowest point is at z = lowest (mm).
    static void keepLowestAt(Model &model, float lowest);

    Scene &m_scene;
};
