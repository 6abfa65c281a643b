#pragma once

#include <QMatrix4x4>
#include <QPointF>
#include <QSize>
#include <QSizeF>
#include <QVector3D>

// The camera of the 3D view: turn, zoom and pan set by the mouse, and the
// matrices the renderer and the picking derive from them.
//
// Spaces: platform millimetres are shrunk by the scene matrix into the
// renderer's model space, where the largest edge of the build volume is one
// unit; the view matrix turns model space into eye space and the projection
// into normalised device coordinates (ndc, −1 … 1 across the view).
//
// Plain data, no locks: the GUI thread changes it, the renderer receives a
// copy of the matrices while the GUI thread is blocked.
class Camera
{
public:
    int viewRotateZ = 0;    // degrees about the vertical axis
    int viewRotateY = 0;    // degrees about the y axis
    float viewScale = 1.0f; // zoom factor, unbounded
    float viewPanX = 0.0f;  // shift of the picture, ndc
    float viewPanY = 0.0f;
    // What rotate has not yet turned, degrees below one: a slow drag at a
    // device pixel ratio above 1 moves by fractions of a logical pixel.
    QPointF turnRemainder;

    // Scale by 1 / the largest edge of the build volume (mm).
    static QMatrix4x4 sceneMatrix(const QVector3D &buildVolume);
    // The fixed part of the view: the platform seen from the front, above.
    static QMatrix4x4 baseView();
    // baseView · scale · turn about y · turn about z · 45° about z.
    QMatrix4x4 viewMatrix() const;
    // Pan · perspective (45° vertical, near 0.1, far 100). A viewport without
    // height (minimised window) gets the aspect 1 rather than a division by zero.
    QMatrix4x4 projectionMatrix(const QSize &viewport) const;

    // The picture follows a mouse move of delta pixels over a view of size
    // view (pixels); nothing for an empty view.
    void pan(const QPointF &delta, const QSizeF &view);
    // One degree per pixel: horizontal moves turn about z, vertical about y;
    // fractions of a pixel add up over the calls.
    void rotate(const QPointF &delta);
    // The scene grows (zoomOut) or shrinks (zoomIn) by a factor 1.1.
    void zoomOut();
    void zoomIn();
    // One step per wheel event whatever its size: away from the user zooms
    // out (grows). Returns false for a delta without vertical part.
    bool wheel(const QPointF &angleDelta);
    void reset();

    // Platform move (mm) that keeps a point on the plane through the platform
    // origin parallel to the screen under the mouse from pixel `from` to pixel
    // `to` of a view of size view (pixels).
    QVector3D dragDelta(const QMatrix4x4 &sceneMatrix, const QSize &viewport, const QSizeF &view,
                        const QPointF &from, const QPointF &to) const;

    // Pixel (origin top left) to ndc over a view of size view; (0, 0) for an empty view.
    static QPointF toNdc(const QPointF &pixel, const QSizeF &view);
};
