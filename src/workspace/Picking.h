#pragma once

#include <QList>
#include <QMatrix4x4>
#include <QPointF>
#include <QSizeF>
#include <QVector3D>

#include <array>
#include <optional>
#include <vector>

class Model;

// A ray in the renderer's model space (platform mm shrunk by the scene
// matrix, see Camera); direction is a unit vector.
struct PickRay
{
    QVector3D origin;
    QVector3D direction;
};

// One ray/triangle intersection.
struct PickHit
{
    PickRay ray;
    Model *object = nullptr;
    // The stored normal of the triangle's first vertex turned by the object's
    // rotation angles; unit length.
    QVector3D normal;
    std::array<QVector3D, 3> triangle; // corners after the object's transform, mm
    QVector3D point;                   // hit point, platform mm
    float distance = 0;                // from the ray origin, model-space units
};

namespace Picking {

// Type filter that admits objects of every type.
constexpr int anyType = 4;

// Ray from the eye through pixel (origin top left) of a view of size view
// (pixels), for the given view and projection matrices.
PickRay rayThroughPixel(const QPointF &pixel, const QSizeF &view, const QMatrix4x4 &viewMatrix,
                        const QMatrix4x4 &projection);

// Möller–Trumbore: the ray parameter t of the hit with triangle c1 c2 c3,
// front or back face; none for a ray parallel to the triangle's plane, a
// miss, or a hit behind or at the origin.
std::optional<float> intersectTriangle(const PickRay &ray, const QVector3D &c1, const QVector3D &c2,
                                       const QVector3D &c3);

// Every hit of the ray with the triangles of the models admitted by
// typeFilter (a ModelType, or anyType), nearest first; hits at equal
// distance keep list order. Models are placed by sceneMatrix × their model
// matrix. Logs "match a model" with the list index of each object hit.
std::vector<PickHit> pickObjects(const PickRay &ray, const QList<Model *> &models, int typeFilter,
                                 const QMatrix4x4 &sceneMatrix);

} // namespace Picking
