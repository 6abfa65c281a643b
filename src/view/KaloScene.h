#pragma once

#include <QQuickItem>

// The QML item ("Kalo3DScene") under which the model manager paints the 3D
// scene with OpenGL. One instance, created by the main window.
class KaloScene : public QQuickItem
{
    Q_OBJECT
public:
    explicit KaloScene(QQuickItem *parent = nullptr);
    ~KaloScene() override;

    // The current scene item, or null when there is none.
    static KaloScene *instance();

public Q_SLOTS:
    // Schedules a new frame of the item's window; nothing without a window.
    void updateView();
};
