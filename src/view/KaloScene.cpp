#include "view/KaloScene.h"

#include <QDebug>
#include <QQuickWindow>
#include <QThread>

namespace {
KaloScene *g_instance = nullptr;
}

KaloScene::KaloScene(QQuickItem *parent)
    : QQuickItem(parent)
{
    qDebug() << QThread::currentThreadId() << "KaloScene construct";
    g_instance = this;
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

void KaloScene::updateView()
{
    if (window())
        window()->update();
}
