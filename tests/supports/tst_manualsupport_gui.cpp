#include "common/MainWindow.h"
#include "common/TestMeshes.h"
#include "common/ViewProbe.h"
#include "geometry/Model.h"
#include "supports/Support.h"

#include <QtTest>

#include <memory>

using namespace TestMeshes;

namespace {

QByteArray describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue()).toLatin1();
}

bool isRed(const QColor &c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

// Adding a support by clicking on a model in the main window.
class TstManualSupportGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_main.reset(); }

    void secondClickAddsARedSupport();

private:
    std::unique_ptr<MainWindow> m_main;
};

void TstManualSupportGui::init()
{
    m_main = std::make_unique<MainWindow>();
    QVERIFY2(m_main->window(), "the main window is shown");
}

void TstManualSupportGui::secondClickAddsARedSupport()
{
    KaloModel *manager = m_main->manager();
    // The straight column of "Islands only" stands right under the clicked point.
    m_main->config()->supportConfig()->setMode(CWS::SupportConfig::IslandsOnly);
    // A 10 mm cube floating 5 mm above the platform, loaded but not selected.
    Model *model = makeModel(cube(10));
    manager->addModel(model);
    manager->selectModel(model);
    manager->clearSelection(true);
    model->setTranslate(0, 0, 5);
    manager->setManualAddingSupport(true);
    for (int i = 0; i < 6; ++i) // closer, so that a millimetre spans a few pixels
        manager->zoomOut();

    // A point on the side the camera sees, 1 mm above the cube's bottom.
    const QVector3D side = ViewProbe::sideFacingTheEye(*manager);
    const QVector3D onSide = side * 5 + QVector3D(0, 0, 6);
    const QPoint at = m_main->pixelOf(onSide);
    QTest::mouseClick(m_main->window(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(manager->selectedModel(), model);
    QCOMPARE(manager->models().size(), 1);
    const QImage before = m_main->frame();

    QTest::mouseClick(m_main->window(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(manager->models().size(), 2);
    auto *support = static_cast<CWS::Support *>(manager->models().last());
    QCOMPARE(support->type, int(TYPE_SUPPORT));
    QCOMPARE(support->owner, model);
    QCOMPARE(manager->selectedModel(), model);

    const QMatrix4x4 matrix = support->modelMatrix();
    const MeshVertex &tipCentre = support->mesh->vertices[size_t(support->headTopRing + 11)];
    const QVector3D tip = matrix.map(QVector3D(tipCentre.x, tipCentre.y, tipCentre.z));
    // One pixel spans about half a millimetre here.
    QVERIFY2((tip - onSide).length() < 1.0f, "the tip is where the mouse clicked");
    QVERIFY2(qAbs(QVector3D::dotProduct(tip, side) - 5) < 1e-3f, "on the cube's side");

    const QImage after = m_main->frame();
    MainWindow::keep(after, QStringLiteral("manual_support"));
    const QVector3D column(tip.x(), tip.y(), 2);
    QVERIFY2(!isRed(m_main->colourAt(before, column)), "no column stood there before");
    QVERIFY2(isRed(m_main->colourAt(after, column)),
             "the new column is red: " + describe(m_main->colourAt(after, column)));

    // Any change of the selection ends its time as a new support.
    manager->clearSelection(true);
    QVERIFY2(!isRed(m_main->colourAt(m_main->frame(), column)), "a support seen before is no longer red");
}

QTEST_MAIN(TstManualSupportGui)
#include "tst_manualsupport_gui.moc"
