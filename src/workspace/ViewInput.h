#pragma once

#include "workspace/Camera.h"
#include "workspace/Picking.h"

#include <QList>
#include <QMatrix4x4>
#include <QPointF>
#include <QSize>
#include <QSizeF>

#include <vector>

class KaloModel;
class Model;

// What the mouse does in the 3D view, for the model manager: the camera,
// the view's size, the scene matrix of the build volume, what lies under a
// pixel, and the gestures. Buttons are numbered as Qt does (1 left, 2 right),
// positions are in the view's logical pixels, origin top left. Selecting,
// dragging a model and adding a support go through the manager, which
// refuses what its status does not allow.
//
// GUI thread, except setViewport (render thread, GUI thread blocked).
class ViewInput
{
public:
    enum DragState {
        Idle = 0,     // no left button held
        Pressed = 1,  // pressed over the view, not yet moved
        Dragging = 2, // moving a model
        Released = 3  // released after moving a model
    };

    explicit ViewInput(KaloModel &manager);

    // The view's size in device pixels and its device pixel ratio.
    void setViewport(const QSize &viewportSize, qreal devicePixelRatio);
    // The view's size in logical pixels, the unit of mouse positions.
    QSizeF viewSize() const;
    const QMatrix4x4 &sceneMatrix() const { return m_sceneMatrix; }
    // Scales the view to another build volume (mm); the models stay where
    // they are on the platform.
    void setBuildVolume(const QVector3D &volume);
    const Camera &camera() const { return m_camera; }
    DragState dragState() const { return m_dragState; }

    // Hits under the pixel of the models typeFilter admits (see
    // Picking::pickObjects), nearest first; none before the view has a size.
    std::vector<PickHit> pick(const QPointF &pixel, int typeFilter) const;

    // A left click (press and release without move) selects the nearest
    // object under the mouse, or clears the selection over empty space. In
    // manual support mode only normal models count, and a click on the
    // selected one adds a support there unless the point lies lower than
    // 0.1 mm. In drain hole mode a click on a normal model adds a drain
    // hole there. The release that ends a drag is no click.
    void clicked(uint button, const QPointF &pixel);
    void pressed();
    void released();
    // from: press position, pre: previous position, to: current position.
    // Right pans; left drags the normal model under the press position
    // across the platform, or turns the camera when the press was on empty
    // space, a slice layer is previewed or a run is going.
    void moved(uint button, const QPointF &from, const QPointF &pre, const QPointF &to);
    // One zoom step per wheel event (see Camera::wheel).
    void wheel(const QPointF &angleDelta);
    void zoomOut();
    void zoomIn();
    void resetCamera();

    // model leaves the scene: a drag of it ends.
    void forget(const Model *model);

private:
    void manualSupportClick(const QPointF &pixel);
    void repaint();

    KaloModel &m_manager;
    QSize m_viewportSize; // device pixels
    qreal m_devicePixelRatio = 1;
    QMatrix4x4 m_sceneMatrix;
    Camera m_camera;
    DragState m_dragState = Idle;
    Model *m_dragged = nullptr;
};
