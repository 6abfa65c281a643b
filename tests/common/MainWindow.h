#pragma once

// The program's main window under Xvfb, for tests that click and look at the
// 3D view as a person does. Header-only.

#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/ViewProbe.h"
#include "settings/KaloConfig.h"
#include "slicing/HappensBefore.h"
#include "workspace/KaloModel.h"

#include <QColor>
#include <QDir>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

class MainWindow
{
public:
    // Loads the main window and waits until it is shown and active; check
    // window() afterwards.
    MainWindow()
    {
        // Test mode keeps the user's recent files and fallback settings out of it.
        static const bool registered = (QStandardPaths::setTestModeEnabled(true), Startup::registerQmlTypes(),
                                        Startup::setOrganization(), true);
        Q_UNUSED(registered)
        m_app = std::make_unique<KaloApp>();
        m_config = std::make_unique<KaloConfig>();
        m_engine = std::make_unique<QQmlApplicationEngine>();
        Startup::setContextProperties(*m_engine, *m_app, *m_config);
        m_app->setEngine(m_engine.get());
        m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
        if (m_engine->rootObjects().isEmpty())
            return;
        Startup::connectSignals(*m_app);
        auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
        if (!window || !QTest::qWaitForWindowExposed(window))
            return;
        window->requestActivate();
        if (!QTest::qWaitForWindowActive(window))
            return;
        m_window = window;
        // One frame hands the view's size to the model manager.
        m_window->grabWindow();
    }
    QQuickWindow *window() const { return m_window; }
    KaloModel *manager() const { return KaloModel::instance(); }
    KaloApp *app() const { return m_app.get(); }
    KaloConfig *config() const { return m_config.get(); }
    // The 3D view; it fills the window below the menu bar.
    QQuickItem *view() const { return item(QStringLiteral("Kalo3DScene")); }

    // The object of the window with this objectName, or null.
    template<typename T = QQuickItem>
    T *item(const QString &objectName) const
    {
        return m_window ? m_window->findChild<T *>(objectName) : nullptr;
    }
    // Where the middle of an item is, in window pixels.
    static QPoint centreOf(const QQuickItem *item)
    {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }
    // A left click in the middle of the item, as the mouse does it.
    void click(const QQuickItem *item) const
    {
        QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centreOf(item));
    }
    void click(const QString &objectName) const
    {
        const QQuickItem *target = item(objectName);
        QVERIFY2(target, qPrintable(objectName + QStringLiteral(" is in the window")));
        click(target);
    }

    // A frame of the window as the scene stands now. A grab synchronises the
    // scene without the afterAnimating signal by which the view marks the
    // hand-over to the render thread.
    QImage frame() const
    {
        happensBefore(m_window);
        return m_window->grabWindow();
    }

    // Pixel of a platform point (mm) in the window.
    QPoint pixelOf(const QVector3D &mm) const
    {
        const QQuickItem *scene = view();
        return scene->mapToScene(ViewProbe::pixelOf(*manager(), scene->size().toSize(), mm)).toPoint();
    }
    QColor colourAt(const QImage &image, const QVector3D &mm) const { return QColor(image.pixel(pixelOf(mm))); }

    // Keeps image as name (".png" added) in the folder the environment
    // variable KALO3D_SCREENSHOT_DIR names, when it is set.
    static void keep(const QImage &image, const QString &name)
    {
        const QString folder = qEnvironmentVariable("KALO3D_SCREENSHOT_DIR");
        if (!folder.isEmpty() && QDir().mkpath(folder))
            image.save(QDir(folder).filePath(name + QStringLiteral(".png")));
    }

private:
    // Declared in this order so that the engine goes first, as in the program.
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloConfig> m_config;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
};
