#include "app/CommandLine.h"
#include "app/KaloApp.h"
#include "app/ProjectFile.h"
#include "common/SampleProject.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Slice.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"

#include <QBuffer>
#include <QDataStream>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtEndian>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_log.append(message);
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_previousHandler(type, context, message);
}

bool logged(const QString &text)
{
    return std::any_of(g_log.cbegin(), g_log.cend(), [&](const QString &line) { return line.contains(text); });
}

bool readProject(const QByteArray &data, ProjectObjects &objects, QString *problem = nullptr)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return ProjectFile::read(buffer, objects, problem);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Byte offsets in a project of one object: the entry starts at 28 (after
// the 20 header bytes and the object count), its block at 40.
constexpr int objectCountAt = 20;
constexpr int entryTypeAt = 36;
constexpr int blockTypeAt = 44;
constexpr int vertexCountAt = 116;
constexpr int firstVertexAt = 124;
constexpr int supportBlockAt = 40; // in a project of one support
constexpr int headTopRingAt = supportBlockAt + 48;

int indexCountAt(int vertexCount)
{
    return firstVertexAt + 48 * vertexCount + 4;
}

template <typename T>
QByteArray patched(QByteArray data, int offset, T value)
{
    qToBigEndian(value, data.data() + offset);
    return data;
}

QByteArray patchedDouble(const QByteArray &data, int offset, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return patched(data, offset, bits);
}

// The project of object alone; takes the object.
QByteArray projectOf(Model *object)
{
    std::unique_ptr<Model> owned(object);
    return SampleProject::bytes({object});
}

// A 10 mm cube: 36 vertices, 36 indices.
QByteArray cubeProject()
{
    return projectOf(TestMeshes::makeModel(TestMeshes::cube(10)));
}

QByteArray supportProject()
{
    auto *support = new CWS::Support(nullptr);
    support->buildColumn(KaloConfig::instance()->supportConfig(), 5);
    support->loaded = true;
    return projectOf(support);
}

// data, a project without relations, with relations instead: its last 16
// bytes are the relation count 0 and the two end markers.
QByteArray withRelations(QByteArray data, const QVector<QPoint> &relations)
{
    data.chop(16);
    QBuffer buffer(&data);
    buffer.open(QIODevice::Append);
    QDataStream stream(&buffer);
    stream << qint64(relations.size());
    for (const QPoint &relation : relations)
        stream << qint32(relation.x()) << qint32(relation.y());
    stream << qint32(2) << qint32(-1);
    return data;
}

// Layer images of models at 10 px/mm, 1 mm layers up to 11 mm.
QList<QImage> layers(const QList<Model *> &models)
{
    SliceBuildConfig config;
    config.layerThickness = 1;
    config.pixelsPerMmX = 10;
    config.pixelsPerMmY = 10;
    config.resolutionX = 400;
    config.resolutionY = 300;
    QList<QImage> images;
    for (int i = 0; i < 11; ++i) {
        CWS::Slice slice(nullptr, &config, i, float(i) + 0.5f, &models);
        slice.renderLayer(false, nullptr);
        images.append(*slice.image());
    }
    return images;
}

bool exposed(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        if (std::any_of(line, line + grey.width(), [](uchar level) { return level != 0; }))
            return true;
    }
    return false;
}

QVector3D position(const MeshVertex &v)
{
    return {v.x, v.y, v.z};
}

QByteArray text(const QVector3D &v)
{
    return QByteArray::number(v.x()) + ", " + QByteArray::number(v.y()) + ", " + QByteArray::number(v.z());
}

// (object, owner) list indices of every object with an owner, in list order.
QVector<QPoint> links(const QList<Model *> &models, int first = 0)
{
    QVector<QPoint> result;
    for (int i = first; i < models.size(); ++i) {
        if (models[i]->owner)
            result.append(QPoint(i - first, models.indexOf(models[i]->owner) - first));
    }
    return result;
}

} // namespace

// Project files: what is saved reads back as the same scene, and what is
// damaged is refused without touching the scene.
class TstProjectFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void emptySceneIs44Bytes();
    void sceneReadsBackAppended();
    void normalsFollowTheTransform_data();
    void normalsFollowTheTransform();
    void namesAreCutBetweenCharacters_data();
    void namesAreCutBetweenCharacters();
    void otherVersionsAreRefused_data();
    void otherVersionsAreRefused();
    void damagedFilesAddNothing_data();
    void damagedFilesAddNothing();
    void badRelationsAreSkipped_data();
    void badRelationsAreSkipped();
    void openingAProjectNamesIt();
    void saveWithoutNameAsksForOne();
    void modifiedFollowsSaveOpenAndNew();
    void failedSaveKeepsPreviousProject_data();
    void failedSaveKeepsPreviousProject();
    void commandLineReadsProjects();
    void printSettingsTravelWithTheProject_data();
    void printSettingsTravelWithTheProject();
    void hollowingTravelsWithTheProject_data();
    void hollowingTravelsWithTheProject();

private:
    // The message the main window's critical message box shows last.
    QString shownMessage() const { return m_engine->rootObjects().first()->property("shown").toString(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
};

void TstProjectFile::init()
{
    // Opening and saving projects fills the user's recent files.
    QStandardPaths::setTestModeEnabled(true);
    qRegisterMetaType<KaloModel::ModelStatus>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->loadData(R"(
import QtQml 2.2
QtObject {
    property string shown: ""
    function showCriticalMsgBox(message) { shown = message }
}
)");
    QVERIFY(!m_engine->rootObjects().isEmpty());
    m_app = std::make_unique<KaloApp>();
    m_app->setEngine(m_engine.get());
    m_manager = std::make_unique<KaloModel>();
    g_log.clear();
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TstProjectFile::cleanup()
{
    qInstallMessageHandler(g_previousHandler);
    m_manager.reset();
    m_app.reset();
    m_engine.reset();
    m_dir.reset();
}

void TstProjectFile::emptySceneIs44Bytes()
{
    const QByteArray data = SampleProject::bytes({});

    QCOMPARE(data.toHex(), QByteArray("ffffffff00000001"
                                      "4b414c4f33440000" // "KALO3D", two zero bytes
                                      "00010000"         // version 1.0
                                      "0000000000000000" // no objects
                                      "0000000000000000" // no relations
                                      "00000002ffffffff"));
    ProjectObjects objects;
    QVERIFY2(readProject(data, objects), "an empty project reads");
    QVERIFY(m_manager->loadObjects(objects));
    QVERIFY2(m_manager->models().isEmpty(), "and adds nothing");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
}

void TstProjectFile::sceneReadsBackAppended()
{
    SampleProject::build(*m_manager);
    const QList<Model *> saved = m_manager->models();
    const QList<QImage> savedLayers = layers(saved);
    const QString path = m_dir->filePath("scene.kalo3d");
    QVERIFY(ProjectFile::save(path, saved));

    // Into the scene that still holds the saved objects: the file's
    // relations must link its own objects, not those at its indices here.
    // Imported, so that they join the objects already there.
    m_app->setPrjFile(m_dir->filePath("earlier.kalo3d"));
    QVERIFY2(m_app->loadPrj(QUrl::fromLocalFile(path), false), qPrintable(shownMessage()));

    const QList<Model *> &models = m_manager->models();
    QCOMPARE(models.size(), 2 * saved.size());
    const QList<Model *> loaded = models.mid(saved.size());
    for (int i = 0; i < saved.size(); ++i) {
        const Model &before = *saved[i];
        const Model &after = *loaded[i];
        QCOMPARE(after.type, before.type);
        QCOMPARE(after.name, before.name);
        QVERIFY2(after.translate == QVector3D() && after.scale == QVector3D(1, 1, 1) && after.rotate == QVector3D(),
                 "a read object has the identity transform");
        QVERIFY2(after.mesh->indices == before.mesh->indices, "the triangles are the same");
        QCOMPARE(after.mesh->vertices.size(), before.mesh->vertices.size());
        const QMatrix4x4 placed = before.modelMatrix();
        for (size_t v = 0; v < before.mesh->vertices.size(); ++v) {
            const QVector3D expected = placed.map(position(before.mesh->vertices[v]));
            const QVector3D actual = position(after.mesh->vertices[v]);
            QVERIFY2(actual == expected, qPrintable(QStringLiteral("object %1 vertex %2 stands at %3, not %4")
                                                        .arg(i)
                                                        .arg(v)
                                                        .arg(text(actual).constData(), text(expected).constData())));
        }
    }
    QCOMPARE(links(models, saved.size()), links(saved));
    QCOMPARE(loaded[0]->supports, (std::vector<Model *>{loaded[1], loaded[2]}));
    QCOMPARE(loaded[3]->base, loaded[4]);
    QCOMPARE(loaded[3]->baseThickness, 1.0f);

    // The sphere was moved by (10, 0, 0) and raised 1 mm onto its plate.
    const MeshVertex &source = saved[3]->mesh->vertices.front();
    const MeshVertex &moved = loaded[3]->mesh->vertices.front();
    QCOMPARE(moved.x, source.x + 10);
    QCOMPARE(moved.z, source.z + 1);

    const QList<QImage> loadedLayers = layers(loaded);
    QVERIFY2(std::all_of(savedLayers.cbegin(), savedLayers.cend(), exposed), "every layer cuts the scene");
    for (int i = 0; i < savedLayers.size(); ++i)
        QVERIFY2(loadedLayers[i] == savedLayers[i], qPrintable(QStringLiteral("layer %1 slices the same").arg(i)));

    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(!m_manager->selectedModel(), "nothing is selected after a load");
    QVERIFY2(m_app->prjFile() == m_dir->filePath("earlier.kalo3d"), "an import keeps the Save target");

    // Opened, the project replaces the scene and becomes the Save target.
    QVERIFY(m_app->loadPrj(QUrl::fromLocalFile(path)));
    QCOMPARE(m_manager->models().size(), saved.size());
    QCOMPARE(m_app->prjFile(), path);
    QVERIFY2(!m_manager->modified() && !m_manager->canUndo(), "an opened project starts a clean history");
}

void TstProjectFile::normalsFollowTheTransform_data()
{
    QTest::addColumn<QVector3D>("rotate");
    QTest::addColumn<QVector3D>("scale");
    QTest::newRow("turned about z") << QVector3D(0, 0, 90) << QVector3D(1, 1, 1);
    QTest::newRow("turned about every axis") << QVector3D(30, 45, 60) << QVector3D(1, 1, 1);
    QTest::newRow("turned and stretched") << QVector3D(0, 0, 30) << QVector3D(1, 3, 0.5f);
    QTest::newRow("mirrored") << QVector3D() << QVector3D(-1, 1, 1);
}

void TstProjectFile::normalsFollowTheTransform()
{
    QFETCH(QVector3D, rotate);
    QFETCH(QVector3D, scale);
    Model *model = TestMeshes::makeModel(TestMeshes::box({-2, -3, 0}, {4, 1, 5}));
    model->rotate = rotate;
    model->scale = scale;
    model->dirty = true;

    ProjectObjects objects;
    QVERIFY(readProject(projectOf(model), objects));

    // Every triangle keeps one face normal on its three corners; placed, it
    // must still be the unit normal of the placed triangle, pointing out.
    const Model &read = *objects.objects.front();
    const auto &vertices = read.mesh->vertices;
    const auto &indices = read.mesh->indices;
    const float mirror = scale.x() * scale.y() * scale.z() < 0 ? -1.0f : 1.0f;
    for (size_t k = 0; k < indices.size(); k += 3) {
        const QVector3D face = mirror
                               * QVector3D::normal(position(vertices[indices[k]]), position(vertices[indices[k + 1]]),
                                                   position(vertices[indices[k + 2]]));
        const MeshVertex &corner = vertices[indices[k]];
        const QVector3D normal(corner.nx, corner.ny, corner.nz);
        QVERIFY2((normal - face).length() < 1e-5f,
                 qPrintable(QStringLiteral("triangle %1: normal %2, face %3")
                                .arg(k / 3)
                                .arg(text(normal).constData(), text(face).constData())));
    }
}

void TstProjectFile::namesAreCutBetweenCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const QString a63(63, QLatin1Char('a'));
    QTest::newRow("empty") << "" << "";
    QTest::newRow("64 bytes") << a63 + "b" << a63 + "b";
    QTest::newRow("65 bytes") << a63 + "bc" << a63 + "b";
    QTest::newRow("2-byte character across the cut") << a63 + QStringLiteral("\u00e9") << a63;
    QTest::newRow("3-byte character ending at the cut")
        << a63.left(61) + QStringLiteral("\u20ac") << a63.left(61) + QStringLiteral("\u20ac");
    QTest::newRow("4-byte character across the cut")
        << a63.left(62) + QString::fromUtf8("\xf0\x9f\x98\x80") << a63.left(62);
    // The "\u00e4" of "Zahnr\u00e4der" takes the 64th and 65th byte.
    QTest::newRow("long path of a loaded model")
        << QStringLiteral("/home/user/Drucke/Getriebe f\u00fcr den Roboterarm, Ersatz-v2/Zahnr\u00e4der.stl")
        << QStringLiteral("/home/user/Drucke/Getriebe f\u00fcr den Roboterarm, Ersatz-v2/Zahnr");
}

void TstProjectFile::namesAreCutBetweenCharacters()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    Model *model = TestMeshes::makeModel(TestMeshes::cube(1));
    model->name = name;

    ProjectObjects objects;
    QVERIFY(readProject(projectOf(model), objects));

    QCOMPARE(objects.objects.front()->name, expected);
    QVERIFY2(expected.toUtf8().size() <= 64, "the expectation itself fits the field");
}

void TstProjectFile::otherVersionsAreRefused_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::newRow("1.1") << 1 << 1;
    QTest::newRow("2.0") << 2 << 0;
    QTest::newRow("0.0") << 0 << 0;
}

void TstProjectFile::otherVersionsAreRefused()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QByteArray data = patched(cubeProject(), 16, qint16(major));
    data = patched(data, 18, qint16(minor));
    const QString path = m_dir->filePath("later.kalo3d");
    QVERIFY(writeFile(path, data));

    QVERIFY(!m_app->loadPrj(QUrl::fromLocalFile(path)));

    QVERIFY2(logged("Reject this version"), "the refusal is logged");
    QVERIFY2(m_manager->models().isEmpty(), "nothing is added");
    const QString version = QStringLiteral("%1.%2").arg(major).arg(minor);
    QVERIFY2(shownMessage().contains(version), qPrintable("the user is told the version, got " + shownMessage()));
}

void TstProjectFile::damagedFilesAddNothing_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray cube = cubeProject();
    const QByteArray support = supportProject();
    const int indicesAt = indexCountAt(36) + 8;
    const double nan = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut in the header") << cube.left(10);
    QTest::newRow("cut in the name") << cube.left(90);
    QTest::newRow("cut in the vertices") << cube.left(firstVertexAt + 100);
    QTest::newRow("cut before the relations") << cube.left(cube.size() - 16);
    QTest::newRow("cut in the end marker") << cube.left(cube.size() - 2);
    QTest::newRow("wrong end marker") << patched(cube, cube.size() - 4, qint32(0));
    QTest::newRow("object count beyond the file") << patched(cube, objectCountAt, qint64(1) << 40);
    QTest::newRow("negative object count") << patched(cube, objectCountAt, qint64(-1));
    QTest::newRow("two objects announced, one there") << patched(cube, objectCountAt, qint64(2));
    QTest::newRow("vertex count beyond the file") << patched(cube, vertexCountAt, qint64(1) << 60);
    QTest::newRow("negative vertex count") << patched(cube, vertexCountAt, qint64(-5));
    QTest::newRow("index count beyond the file") << patched(cube, indexCountAt(36), qint64(1) << 40);
    QTest::newRow("index count no triangles") << patched(cube, indexCountAt(36), qint64(35));
    QTest::newRow("index past the vertices") << patched(cube, indicesAt, qint32(36));
    QTest::newRow("negative index") << patched(cube, indicesAt, qint32(-1));
    QTest::newRow("coordinate not a number") << patchedDouble(cube, firstVertexAt, nan);
    QTest::newRow("coordinate beyond float") << patchedDouble(cube, firstVertexAt + 8, 1e300);
    // 2 km: tens of millions of layers.
    QTest::newRow("coordinate beyond the range of STL files") << patchedDouble(cube, firstVertexAt + 16, 2e6);
    QTest::newRow("support foot beyond that range") << patchedDouble(support, supportBlockAt, 1e30);
    QTest::newRow("unknown object type") << patched(patched(cube, entryTypeAt, qint32(7)), blockTypeAt, qint32(7));
    QTest::newRow("block of another type than its entry") << patched(cube, blockTypeAt, qint32(TYPE_SUPPORT));
    QTest::newRow("support entry over a model block") << patched(cube, entryTypeAt, qint32(TYPE_SUPPORT));
    QTest::newRow("support ring beyond its mesh") << patched(support, headTopRingAt, qint32(1000));
    QTest::newRow("support rings out of order") << patched(support, headTopRingAt, qint32(0));
}

void TstProjectFile::damagedFilesAddNothing()
{
    QFETCH(QByteArray, data);
    m_manager->addModel(TestMeshes::makeModel(TestMeshes::cube(5)));
    m_app->setPrjFile(m_dir->filePath("earlier.kalo3d"));
    const QString path = m_dir->filePath("damaged.kalo3d");
    QVERIFY(writeFile(path, data));

    QVERIFY(!m_app->loadPrj(QUrl::fromLocalFile(path)));

    QCOMPARE(m_manager->models().size(), 1);
    QVERIFY2(shownMessage().startsWith("Cannot open the project file"),
             qPrintable("the user is told, got \"" + shownMessage() + "\""));
    QVERIFY2(m_app->prjFile() == m_dir->filePath("earlier.kalo3d"), "the Save target stays");
    QVERIFY2(!m_manager->canUndo() && !m_manager->modified(), "the history stays");
}

void TstProjectFile::badRelationsAreSkipped_data()
{
    QTest::addColumn<QVector<QPoint>>("relations");
    QTest::addColumn<QVector<QPoint>>("expected");
    // Objects: 0 model, 1 support, 2 base, 3 model, 4 base.
    QTest::newRow("all good") << QVector<QPoint>{{1, 0}, {2, 0}, {4, 3}} << QVector<QPoint>{{1, 0}, {2, 0}, {4, 3}};
    QTest::newRow("indices outside the file")
        << QVector<QPoint>{{7, 0}, {1, 5}, {-1, 0}, {2, -3}, {1, 0}} << QVector<QPoint>{{1, 0}};
    QTest::newRow("owner not a normal model") << QVector<QPoint>{{1, 2}, {2, 1}, {4, 4}} << QVector<QPoint>{};
    QTest::newRow("normal model as a support") << QVector<QPoint>{{3, 0}, {0, 3}, {1, 3}} << QVector<QPoint>{{1, 3}};
    QTest::newRow("support with two owners") << QVector<QPoint>{{1, 0}, {1, 3}, {1, 0}} << QVector<QPoint>{{1, 0}};
    QTest::newRow("two bases under one model") << QVector<QPoint>{{2, 0}, {4, 0}, {4, 3}}
                                               << QVector<QPoint>{{2, 0}, {4, 3}};
}

void TstProjectFile::badRelationsAreSkipped()
{
    QFETCH(QVector<QPoint>, relations);
    QFETCH(QVector<QPoint>, expected);
    std::vector<std::unique_ptr<Model>> objects;
    objects.emplace_back(TestMeshes::makeModel(TestMeshes::cube(4)));
    objects.emplace_back(TestMeshes::makeSupportOf(nullptr, TestMeshes::box({-1, -1, 0}, {1, 1, 3})));
    objects.emplace_back(TestMeshes::makeModel(TestMeshes::box({-5, -5, 0}, {5, 5, 1}), TYPE_BASE));
    objects.emplace_back(TestMeshes::makeModel(TestMeshes::cube(2)));
    objects.emplace_back(TestMeshes::makeModel(TestMeshes::box({-5, -5, 0}, {5, 5, 2}), TYPE_BASE));
    QList<Model *> list;
    for (const auto &object : objects)
        list.append(object.get());
    const QByteArray data = withRelations(SampleProject::bytes(list), relations);

    ProjectObjects read;
    QVERIFY2(readProject(data, read), "bad relations do not make the file unreadable");
    QVERIFY(m_manager->loadObjects(read));

    const QList<Model *> &models = m_manager->models();
    QCOMPARE(links(models), expected);
    for (const QPoint &link : expected) {
        const Model *object = models[link.x()];
        const Model *owner = models[link.y()];
        if (object->type == TYPE_SUPPORT)
            QCOMPARE(std::count(owner->supports.begin(), owner->supports.end(), object), 1L);
        else
            QCOMPARE(owner->base, object);
    }
    QCOMPARE(models[3]->baseThickness, expected.contains(QPoint(4, 3)) ? 2.0f : 0.0f);

    // Deleting the models with what hangs on them must not touch a stale
    // link (AddressSanitizer builds see it).
    const QList<Model *> normals{models[0], models[3]};
    for (Model *model : normals) {
        m_manager->selectModel(model);
        m_manager->deleteSelectedModel();
    }
    for (const Model *model : models)
        QVERIFY2(!model->owner, "whatever remains belongs to no deleted model");
}

void TstProjectFile::openingAProjectNamesIt()
{
    SampleProject::build(*m_manager);
    const QString path = m_dir->filePath("JOB.KALO3D");
    QVERIFY(ProjectFile::save(path, m_manager->models()));
    KaloModel scene; // a fresh, empty scene
    QSignalSpy named(m_app.get(), &KaloApp::prjFileChanged);
    QSignalSpy status(&scene, &KaloModel::modelStatusChanged);

    m_app->open(QUrl::fromLocalFile(path));

    QCOMPARE(scene.models().size(), 5);
    QCOMPARE(m_app->prjFile(), path);
    QCOMPARE(named.size(), 1);
    QVERIFY2(!status.isEmpty() && status.last().at(1).toInt() == KaloModel::MODEL_LOADED,
             "the panels learn that models are there");
}

void TstProjectFile::modifiedFollowsSaveOpenAndNew()
{
    SampleProject::build(*m_manager);
    m_manager->copyModel(0);
    QVERIFY(m_manager->modified());
    const QString path = m_dir->filePath("job.kalo3d");
    m_app->setPrjFile(path);
    QVERIFY(m_app->savePrj());
    QVERIFY2(!m_manager->modified(), "a saved scene is clean");
    const int saved = m_manager->models().size();

    m_manager->copyModel(0);
    m_app->setPrjFile(m_dir->filePath("gone/job.kalo3d"));
    QVERIFY(!m_app->savePrj());
    QVERIFY2(m_manager->modified(), "a failed save leaves the scene modified");
    QVERIFY(m_manager->undo());
    QVERIFY2(!m_manager->modified(), "undoing back to the saved state is clean");

    m_app->newPrj();
    QVERIFY2(m_manager->models().isEmpty() && !m_manager->canUndo() && !m_manager->modified(), "New empties all");
    QVERIFY(m_app->prjFile().isEmpty());

    m_app->open(QUrl::fromLocalFile(path));
    QCOMPARE(m_manager->models().size(), saved);
    QVERIFY2(!m_manager->modified(), "an opened project is clean");
    QCOMPARE(m_app->prjFile(), path);
}

void TstProjectFile::saveWithoutNameAsksForOne()
{
    SampleProject::build(*m_manager);

    QVERIFY2(!m_app->savePrj(), "nothing is saved without a name");
    QVERIFY2(QDir(m_dir->path()).isEmpty(), "no file is written");
    QVERIFY2(shownMessage().isEmpty(), "asking for a name is no failure");

    const QString path = m_dir->filePath("named.kalo3d");
    m_app->setPrjFile(QUrl::fromLocalFile(path).toString());
    QVERIFY2(m_app->savePrj(), qPrintable(shownMessage()));
    // The scene, then the print settings it was prepared with.
    QVERIFY(fileBytes(path).startsWith(SampleProject::bytes(m_manager->models())));
    QVERIFY(fileBytes(path).size() > SampleProject::bytes(m_manager->models()).size());
}

void TstProjectFile::failedSaveKeepsPreviousProject_data()
{
    // shortBy: how many bytes of the new file a file-size limit leaves
    // unwritten; 0 for a folder that does not exist.
    QTest::addColumn<int>("shortBy");
    QTest::newRow("folder missing") << 0;
#ifdef Q_OS_UNIX
    QTest::newRow("disk full half-way") << 20000;
    QTest::newRow("disk full at the last byte") << 1;
#endif
}

void TstProjectFile::failedSaveKeepsPreviousProject()
{
    QFETCH(int, shortBy);
    const bool diskFull = shortBy > 0;
    SampleProject::build(*m_manager);
    const QString path = diskFull ? m_dir->filePath("job.kalo3d") : m_dir->filePath("missing/job.kalo3d");
    m_app->setPrjFile(path);
    if (diskFull)
        QVERIFY(m_app->savePrj());
    const QByteArray previous = fileBytes(path);
    // The new scene is much larger than the file the disk still takes.
    m_manager->addModel(TestMeshes::makeModel(TestMeshes::sphere(5, {0, 0, 5}, 32, 64)));
    QBuffer whole;
    whole.open(QIODevice::WriteOnly);
    QVERIFY(ProjectFile::write(whole, m_manager->models()));
    QVERIFY(whole.size() > previous.size() + shortBy);

    bool saved = false;
#ifdef Q_OS_UNIX
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit full = limit;
    if (diskFull) {
        // A write past the limit fails with EFBIG, as on a full disk, also for root.
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = rlim_t(whole.size() - shortBy);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    saved = m_app->savePrj();
    setrlimit(RLIMIT_FSIZE, &full);
#else
    saved = m_app->savePrj();
#endif

    QVERIFY2(!saved, "the save fails");
    QVERIFY2(shownMessage().startsWith("Cannot save the project file"),
             qPrintable("the user is told, got \"" + shownMessage() + "\""));
    QCOMPARE(fileBytes(path), previous);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             diskFull ? QStringList{"job.kalo3d"} : QStringList{});
}

void TstProjectFile::commandLineReadsProjects()
{
    SampleProject::build(*m_manager);
    size_t triangles = 0;
    QVector3D min(1e9f, 1e9f, 1e9f);
    QVector3D max(-1e9f, -1e9f, -1e9f);
    for (Model *model : m_manager->models()) {
        triangles += model->mesh->indices.size() / 3;
        model->updateBounds();
        for (int a = 0; a < 3; ++a) {
            min[a] = std::min(min[a], model->boundMin[a]);
            max[a] = std::max(max[a], model->boundMax[a]);
        }
    }
    const QVector3D size = max - min;
    const QString project = m_dir->filePath("scene.kalo3d");
    QVERIFY(ProjectFile::save(project, m_manager->models()));
    const QString archive = m_dir->filePath("scene.cws");
    m_manager.reset(); // the tool makes its own scenes

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    CommandLine cli(outStream, errStream);
    QCOMPARE(cli.run({"kalo3d-cli", "info", "--thickness", "100", project}), 0);
    // The figures of all objects together: from the cube's edge to the far
    // side of the sphere's plate, from the plate to the cube's top at 11 mm.
    QVERIFY2(out.contains(QStringLiteral("  size:      %1 x %2 x %3 mm\n")
                              .arg(size.x(), 0, 'f', 2)
                              .arg(size.y(), 0, 'f', 2)
                              .arg(size.z(), 0, 'f', 2)),
             qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("  triangles: %1\n").arg(triangles)), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("  layers:    110 at 100 \u00b5m")), qPrintable(out));

    // Sliced, a project's objects stay where they were saved: a 2 mm cube
    // moved 10 mm along x, 20 layers of 100 µm.
    Model *cube = TestMeshes::makeModel(TestMeshes::cube(2));
    cube->setTranslate(10, 0, 0);
    const QString moved = m_dir->filePath("moved.kalo3d");
    QVERIFY(writeFile(moved, projectOf(cube)));
    QCOMPARE(cli.run({"kalo3d-cli", "slice", "--thickness", "100", "--antialias", "off", moved, "-o", archive}), 0);
    QuaZip zip(archive);
    QVERIFY(zip.open(QuaZip::mdUnzip));
    QCOMPARE(zip.getEntriesCount(), 20 + 1);
    QVERIFY(zip.setCurrentFile("scene00.png"));
    QuaZipFile png(&zip);
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QImage layer = QImage::fromData(png.readAll(), "PNG").convertToFormat(QImage::Format_Grayscale8);
    double columns = 0;
    double count = 0;
    for (int y = 0; y < layer.height(); ++y) {
        for (int x = 0; x < layer.width(); ++x) {
            if (layer.constScanLine(y)[x]) {
                columns += x - layer.width() / 2;
                count += 1;
            }
        }
    }
    const double centreMm = columns / count / KaloConfig::instance()->buildConfig()->pixelsPerMmX;
    QVERIFY2(std::fabs(centreMm - 10) < 0.1, qPrintable(QStringLiteral("the cube is exposed at x = %1 mm").arg(centreMm)));

    err.clear();
    const QString damaged = m_dir->filePath("damaged.kalo3d");
    QVERIFY(writeFile(damaged, fileBytes(project).left(500)));
    QCOMPARE(cli.run({"kalo3d-cli", "info", damaged}), int(CommandLine::EXIT_LOAD_FAILED));
    QCOMPARE(err, "kalo3d-cli: cannot load " + damaged + ": the file is damaged or incomplete\n");
}


void TstProjectFile::printSettingsTravelWithTheProject_data()
{
    // block: what follows the end marker ("settings", "none", "damaged",
    // "unknown printer"); outcome: "taken", "offered", "kept" or "refused".
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("sceneLoaded");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("into an empty scene") << "settings" << false << "taken";
    QTest::newRow("into a loaded scene") << "settings" << true << "offered";
    QTest::newRow("project without settings") << "none" << false << "kept";
    QTest::newRow("damaged settings") << "damaged" << false << "kept";
    QTest::newRow("printer not known here") << "unknown printer" << false << "refused";
}

void TstProjectFile::printSettingsTravelWithTheProject()
{
    QFETCH(QString, block);
    QFETCH(bool, sceneLoaded);
    QFETCH(QString, outcome);
    KaloConfig config(QString(), true);
    config.setModelIndex(0);
    config.setResinIndex(3);
    config.setThicknessMM(0.1f);
    config.setNormalExpoSec(7.5f);
    config.useAntialise(false);
    config.setLiftHeight(6);
    QJsonObject prepared = config.printSettings();
    if (block == "unknown printer")
        prepared.insert("printer", "Printer from elsewhere");

    SampleProject::build(*m_manager);
    QBuffer plain;
    QBuffer withSettings;
    QVERIFY(plain.open(QIODevice::WriteOnly) && withSettings.open(QIODevice::WriteOnly));
    QVERIFY(ProjectFile::write(plain, m_manager->models()));
    QVERIFY(ProjectFile::write(withSettings, m_manager->models(), prepared));
    QVERIFY2(withSettings.data().startsWith(plain.data()), "readers that stop at the end marker read it all");
    QByteArray data = block == "none" ? plain.data() : withSettings.data();
    if (block == "damaged")
        data.chop(1);
    const QString path = m_dir->filePath("job.kalo3d");
    QVERIFY(writeFile(path, data));

    config.setModelIndex(2);
    config.setResinIndex(0);
    config.setThicknessMM(0.05f);
    const QJsonObject before = config.printSettings();
    QVERIFY(m_manager->newScene());
    if (sceneLoaded)
        m_manager->addModel(TestMeshes::makeModel(TestMeshes::cube(5)));
    QSignalSpy offered(m_app.get(), &KaloApp::printSettingsOffered);

    QVERIFY2(m_app->loadPrj(QUrl::fromLocalFile(path)), qPrintable(shownMessage()));

    QCOMPARE(m_manager->models().size(), 5);
    QCOMPARE(offered.size(), outcome == "offered" ? 1 : 0);
    QCOMPARE(config.printSettings(), outcome == "taken" ? prepared : before);
    QCOMPARE(shownMessage().contains("not known here"), outcome == "refused");
    if (outcome == "offered") {
        QVERIFY2(offered.first().first().toString().contains("0.1 mm layers"), qPrintable(offered.first().first().toString()));
        m_app->usePrjSettings();
        QCOMPARE(config.printSettings(), prepared);
    }
    if (outcome == "taken" || outcome == "offered")
        QCOMPARE(config.buildConfig()->layerThickness, 0.1f);
}

void TstProjectFile::hollowingTravelsWithTheProject_data()
{
    // notes: the JSON after the end marker, empty for what a save writes;
    // wall and holes: what the moved sphere (object 3) reads back with.
    QTest::addColumn<QByteArray>("notes");
    QTest::addColumn<float>("wall");
    QTest::addColumn<int>("holes");
    QTest::newRow("saved") << QByteArray() << 2.5f << 2;
    QTest::newRow("wall out of range") << QByteArray(R"({"hollowing":[{"object":3,"wallMm":20}]})") << 0.0f << 0;
    QTest::newRow("a support named") << QByteArray(R"({"hollowing":[{"object":1,"wallMm":2}]})") << 0.0f << 0;
    QTest::newRow("one bad hole of two")
        << QByteArray(R"({"hollowing":[{"object":3,"wallMm":3,"drainHoles":[)"
                      R"({"position":[1,2,3],"direction":[0,0,0],"diameterMm":3},)"
                      R"({"position":[1,2,3],"direction":[0,0,-2],"diameterMm":4}]}]})")
        << 3.0f << 1;
}

void TstProjectFile::hollowingTravelsWithTheProject()
{
    QFETCH(QByteArray, notes);
    QFETCH(float, wall);
    QFETCH(int, holes);
    SampleProject::build(*m_manager);
    Model &sphere = *m_manager->models()[3];
    sphere.rotate = QVector3D(0, 0, 90);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    if (notes.isEmpty()) {
        sphere.hollowing.wallMm = 2.5f;
        sphere.hollowing.lattice = {12, 2};
        sphere.hollowing.drainHoles = {{QVector3D(1, 0, 0.5f), QVector3D(-1, 0, 0), 3},
                                       {QVector3D(0, 1, 2), QVector3D(0, -1, 0), 5}};
        QVERIFY(ProjectFile::write(buffer, m_manager->models()));
    } else {
        QVERIFY(ProjectFile::write(buffer, m_manager->models()));
        QDataStream stream(&buffer);
        stream << qint32(3) << notes;
    }

    ProjectObjects objects;
    QVERIFY(readProject(buffer.data(), objects));
    const Hollowing &read = objects.objects[3]->hollowing;
    QCOMPARE(read.wallMm, wall);
    QCOMPARE(int(read.drainHoles.size()), holes);
    QVERIFY2(read.lattice == (notes.isEmpty() ? Lattice{12, 2} : Lattice()), "the lattice reads back");
    for (size_t i = 0; i < sphere.hollowing.drainHoles.size(); ++i) {
        // Saved where the model stood: the read model has no transform.
        const DrainHole &hole = sphere.hollowing.drainHoles[i];
        QVERIFY(qFuzzyCompare(read.drainHoles[i].position, sphere.modelMatrix().map(hole.position)));
        QVERIFY(qFuzzyCompare(read.drainHoles[i].direction, sphere.modelMatrix().mapVector(hole.direction).normalized()));
        QCOMPARE(read.drainHoles[i].diameterMm, hole.diameterMm);
    }
    if (QByteArray(QTest::currentDataTag()) == "one bad hole of two")
        QCOMPARE(read.drainHoles[0].direction, QVector3D(0, 0, -1));
    for (size_t i = 0; i < objects.objects.size(); ++i) {
        if (i != 3)
            QVERIFY2(!objects.objects[i]->hollowing.isHollow(), "only the sphere is hollow");
    }
}

QTEST_MAIN(TstProjectFile)
#include "tst_projectfile.moc"
