#include "workspace/Camera.h"

#include <algorithm>

QMatrix4x4 Camera::sceneMatrix(const QVector3D &buildVolume)
{
    const float largest = std::max({buildVolume.x(), buildVolume.y(), buildVolume.z()});
    QMatrix4x4 matrix;
    matrix.scale(1.0f / largest);
    return matrix;
}

QMatrix4x4 Camera::baseView()
{
    QMatrix4x4 view;
    view.translate(0.0f, -0.6f, -3.0f);
    view.rotate(-75.0f, 1.0f, 0.0f, 0.0f);
    view.rotate(-90.0f, 0.0f, 0.0f, 1.0f);
    view.scale(1.5f);
    return view;
}

QMatrix4x4 Camera::viewMatrix() const
{
    QMatrix4x4 view = baseView();
    view.scale(viewScale);
    view.rotate(float(viewRotateY), 0.0f, 1.0f, 0.0f);
    view.rotate(float(viewRotateZ), 0.0f, 0.0f, 1.0f);
    view.rotate(45.0f, 0.0f, 0.0f, 1.0f);
    return view;
}

QMatrix4x4 Camera::projectionMatrix(const QSize &viewport) const
{
    const float aspect = viewport.height() > 0 ? float(viewport.width()) / float(viewport.height()) : 1.0f;
    QMatrix4x4 projection;
    // Applied after the perspective, the shift moves the picture in ndc.
    projection.translate(viewPanX, viewPanY, 0.0f);
    projection.perspective(45.0f, aspect, 0.1f, 100.0f);
    return projection;
}

void Camera::pan(const QPointF &delta, const QSizeF &view)
{
    if (view.isEmpty())
        return;
    viewPanX += float(2.0 * delta.x() / view.width());
    viewPanY -= float(2.0 * delta.y() / view.height());
}

void Camera::rotate(const QPointF &delta)
{
    turnRemainder += delta;
    const int z = int(turnRemainder.x());
    const int y = int(turnRemainder.y());
    viewRotateZ += z;
    viewRotateY += y;
    turnRemainder -= QPointF(z, y);
}

void Camera::zoomOut()
{
    viewScale *= 1.1f;
}

void Camera::zoomIn()
{
    viewScale /= 1.1f;
}

bool Camera::wheel(const QPointF &angleDelta)
{
    const double steps = angleDelta.y() / 120.0;
    if (steps > 0)
        zoomOut();
    else if (steps < 0)
        zoomIn();
    return steps != 0;
}

void Camera::reset()
{
    *this = Camera();
}

QVector3D Camera::dragDelta(const QMatrix4x4 &sceneMatrix, const QSize &viewport, const QSizeF &view,
                            const QPointF &from, const QPointF &to) const
{
    const QMatrix4x4 toNdcSpace = projectionMatrix(viewport) * viewMatrix() * sceneMatrix;
    const float depth = toNdcSpace.map(QVector3D()).z();
    const QMatrix4x4 toPlatform = toNdcSpace.inverted();
    const QPointF a = toNdc(from, view);
    const QPointF b = toNdc(to, view);
    return toPlatform.map(QVector3D(float(b.x()), float(b.y()), depth))
           - toPlatform.map(QVector3D(float(a.x()), float(a.y()), depth));
}

QPointF Camera::toNdc(const QPointF &pixel, const QSizeF &view)
{
    if (view.isEmpty())
        return {};
    return {2.0 * pixel.x() / view.width() - 1.0, 1.0 - 2.0 * pixel.y() / view.height()};
}
