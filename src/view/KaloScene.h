#pragma once

#include <QMetaObject>
#include <QQuickItem>

class QQuickWindow;

// The QML item ("Kalo3DScene") under which the model manager paints the 3D
// scene with OpenGL. It draws nothing itself: it hooks its window's rendering
// so that the manager paints before the QML controls are drawn over it, hands
// the manager the view's size, asks for frames when the scene changes and
// opens the files dropped on it. One instance, created by the main window.
//
// sync and cleanup run on the render thread (direct connections) while the
// GUI thread is blocked; everything else runs on the GUI thread.
class KaloScene : public QQuickItem
{
    Q_OBJECT
public:
    explicit KaloScene(QQuickItem *parent = nullptr);
    ~KaloScene() override;

    // The current scene item, or null when there is none.
    static KaloScene *instance();

public Q_SLOTS:
    // Hooks a new window's synchronisation and scene-graph teardown; nothing
    // for a null window.
    void handleWindowChanged(QQuickWindow *window);
    // Connects the window's rendering to the manager's paint on first use,
    // then hands the manager the view's size in device pixels and the window.
    void sync();
    // The window's OpenGL context is going: the manager frees its GL objects.
    void cleanup();
    // Schedules a new frame of the item's window; nothing without a window.
    void updateView();

protected:
    // A drag is accepted when it carries URLs; dropped URLs are opened one
    // after the other, in their order, as File → Open would.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QMetaObject::Connection m_paintConnection;
};
