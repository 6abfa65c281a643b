#include "workspace/ViewInput.h"

#include "geometry/Model.h"
#include "settings/DeviceDescriptor.h"
#include "workspace/KaloModel.h"

#include <QDebug>

ViewInput::ViewInput(KaloModel &manager)
    : m_manager(manager)
{
    const DeviceDescriptor device;
    m_sceneMatrix = Camera::sceneMatrix(QVector3D(device.x, device.y, device.z));
}

void ViewInput::setBuildVolume(const QVector3D &volume)
{
    m_sceneMatrix = Camera::sceneMatrix(volume);
}

void ViewInput::setViewport(const QSize &viewportSize, qreal devicePixelRatio)
{
    m_viewportSize = viewportSize;
    m_devicePixelRatio = devicePixelRatio;
}

QSizeF ViewInput::viewSize() const
{
    return QSizeF(m_viewportSize) / m_devicePixelRatio;
}

std::vector<PickHit> ViewInput::pick(const QPointF &pixel, int typeFilter) const
{
    const QSizeF view = viewSize();
    if (view.isEmpty())
        return {};
    const PickRay ray = Picking::rayThroughPixel(pixel, view, m_camera.viewMatrix(),
                                                 m_camera.projectionMatrix(m_viewportSize));
    return Picking::pickObjects(ray, m_manager.models(), typeFilter, m_sceneMatrix);
}

void ViewInput::clicked(uint button, const QPointF &pixel)
{
    const KaloModel::ModelStatus status = m_manager.status();
    if (button != Qt::LeftButton || (status != KaloModel::MODEL_LOADED && status != KaloModel::MODEL_SHOW_SLICE))
        return;
    if (m_dragState >= Dragging) {
        m_dragState = Idle;
        return;
    }
    if (m_manager.manualAddingSupport()) {
        manualSupportClick(pixel);
        return;
    }
    if (m_manager.drainHoleMode()) {
        const std::vector<PickHit> hits = pick(pixel, TYPE_NORMAL);
        if (!hits.empty())
            m_manager.addDrainHoleAt(hits.front());
        return;
    }
    const std::vector<PickHit> hits = pick(pixel, Picking::anyType);
    if (hits.empty())
        m_manager.clearSelection(true);
    else
        m_manager.selectModel(hits.front().object);
}

void ViewInput::manualSupportClick(const QPointF &pixel)
{
    if (m_manager.refusedWhileRunning("support click"))
        return;
    // Supports and plates are not pickable here: a click on a column reaches the model behind it.
    const std::vector<PickHit> hits = pick(pixel, TYPE_NORMAL);
    if (hits.empty()) {
        m_manager.clearSelection(true);
        return;
    }
    const PickHit &hit = hits.front();
    // The first click on a model selects it, later ones add supports to it.
    if (hit.object != m_manager.selectedModel()) {
        m_manager.selectModel(hit.object);
        return;
    }
    if (hit.point.z() < 0.1f) {
        qWarning() << "support is too low, not create";
        return;
    }
    m_manager.addSupportUnder(hit);
}

void ViewInput::pressed()
{
    if (m_manager.status() == KaloModel::MODEL_LOADED)
        m_dragState = Pressed;
}

void ViewInput::released()
{
    if (m_dragState == Dragging)
        m_dragState = Released;
}

void ViewInput::moved(uint button, const QPointF &from, const QPointF &pre, const QPointF &to)
{
    const QPointF delta = to - pre;
    if (button == Qt::RightButton) {
        m_camera.pan(delta, viewSize());
        repaint();
        return;
    }
    if (button != Qt::LeftButton)
        return;

    const bool previewing = m_manager.currentLayer() >= 0;
    // The first move decides what the drag does: move the model under the
    // press position, or turn the camera when there is none. A press during
    // a run never gets here (see pressed()): the camera turns, which reads
    // no model.
    if (!previewing && m_dragState == Pressed) {
        const std::vector<PickHit> hits = pick(from, TYPE_NORMAL);
        if (hits.empty()) {
            m_dragState = Idle;
        } else {
            m_dragState = Dragging;
            m_dragged = hits.front().object;
            m_manager.selectModel(m_dragged);
        }
    }
    if (m_manager.status() == KaloModel::MODEL_LOADED && !previewing && m_dragState == Dragging) {
        if (!m_manager.refusedWhileRunning("moving a model"))
            m_manager.dragBy(*m_dragged, m_camera.dragDelta(m_sceneMatrix, m_viewportSize, viewSize(), pre, to));
        return;
    }
    m_camera.rotate(delta);
    repaint();
}

void ViewInput::wheel(const QPointF &angleDelta)
{
    if (m_camera.wheel(angleDelta))
        repaint();
}

void ViewInput::zoomOut()
{
    m_camera.zoomOut();
    repaint();
}

void ViewInput::zoomIn()
{
    m_camera.zoomIn();
    repaint();
}

void ViewInput::resetCamera()
{
    m_camera.reset();
    repaint();
}

void ViewInput::forget(const Model *model)
{
    if (model != m_dragged)
        return;
    m_dragged = nullptr;
    m_dragState = Idle;
}

void ViewInput::repaint()
{
    Q_EMIT m_manager.kaloModelDataChanged();
}
