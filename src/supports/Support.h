#pragma once

#include "geometry/Model.h"

#include <QVector3D>

namespace CWS {

class SupportConfig;
struct SupportPlacement;

// One support column: a Model of type TYPE_SUPPORT that holds a point of its
// owner (a normal model) off the platform. The mesh is generated, never
// loaded: five rings of n = config->segments vertices each, bottom to top
//   ring 0 footBottomRing  foot bottom radius  z = 0                  + centre vertex
//   ring 1 footTopRing     foot top radius     z = actualFootHeight
//   ring 2 bodyBottomRing  foot top radius     z = actualFootHeight   (repeats ring 1)
//   ring 3 headBottomRing  head bottom radius  z = L - actualHeadHeight
//   ring 4 headTopRing     head top radius     z = L                  + centre vertex
// closed by a flat cap at each end: 5n + 2 vertices and 30n indices, every
// triangle counter-clockwise seen from outside, normals zero. Lengths in mm.
//
// Every constructed support (new or copy) is named "Support_" and the next
// number of one process-wide counter starting at 0. GUI thread only.
class Support : public Model
{
public:
    // A new empty support of owner (may be null). With an owner the support
    // joins the owner's supports and takes the owner's translate.
    explicit Support(Model *owner);
    // Copies the column with its own mesh; the caller sets the owner.
    Support(const Support &source);


    // Generates the column of length L (> 0) standing on the platform with
    // its axis on x = y = 0. Heads and feet are at most 0.4 L high each, so
    // short columns get shortened cones.
    void buildColumn(const SupportConfig *columnConfig, float length);
    // Generates a tipped column in platform coordinates with the rings of
    // buildColumn: ring 0 the foot's bottom at placement.footZ under the
    // knee, rings 1 and 2 where the body starts (footTopZ), ring 3 the
    // body's top at the knee (horizontal, all of the body's radius), ring 4
    // the tip: a circle of the tip's radius across placement.axis,
    // contactDepth beyond the contact inside the model. The foot is wider on
    // the platform (2.5 body radii) than on a model (1.6). The tip is the
    // head: it follows the owner as a head does.
    void buildTipped(const SupportConfig *columnConfig, const SupportPlacement &placement);
    // Moves the vertices transformScope chooses: 0 every vertex, 1 the head
    // (ring 3 to the last vertex), 2 foot and body (ring 0 up to ring 3
    // excluded); any other scope nothing. Neither normals nor dirty change.
    void translateScoped(float dx, float dy, float dz);
    // Re-fits the column after its owner moved by dz (mm) vertically, just
    // before the support's translate follows the owner's: the foot stays on
    // the platform and the head moves with the model, so the body stretches
    // or shrinks by dz. The body never shrinks below zero length: the head
    // then stops on the foot and reaches further into the model instead.
    // Moves smaller than the float epsilon change nothing.
    void followOwnerZ(float dz) override;
    // Tilts the head so that its tip ring, centred on point (platform mm),
    // faces along the surface normal: the head axis is
    // normalise(-normal.x, -normal.y, max(0.75, |normal.z|)), at most 53.13°
    // from vertical for a unit normal. The head's lower ring stays
    // horizontal, the foot stays on the vertical through point. Expects
    // transformScope 1 and a column built at point's x and y.
    void aimHead(const QVector3D &point, const QVector3D &normal);

    float actualFootHeight = 0; // the smaller of the configured height and 0.4 L
    float actualHeadHeight = 0;
    int transformScope = 0;           // 0 except inside operations that set it
    const SupportConfig *config = nullptr; // the settings the column was built from
    // Index counts where the parts' triangles begin and end.
    int footIndexBegin = 0;
    int bodyIndexBegin = 0;
    int headIndexBegin = 0;
    int indexEnd = 0;
    // First vertex of each ring.
    int footBottomRing = 0;
    int footTopRing = 0;
    int bodyBottomRing = 0;
    int headBottomRing = 0;
    int headTopRing = 0;

    // The ring starts and index counts describe a column inside the mesh
    // (a column read from a file must, before it is re-fitted).
    bool partsFitMesh() const;

private:
    int segmentCount() const;
    // Rewrites the n positions from first as a horizontal circle of radius
    // at height z around the z axis.
    void writeRing(int first, double radius, float z);
    // Appends the triangles over the five rings (n segments; the foot and
    // top rings each followed by their centre): foot disc, bands, tip cap,
    // and sets the index markers.
    void addTriangles(int n);
};

} // namespace CWS
