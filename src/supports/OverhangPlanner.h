#pragma once

#include "settings/SupportConfig.h"

#include <QMetaType>
#include <QRectF>
#include <QVector3D>

#include <functional>
#include <vector>

namespace CWS {

class VerticalRays;

// One tipped column: the tip runs from the knee up along axis to the
// contact on the model's surface and contactDepth beyond it into the model;
// the body stands vertically under the knee, on its foot. Platform mm.
struct SupportPlacement
{
    QVector3D contact; // on the model's surface
    QVector3D axis;    // unit, from the knee towards the contact; into the model
    QVector3D knee;    // where the tip meets the body
    float footZ = 0;   // bottom of the foot: 0 on the platform, else sunk into a model's upper surface
    float footTopZ = 0; // where the body starts, clear of every model below
    bool onModel = false;
};

// A point that needs holding but gets no column, and why.
struct UnsupportedPoint
{
    QVector3D point;
    const char *reason; // "no room under it", "beyond the platform"
};

// Points of one model that cannot be held for the same reason and lie
// close together (chains of points at most twice the spacing apart across
// the platform and in height): one place for the user to look at.
struct UnsupportedRegion
{
    QVector3D lowest; // its lowest point (mm); where it starts to print
    QRectF extent;    // x, y of its points (mm); a single point's is empty
    float topZ = 0;   // its highest point (mm)
    int points = 0;
    const char *reason = nullptr;
};

// Decides where "Islands and overhangs" holds a model and how each column
// reaches the model, from the triangles alone (no layer images).
//
// Held are, for every model: the lowest points of every part that starts
// in mid-air (local minima of the surface with material above, a minimum
// edge every spacing along it), and every face whose normal points more
// than criticalAngle below the horizontal. Such faces get contacts on a
// triangular lattice of the preset's spacing in x and y, and then wherever
// a face is still farther than spacing / sqrt(3) from a contact (so small
// faces get at least one, narrow ones a row along their length); on faces
// within 10 degrees of flat that distance is at most 1.75 mm, which keeps
// every pixel of a flat overhang within 2 mm of a tip. Points lower than
// 0.5 mm print on the first layers and get none.
//
// Each column's tip meets the model along the surface normal (leaning at
// most 50 degrees from vertical; upright where leaning would put the foot
// off the platform); its body goes straight down from the knee
// to the platform, or to the upper surface of whatever model lies below,
// where it stands on a small foot sunk contactDepth into it. Rays at the
// foot's rim keep the body out of every model's material.
class OverhangPlanner
{
public:
    // scene: every model that may stand in a column's way. platform: the
    // area columns may stand on (mm).
    OverhangPlanner(const SupportShape &shape, const VerticalRays &scene, const QRectF &platform);

    // The columns model (an index of the scene's models) needs, lowest
    // contacts first. Points that cannot be held are added to unsupported().
    // Stops early, returning what it has, when cancelled returns true.
    std::vector<SupportPlacement> plan(int model, const std::function<bool()> &cancelled = {});

    // The column for one contact point with the outward surface normal
    // there; false when no column fits (unsupported() says why) or the point
    // needs none because material lies right under it.
    bool place(const QVector3D &contact, const QVector3D &normal, SupportPlacement &out);

    const std::vector<UnsupportedPoint> &unsupported() const { return m_unsupported; }
    // unsupported() grouped into regions, lowest first.
    std::vector<UnsupportedRegion> unsupportedRegions() const;

    static constexpr float minimumHeight = 0.5f; // mm

private:
    SupportShape m_shape;
    const VerticalRays &m_scene;
    QRectF m_platform;
    std::vector<UnsupportedPoint> m_unsupported;
};

} // namespace CWS

Q_DECLARE_METATYPE(CWS::SupportPlacement)
Q_DECLARE_METATYPE(CWS::UnsupportedRegion)
