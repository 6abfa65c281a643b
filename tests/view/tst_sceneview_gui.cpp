#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "slicing/HappensBefore.h"
#include "view/KaloScene.h"
#include "workspace/KaloModel.h"

#include <QMimeData>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace TestMeshes;

namespace {

const QSize windowSize(640, 480);
const QColor background(230, 230, 230); // clear colour 0.9
const QColor frameGrey(186, 186, 186);  // frame colour 0.73

QByteArray describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue()).toLatin1();
}

bool near(int a, int b, int tolerance)
{
    return std::abs(a - b) <= tolerance;
}

} // namespace

// The 3D view as a person sees it: frames grabbed from a window under Xvfb.
class TstSceneView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void frameLinesOnBackground();
    void modelGreyThenSelectedBlue();
    void faceOnThePlateIsGreen();
    void partOutsideTheVolumeIsStriped();
    void drainHoleShowsDark();
    void deletedModelIsNeverDrawnAgain();
    void addingAndDeletingWhileFramesRun();
    void minimisedViewDoesNotBreakTheScene();
    void droppedFilesOpenInOrder();
    void dragWithoutFilesIsRefused();

private:
    // Grabs a frame of the window as the scene stands now.
    QImage frame()
    {
        // A grab synchronises the scene without the afterAnimating signal by
        // which the view marks the hand-over to the render thread.
        happensBefore(m_window.get());
        QImage image = m_window->grabWindow();
        if (image.size() != windowSize)
            qWarning() << "unexpected frame size" << image.size();
        return image;
    }
    // Pixel of a platform point (mm) in the view.
    QPoint pixelOf(const QVector3D &mm) const
    {
        const Camera &camera = m_manager->camera();
        const QVector3D ndc =
            (camera.projectionMatrix(windowSize) * camera.viewMatrix() * m_manager->sceneMatrix()).map(mm);
        return QPoint(int((ndc.x() + 1.0f) * windowSize.width() / 2.0f),
                      int((1.0f - ndc.y()) * windowSize.height() / 2.0f));
    }
    QColor colourAt(const QImage &image, const QVector3D &mm) const
    {
        return QColor(image.pixel(pixelOf(mm)));
    }
    // True when a pixel within one of the point's pixel has the colour.
    bool seenNear(const QImage &image, const QVector3D &mm, const QColor &colour) const
    {
        const QPoint centre = pixelOf(mm);
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const QColor c(image.pixel(centre + QPoint(dx, dy)));
                if (near(c.red(), colour.red(), 3) && near(c.green(), colour.green(), 3)
                    && near(c.blue(), colour.blue(), 3))
                    return true;
            }
        }
        return false;
    }
    Model *add(const MeshPrimitiveData &mesh, int type = TYPE_NORMAL)
    {
        Model *model = makeModel(mesh, type);
        m_manager->addModel(model);
        Q_EMIT m_manager->kaloModelDataChanged();
        return model;
    }

    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
    std::unique_ptr<QQuickWindow> m_window;
    KaloScene *m_scene = nullptr;
    QImage m_empty;
};

void TstSceneView::init()
{
    m_app = std::make_unique<KaloApp>();
    m_manager = std::make_unique<KaloModel>();
    m_window = std::make_unique<QQuickWindow>();
    m_window->resize(windowSize);
    m_scene = new KaloScene;
    m_scene->setParent(m_window->contentItem());
    m_scene->setParentItem(m_window->contentItem());
    m_scene->setSize(windowSize);
    Startup::connectSignals(*m_app);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_empty = frame();
}

void TstSceneView::cleanup()
{
    // The window goes first, taking its GL objects with it, as in the program.
    m_window.reset();
    m_manager.reset();
    m_app.reset();
}

void TstSceneView::frameLinesOnBackground()
{
    const QImage image = m_empty;
    QVERIFY2(near(QColor(image.pixel(5, 5)).red(), background.red(), 1), describe(QColor(image.pixel(5, 5))));
    for (const QVector3D &onLine : {QVector3D(32.51f, 25, 0),    // floor edge
                                    QVector3D(0, 25, 0),         // centre grid line
                                    QVector3D(30, -25, 0),       // outermost grid line across x
                                    QVector3D(15, -50, 0),       // outermost grid line across y
                                    QVector3D(-32.51f, 58, 70),  // vertical edge
                                    QVector3D(15, -58, 135)}) {  // top rectangle
        QVERIFY2(seenNear(image, onLine, frameGrey),
                 qPrintable(QStringLiteral("frame line at %1, %2, %3").arg(onLine.x()).arg(onLine.y()).arg(onLine.z())));
    }
    const QColor between = colourAt(image, QVector3D(25, 25, 0));
    QVERIFY2(near(between.green(), background.green(), 1), "between grid lines the floor is background: " + describe(between));
}

void TstSceneView::modelGreyThenSelectedBlue()
{
    Model *model = add(cube(20));
    const QVector3D top(3, 3, 20);
    const QColor grey = colourAt(frame(), top);
    QVERIFY2(near(grey.red(), grey.green(), 2) && near(grey.green(), grey.blue(), 2) && grey.red() > 60
                 && !near(grey.red(), background.red(), 3),
             "a model is lit grey: " + describe(grey));

    m_manager->selectModel(model);
    const QColor selected = colourAt(frame(), top);
    // Same light on (128, 128, 240) instead of (128, 128, 128).
    const double light = grey.green() / 128.0;
    const int blue = std::min(255, int(std::lround(240 * light)));
    QVERIFY2(near(selected.red(), grey.red(), 2) && near(selected.green(), grey.green(), 2)
                 && near(selected.blue(), blue, 4),
             "selected: " + describe(selected) + ", expected blue " + QByteArray::number(blue));
}

void TstSceneView::faceOnThePlateIsGreen()
{
    MeshPrimitiveData plate;
    addTriangle(plate, {-15, -15, 0}, {15, -15, 0}, {15, 15, 0});
    addTriangle(plate, {-15, -15, 0}, {15, 15, 0}, {-15, 15, 0});
    Model *model = add(plate);
    const QVector3D onPlate(5, 4, 0);
    const QColor green = colourAt(frame(), onPlate);
    QVERIFY2(green == QColor(0, 153, 0), "a face lying on the plate is green: " + describe(green));

    model->translateBy(0, 0, 0.01f);
    Q_EMIT m_manager->kaloModelDataChanged();
    const QColor lifted = colourAt(frame(), QVector3D(5, 4, 0.01f));
    QVERIFY2(lifted.red() > 60 && near(lifted.red(), lifted.blue(), 2),
             "0.01 mm above the plate the face is lit grey: " + describe(lifted));
}

void TstSceneView::partOutsideTheVolumeIsStriped()
{
    // The volume ends at x = 32.51 mm.
    add(box({20, -5, 0}, {50, 5, 10}));
    const QImage image = frame();
    const QColor inside = colourAt(image, QVector3D(25, 0, 10));
    QVERIFY2(near(inside.red(), inside.blue(), 2) && inside.red() < 250, "inside stays grey: " + describe(inside));
    // Stripes 6 pixels wide: a 16-pixel square holds both kinds, unlike the
    // plain red of a new support.
    const QPoint centre = pixelOf(QVector3D(45, 0, 10));
    int red = 0, dark = 0;
    for (int dy = -8; dy < 8; ++dy) {
        for (int dx = -8; dx < 8; ++dx) {
            const QColor c(image.pixel(centre + QPoint(dx, dy)));
            if (c.red() == 255 && near(c.green(), inside.green(), 3) && near(c.blue(), inside.blue(), 3))
                ++red;
            else if (near(c.red(), inside.red() * 35 / 100, 3) && near(c.green(), inside.green() * 35 / 100, 3))
                ++dark;
        }
    }
    QVERIFY2(red > 64 && dark > 64, qPrintable(QStringLiteral("outside: red stripes with full red channel and dark "
                                                              "ones, got %1 red and %2 dark of 256 pixels")
                                                   .arg(red)
                                                   .arg(dark)));
}

void TstSceneView::drainHoleShowsDark()
{
    Model *model = add(cube(20));
    model->hollowing = {2, {}, {{QVector3D(3, 3, 20), QVector3D(0, 0, -1), 4}}};
    Q_EMIT m_manager->kaloModelDataChanged();
    const QImage image = frame();
    const QColor hole = colourAt(image, QVector3D(3, 3, 20.5f));
    QVERIFY2(hole.red() < 50 && hole.green() < 50 && hole.blue() < 50, "the hole is dark: " + describe(hole));
    const QColor beside = colourAt(image, QVector3D(-5, -5, 20));
    QVERIFY2(beside.red() > 60, "the rest of the top is lit grey: " + describe(beside));
}

void TstSceneView::deletedModelIsNeverDrawnAgain()
{
    Model *model = add(cube(20));
    m_manager->selectModel(model);
    QVERIFY2(frame() != m_empty, "the model is drawn");
    const GLuint buffers[2] = {model->vbo, model->ibo};
    QVERIFY2(buffers[0] != 0 && buffers[1] != 0, "the drawn model has its buffers");

    m_manager->deleteSelectedModel();
    QCOMPARE(frame(), m_empty);

    // The buffers were released on the render thread, in the window's context.
    std::atomic<int> live{-1};
    const QMetaObject::Connection probe = connect(
        m_window.get(), &QQuickWindow::afterRendering, this,
        [&live, &buffers] {
            QOpenGLFunctions *gl = QOpenGLContext::currentContext()->functions();
            live = int(gl->glIsBuffer(buffers[0])) + int(gl->glIsBuffer(buffers[1]));
        },
        Qt::DirectConnection);
    frame();
    disconnect(probe);
    QCOMPARE(live.load(), 0);
}

void TstSceneView::addingAndDeletingWhileFramesRun()
{
    // The render thread draws while the GUI thread adds and deletes models,
    // their supports and copies.
    std::atomic<int> frames{0};
    const QMetaObject::Connection counter = connect(
        m_window.get(), &QQuickWindow::afterRendering, this, [&frames] { ++frames; }, Qt::DirectConnection);
    QElapsedTimer running;
    running.start();
    for (int i = 0; running.elapsed() < 1500; ++i) {
        Model *model = add(cube(10 + i % 7));
        m_manager->addModel(makeSupportOf(model, box({-1, -1, 0}, {1, 1, 3})));
        m_manager->selectModel(model);
        m_manager->copyModel(m_manager->getSelectedModelIndex());
        QCoreApplication::processEvents();
        while (m_manager->selectedModel()) {
            m_manager->deleteSelectedModel();
            if (!m_manager->models().isEmpty())
                m_manager->selectModel(m_manager->models().last());
            QCoreApplication::processEvents();
        }
    }
    disconnect(counter);
    QVERIFY2(frames > 30, qPrintable(QStringLiteral("only %1 frames ran").arg(frames.load())));
    QVERIFY(m_manager->models().isEmpty());
    QCOMPARE(frame(), m_empty);
}

void TstSceneView::minimisedViewDoesNotBreakTheScene()
{
    add(cube(20));
    const QImage before = frame();
    m_scene->setHeight(0);
    frame();
    m_scene->setHeight(windowSize.height());
    QCOMPARE(frame(), before);
}

void TstSceneView::droppedFilesOpenInOrder()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.stl"));
    const QString second = dir.filePath(QStringLiteral("second.stl"));
    QVERIFY(StlWriter::write(first, cube(10), StlWriter::Binary));
    QVERIFY(StlWriter::write(second, cube(20), StlWriter::Ascii));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second)});

    const QPoint at(320, 240);
    QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &enter);
    QVERIFY2(enter.isAccepted(), "a drag with files is welcome");
    QDragMoveEvent move(at + QPoint(10, 0), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &move);
    QVERIFY2(move.isAccepted(), "and stays welcome while it moves");
    QDropEvent drop(at + QPoint(10, 0), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &drop);

    QCOMPARE(m_manager->models().size(), 2);
    QCOMPARE(m_manager->models().at(0)->name, first);
    QCOMPARE(m_manager->models().at(1)->name, second);
    QCOMPARE(m_manager->selectedModel(), m_manager->models().at(1));
    QVERIFY2(frame() != m_empty, "the dropped models are drawn");
}

void TstSceneView::dragWithoutFilesIsRefused()
{
    QMimeData text;
    text.setText(QStringLiteral("/tmp/a.stl"));
    QDragEnterEvent enter(QPoint(320, 240), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &enter);
    QVERIFY2(!enter.isAccepted(), "plain text cannot be dropped");
}

QTEST_MAIN(TstSceneView)
#include "tst_sceneview_gui.moc"
