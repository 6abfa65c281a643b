#pragma once

// The program's main window under Xvfb, for tests that click and look at the
// 3D view as a person does. Header-only.

#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/ViewProbe.h"
#include "settings/KaloConfig.h"
#include "workspace/KaloModel.h"

#include <QColor>
#include <QDir>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QtTest>

#include <memory>

class MainWindow
{
public:
    // Loads the main window and waits until it is shown and active; check
    // window() afterwards.
    MainWindow()
    {
        static const bool registered = (Startup::registerQmlTypes(), true);
        Q_UNUSED(registered)
        m_app = std::make_unique<KaloApp>();
        m_config = std::make_unique<KaloConfig>();
        m_engine = std::make_unique<QQmlApplicationEngine>();
        Startup::setContextProperties(*m_engine, *m_app, *m_config);
        m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
        if (m_engine->rootObjects().isEmpty())
            return;
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

    // A frame of the window as the scene stands now.
    QImage frame() const { return m_window->grabWindow(); }

    // Pixel of a platform point (mm) in the view.
    QPoint pixelOf(const QVector3D &mm) const { return ViewProbe::pixelOf(*manager(), m_window->size(), mm); }
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
