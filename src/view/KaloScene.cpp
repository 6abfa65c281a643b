#include "view/KaloScene.h"

#include "slicing/HappensBefore.h"
#include "view/SceneRenderer.h"
#include "workspace/KaloModel.h"

#include <QDebug>
#include <QMimeData>
#include <QQuickWindow>
#include <QThread>

namespace {
KaloScene *g_instance = nullptr;
}

KaloScene::KaloScene(QQuickItem *parent)
    : QQuickItem(parent)
    , m_renderer(std::make_unique<SceneRenderer>())
{
    qDebug() << QThread::currentThreadId() << "KaloScene construct";
    g_instance = this;
    connect(this, &QQuickItem::windowChanged, this, &KaloScene::handleWindowChanged);
    setFlag(ItemAcceptsDrops, true);
}

KaloScene::~KaloScene()
{
    qDebug() << QThread::currentThreadId() << "KaloScene::~KaloScene()";
    if (g_instance == this)
        g_instance = nullptr;
}

KaloScene *KaloScene::instance()
{
    return g_instance;
}

void KaloScene::handleWindowChanged(QQuickWindow *window)
{
    qDebug() << QThread::currentThreadId() << "handleWindowChanged, win: " << window;
    if (!window)
        return;
    connect(window, &QQuickWindow::beforeSynchronizing, this, &KaloScene::sync, Qt::DirectConnection);
    // The GUI thread's last signal before it waits for the synchronisation;
    // Qt's locks order the two, unseen by ThreadSanitizer.
    connect(window, &QQuickWindow::afterAnimating, this, [window] { happensBefore(window); }, Qt::DirectConnection);
    connect(window, &QQuickWindow::sceneGraphInvalidated, this, &KaloScene::cleanup, Qt::DirectConnection);
    // The scene graph must not clear away the 3D view drawn before it.
    window->setClearBeforeRendering(false);
}

void KaloScene::sync()
{
    happensAfter(window());
    KaloModel *manager = KaloModel::instance();
    if (!manager || !window())
        return;
    // Direct: the scene is painted on the render thread, after this sync and
    // before the QML scene graph draws its own nodes.
    if (!m_paintConnection) {
        m_paintConnection = connect(window(), &QQuickWindow::beforeRendering, this, &KaloScene::paint,
                                    Qt::DirectConnection);
    }
    const qreal ratio = window()->devicePixelRatio();
    const QSize viewport(int(ratio * width()), int(ratio * height()));
    manager->setViewport(viewport, ratio);
    for (const unsigned int buffer : manager->scene().takeRetiredBuffers())
        m_renderer->retireBuffer(buffer);
    const QVector3D buildVolume = manager->buildVolume();
    const Camera &camera = manager->camera();
    m_renderer->synchronize({viewport, buildVolume, manager->sceneMatrix(),
                             camera.viewMatrix(), camera.projectionMatrix(viewport), window(),
                             manager->currentLayer(), manager->currentLayerHeight()},
                            manager->models());
}

void KaloScene::paint()
{
    m_renderer->paint();
}

void KaloScene::cleanup()
{
    qDebug() << QThread::currentThreadId() << "KaloScene::cleanup()";
    const KaloModel *manager = KaloModel::instance();
    m_renderer->releaseGraphics(manager ? manager->models() : QList<Model *>());
}

void KaloScene::updateView()
{
    if (window())
        window()->update();
}

void KaloScene::dragEnterEvent(QDragEnterEvent *event)
{
    qDebug() << "KaloScene::dragEnterEvent";
    dragMoveEvent(event);
}

void KaloScene::dragMoveEvent(QDragMoveEvent *event)
{
    // Which files are understood is for KaloApp::open to decide.
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(event->proposedAction());
        event->accept();
    } else {
        event->ignore();
    }
}

void KaloScene::dragLeaveEvent(QDragLeaveEvent *event)
{
    Q_UNUSED(event)
    qDebug() << "KaloScene::dragLeaveEvent";
    unsetCursor();
}

void KaloScene::dropEvent(QDropEvent *event)
{
    qDebug() << "KaloScene::dropEvent";
    for (const QUrl &url : event->mimeData()->urls()) {
        qDebug() << "Dropped file:" << url;
        Q_EMIT fileDropped(url);
    }
    event->acceptProposedAction();
    unsetCursor();
}
