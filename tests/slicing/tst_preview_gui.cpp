#include "common/MainWindow.h"
#include "common/TestMeshes.h"
#include "common/ViewProbe.h"
#include "geometry/Model.h"
#include "settings/SliceBuildConfig.h"

#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

QByteArray describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue()).toLatin1();
}

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

// The slice preview as a person sees it in the main window.
class TstPreviewGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_main.reset(); }

    void modelsAreCutAtTheLayer();

private:
    std::unique_ptr<MainWindow> m_main;
};

void TstPreviewGui::init()
{
    m_main = std::make_unique<MainWindow>();
    QVERIFY2(m_main->window(), "the main window is shown");
}

void TstPreviewGui::modelsAreCutAtTheLayer()
{
    KaloModel *manager = m_main->manager();
    KaloConfig::instance()->buildConfig()->layerThickness = 0.05f;
    // A 20 mm cube in the middle and a ball of 20 mm beside it, nothing selected.
    Model *box = makeModel(cube(20));
    manager->addModel(box);
    manager->addModel(makeModel(sphere(10, QVector3D(0, 30, 10))));
    manager->selectModel(box);
    manager->clearSelection(true);
    for (int i = 0; i < 5; ++i)
        manager->zoomOut();
    const QVector3D side = ViewProbe::sideFacingTheEye(*manager);
    const QVector3D below = side * 10 + QVector3D(0, 0, 6);
    const QVector3D above = side * 10 + QVector3D(0, 0, 14);
    const QImage whole = m_main->frame();

    QVERIFY(manager->setShowSliceEnable(true));
    QCOMPARE(manager->sliceCount(), 400);
    manager->setCurrentLayer(199); // 9.975 mm, half the height
    const QImage cut = m_main->frame();
    MainWindow::keep(cut, QStringLiteral("preview_layer_199"));

    QVERIFY2(near(m_main->colourAt(cut, below), m_main->colourAt(whole, below), 3),
             "below the layer the side looks as before: " + describe(m_main->colourAt(cut, below)));
    QVERIFY2(!near(m_main->colourAt(cut, above), m_main->colourAt(whole, above), 20),
             "above the layer the side is gone: " + describe(m_main->colourAt(cut, above)) + " was "
                 + describe(m_main->colourAt(whole, above)));
    const QVector3D ballTop(0, 30, 19.5f);
    QVERIFY2(!near(m_main->colourAt(cut, ballTop), m_main->colourAt(whole, ballTop), 20),
             "the ball's top is cut away too");

    // Layer 0 leaves almost nothing; leaving the preview shows the models whole again.
    manager->setCurrentLayer(0);
    QVERIFY2(!near(m_main->colourAt(m_main->frame(), below), m_main->colourAt(whole, below), 20),
             "at the lowest layer the side is gone");
    manager->setShowSliceEnable(false);
    QCOMPARE(m_main->frame(), whole);
}

QTEST_MAIN(TstPreviewGui)
#include "tst_preview_gui.moc"
