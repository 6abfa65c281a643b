#pragma once

// Where platform points appear in the model manager's 3D view. Header-only.

#include "workspace/Camera.h"
#include "workspace/KaloModel.h"

#include <QPoint>
#include <QSize>
#include <QVector3D>

namespace ViewProbe {

// Pixel (origin top left) of a platform point (mm) in a view of size view.
inline QPoint pixelOf(const KaloModel &manager, const QSize &view, const QVector3D &mm)
{
    const Camera &camera = manager.camera();
    const QVector3D ndc = (camera.projectionMatrix(view) * camera.viewMatrix() * manager.sceneMatrix()).map(mm);
    return QPoint(int((ndc.x() + 1.0f) * view.width() / 2.0f), int((1.0f - ndc.y()) * view.height() / 2.0f));
}

// The outward normal of the side face of a box centred on the z axis that
// the camera sees most directly.
inline QVector3D sideFacingTheEye(const KaloModel &manager)
{
    const QVector3D eye = manager.sceneMatrix().inverted().map(manager.camera().viewMatrix().inverted().map(QVector3D()));
    QVector3D best;
    for (const QVector3D &normal : {QVector3D(1, 0, 0), QVector3D(-1, 0, 0), QVector3D(0, 1, 0), QVector3D(0, -1, 0)}) {
        if (best.isNull() || QVector3D::dotProduct(normal, eye) > QVector3D::dotProduct(best, eye))
            best = normal;
    }
    return best;
}

} // namespace ViewProbe
