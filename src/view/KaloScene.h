#pragma once

#include <QMetaObject>
#include <QQuickItem>
#include <QUrl>

#include <memory>

class QQuickWindow;
class SceneRenderer;

// The QML item ("Kalo3DScene") under which the 3D scene is painted with
// OpenGL. It draws no QML node itself: it hooks its window's rendering so
// that its SceneRenderer paints the model manager's scene before the QML
// controls are drawn over it, hands the manager the view's size, asks for
// frames when the scene changes and passes on the files dropped on it. One
// instance, created by the main window.
//
// sync, paint and cleanup run on the render thread (direct connections),
// sync and cleanup while the GUI thread is blocked; everything else runs on
// the GUI thread.
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
    // Connects the window's rendering to paint on first use, then hands the
    // manager the view's size and the renderer what the next frames draw:
    // the camera, the models and the slice preview's layer.
    void sync();
    // Draws the frame the last sync prepared.
    void paint();
    // The window's OpenGL context is going: every GL object of the scene is
    // freed; a later frame makes them anew.
    void cleanup();
    // Schedules a new frame of the item's window; nothing without a window.
    void updateView();

Q_SIGNALS:
    // A file was dropped on the view; start-up has it opened as File → Open
    // would.
    void fileDropped(const QUrl &url);

protected:
    // A drag is accepted when it carries URLs; fileDropped announces the
    // dropped URLs one after the other, in their order.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QMetaObject::Connection m_paintConnection;
    std::unique_ptr<SceneRenderer> m_renderer;
};
