#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/MeshFiles.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/BinaryStl.h"
#include "geometry/FaceNormals.h"
#include "geometry/Model.h"
#include "geometry/StlCheck.h"
#include "geometry/TextStl.h"
#include "workspace/KaloModel.h"

#include <QQmlApplicationEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

using TestMeshes::box;

namespace {

// Stands in for the main window: records what the critical message box would show.
const QByteArray mainWindowQml = R"(
import QtQml 2.2
QtObject {
    property string shown: ""
    function showCriticalMsgBox(message) { shown += message + "\n" }
}
)";

bool fuzzyEqual(const QVector3D &a, const QVector3D &b, float tolerance = 1e-4f)
{
    return (a - b).length() <= tolerance;
}

QString text(const QVector3D &v)
{
    return QString::asprintf("(%g, %g, %g)", double(v.x()), double(v.y()), double(v.z()));
}

// One facet of a binary STL: normal, three corners, attribute word.
struct Facet
{
    float normal[3];
    float corners[9];
    quint16 attribute = 0;
};

// A binary STL byte for byte, with the given 80-byte header.
QByteArray binaryStl(const QByteArray &header, const std::vector<Facet> &facets)
{
    QByteArray bytes = header.leftJustified(80, ' ', true);
    QDataStream out(&bytes, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << quint32(facets.size());
    for (const Facet &f : facets) {
        for (float v : f.normal)
            out << v;
        for (float v : f.corners)
            out << v;
        out << f.attribute;
    }
    return bytes;
}

std::vector<Facet> facetsOf(const MeshPrimitiveData &mesh, bool zeroNormals = false)
{
    std::vector<Facet> facets;
    for (size_t k = 0; k < mesh.indices.size(); k += 3) {
        QVector3D c[3];
        for (int i = 0; i < 3; ++i) {
            const MeshVertex &v = mesh.vertices[mesh.indices[k + size_t(i)]];
            c[i] = QVector3D(v.x, v.y, v.z);
        }
        const QVector3D n = zeroNormals ? QVector3D() : QVector3D::normal(c[0], c[1], c[2]);
        facets.push_back({{n.x(), n.y(), n.z()},
                          {c[0].x(), c[0].y(), c[0].z(), c[1].x(), c[1].y(), c[1].z(), c[2].x(), c[2].y(), c[2].z()}});
    }
    return facets;
}

// One facet of a text STL, with the numbers as they are to be written.
QByteArray textFacet(const char *normal, const char *a, const char *b, const char *c)
{
    return QByteArray("facet normal ") + normal + "\n outer loop\n  vertex " + a + "\n  vertex " + b + "\n  vertex " + c
           + "\n endloop\nendfacet\n";
}

// The text of mesh as one solid of a text STL file.
QByteArray asciiText(const MeshPrimitiveData &mesh, bool zeroNormals = false)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("solid.stl")));
    if (!StlWriter::write(file.fileName(), mesh, StlWriter::Ascii, zeroNormals) || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class TstStlImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<KaloModel::ModelStatus>(); }
    void init();
    void cleanup();

    void placesModelOnPlate_data();
    void placesModelOnPlate();
    void readsEverySolidOfTextFile_data();
    void readsEverySolidOfTextFile();
    void firstLoadSelectsAndLeavesInit();
    void refusesOtherFileTypesByName_data();
    void refusesOtherFileTypesByName();
    void reportsUnreadableFiles_data();
    void reportsUnreadableFiles();
    void zeroNormalsGetFlatFaceNormals_data();
    void zeroNormalsGetFlatFaceNormals();
    void shrinksTallModels_data();
    void shrinksTallModels();
    void refusesWhileBusy();
    void readersMatchAssimp_data();
    void readersMatchAssimp();
    void binaryReaderLeavesOtherFilesToAssimp_data();
    void binaryReaderLeavesOtherFilesToAssimp();
    void textReaderLeavesOddTextsToAssimp_data();
    void textReaderLeavesOddTextsToAssimp();
    void refusesModelsBeyondMemory();

private:
    QString writeStl(const QString &name, const MeshPrimitiveData &mesh,
                     StlWriter::Encoding encoding = StlWriter::Binary, bool zeroNormals = false);
    QString writeFile(const QString &name, const QByteArray &content);
    QString shownMessages() const { return m_engine->rootObjects().first()->property("shown").toString(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<KaloApp> m_app;
    std::unique_ptr<KaloModel> m_manager;
};

void TstStlImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY2(m_dir->isValid(), "a temporary folder for the STL files");
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->loadData(mainWindowQml);
    QVERIFY2(!m_engine->rootObjects().isEmpty(), "the stand-in main window loads");
    m_app = std::make_unique<KaloApp>();
    m_app->setEngine(m_engine.get());
    m_manager = std::make_unique<KaloModel>();
    Startup::connectModelManager(*m_app, *m_manager);
}

void TstStlImport::cleanup()
{
    m_manager.reset();
    m_app.reset();
    m_engine.reset();
    m_dir.reset();
}

QString TstStlImport::writeStl(const QString &name, const MeshPrimitiveData &mesh, StlWriter::Encoding encoding,
                               bool zeroNormals)
{
    const QString path = m_dir->filePath(name);
    if (!StlWriter::write(path, mesh, encoding, zeroNormals))
        qWarning() << "cannot write" << path;
    return path;
}

QString TstStlImport::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning() << "cannot write" << path;
    return path;
}

void TstStlImport::placesModelOnPlate_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("encoding");
    QTest::newRow("ascii") << "cube.stl" << int(StlWriter::Ascii);
    QTest::newRow("binary") << "cube.stl" << int(StlWriter::Binary);
    QTest::newRow("upper-case name") << "PART.STL" << int(StlWriter::Binary);
    // Other types are written by MeshFiles, by their name.
    QTest::newRow("obj") << "cube.obj" << -1;
    QTest::newRow("ply") << "cube.ply" << -1;
    QTest::newRow("3mf") << "cube.3mf" << -1;
    QTest::newRow("upper-case obj") << "PART.OBJ" << -1;
}

void TstStlImport::placesModelOnPlate()
{
    QFETCH(QString, fileName);
    QFETCH(int, encoding);
    // A 20 mm cube away from the plate centre and floating 5 mm above it.
    const MeshPrimitiveData cube = box({10, 40, 5}, {30, 60, 25});
    const QString path = encoding >= 0 ? writeStl(fileName, cube, StlWriter::Encoding(encoding)) : m_dir->filePath(fileName);
    QVERIFY(encoding >= 0 || MeshFiles::write(path, cube));

    QVERIFY2(m_manager->loadModel(QUrl::fromLocalFile(path)), "a valid model file loads");
    QCOMPARE(m_manager->models().size(), 1);
    Model *model = m_manager->models().first();
    QVERIFY2(model->loaded, "a loaded model is drawable");
    QCOMPARE(model->name, path);
    QCOMPARE(model->mesh->indices.size(), size_t(36));

    // Placement rewrites the vertices themselves; the transform stays neutral.
    QVector3D low(1e9f, 1e9f, 1e9f), high(-1e9f, -1e9f, -1e9f);
    for (const MeshVertex &v : model->mesh->vertices) {
        const QVector3D p(v.x, v.y, v.z);
        for (int a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
    }
    QVERIFY2(fuzzyEqual(low, {-10, -10, 0}) && fuzzyEqual(high, {10, 10, 20}),
             qPrintable("vertices centred on the plate and resting on it, got " + text(low) + " " + text(high)));
    QVERIFY2(fuzzyEqual(model->modelMatrix().map(QVector3D(1, 2, 3)), {1, 2, 3}),
             "the transform of a fresh model is the identity");
    QVERIFY2(fuzzyEqual(model->pivot, {0, 0, 10}), qPrintable("pivot at the centroid, got " + text(model->pivot)));
    model->updateBounds(true);
    QVERIFY2(qAbs(model->volume - 8.0f) < 1e-4f, qPrintable(QString("8 mL, got %1").arg(model->volume)));
    for (const MeshVertex &v : model->mesh->vertices)
        QVERIFY2(fuzzyEqual(QVector3D(v.nx, v.ny, v.nz).normalized(), QVector3D(v.nx, v.ny, v.nz)),
                 "every vertex has a unit normal, made where the file stores none");
    QVERIFY2(shownMessages().isEmpty(), qPrintable("no message box for a good file, got " + shownMessages()));
}

void TstStlImport::readsEverySolidOfTextFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("triangles");
    QTest::addColumn<float>("width"); // mm, along x
    QTest::addColumn<float>("volume"); // mL
    const QByteArray cube = asciiText(box({0, 0, 0}, {10, 10, 10}));
    const QByteArray bar = asciiText(box({30, 0, 0}, {50, 10, 5}));
    const QByteArray tower = asciiText(box({0, 20, 0}, {10, 30, 40}));
    const QString stl = QStringLiteral("bodies.stl");
    QTest::newRow("one solid") << stl << cube << 12 << 10.0f << 1.0f;
    QTest::newRow("two solids") << stl << cube + bar << 24 << 50.0f << 2.0f;
    QTest::newRow("three solids") << stl << cube + bar + tower << 36 << 50.0f << 6.0f;
    QTest::newRow("empty solid first") << stl << QByteArray("solid none\nendsolid none\n") + bar << 12 << 20.0f << 1.0f;
    QTest::newRow("empty solid between")
        << stl << cube + QByteArray("solid none\nendsolid none\n") + bar << 24 << 50.0f << 2.0f;
    // One object placed twice by the build items' transforms, 30 mm apart.
    QTemporaryDir dir;
    QFile package(dir.filePath(QStringLiteral("two.3mf")));
    QVERIFY(MeshFiles::write(package.fileName(), box({0, 0, 0}, {10, 10, 10}), {0, 30}) && package.open(QIODevice::ReadOnly));
    QTest::newRow("3mf, two build items") << "bodies.3mf" << package.readAll() << 24 << 40.0f << 2.0f;
    const MeshPrimitiveData first = box({0, 0, 0}, {10, 10, 10});
    QTest::newRow("obj, two objects") << "bodies.obj"
                                      << MeshFiles::obj(first)
                                             + MeshFiles::obj(box({30, 0, 0}, {50, 10, 5}),
                                                              uint32_t(first.vertices.size() + 1), "bar")
                                      << 24 << 50.0f << 2.0f;
}

void TstStlImport::readsEverySolidOfTextFile()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, triangles);
    QFETCH(float, width);
    QFETCH(float, volume);
    const QString path = writeFile(fileName, content);

    QVERIFY2(m_manager->loadModel(QUrl::fromLocalFile(path)), "a file of several bodies loads");
    QCOMPARE(m_manager->models().size(), 1);
    Model *model = m_manager->models().first();
    QCOMPARE(model->mesh->indices.size(), size_t(3 * triangles));
    model->updateBounds(true);
    const float measured = model->boundMax.x() - model->boundMin.x();
    QVERIFY2(qAbs(measured - width) < 1e-4f, qPrintable(QString("%1 mm wide, got %2").arg(width).arg(measured)));
    QVERIFY2(qAbs(model->volume - volume) < 1e-4f, qPrintable(QString("%1 mL, got %2").arg(volume).arg(model->volume)));
}

void TstStlImport::firstLoadSelectsAndLeavesInit()
{
    QSignalSpy status(m_manager.get(), &KaloModel::modelStatusChanged);
    QSignalSpy selection(m_manager.get(), &KaloModel::modelSelectionChanged);
    const QString path = writeStl("cube.stl", TestMeshes::cube(10));

    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));

    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(m_manager->selectedModel() == m_manager->models().first(), "the new model is the selection");
    QVERIFY2(!status.isEmpty(), "the panels hear of the new status");
    // The status moves before the forced announcement, which therefore
    // reports MODEL_LOADED as both the old and the new status.
    const QList<QVariant> last = status.last();
    QCOMPARE(last.at(0).value<KaloModel::ModelStatus>(), KaloModel::MODEL_LOADED);
    QCOMPARE(last.at(1).value<KaloModel::ModelStatus>(), KaloModel::MODEL_LOADED);
    QCOMPARE(last.at(2).toBool(), false); // no supports yet
    QCOMPARE(last.at(3).toBool(), true);  // a normal model
    QCOMPARE(selection.size(), 1);
    QCOMPARE(selection.first().first().toInt(), 0);
    QVERIFY2(shownMessages().isEmpty(), "no message box for a good file");
}

void TstStlImport::refusesOtherFileTypesByName_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("step") << "part.step";
    QTest::newRow("backup") << "part.stl.bak";
    QTest::newRow("no extension") << "stl";
}

void TstStlImport::refusesOtherFileTypesByName()
{
    QFETCH(QString, fileName);
    // The content is a good STL: only the name decides.
    const QString path = writeStl(fileName, TestMeshes::cube(10));

    QVERIFY2(!m_manager->loadModel(QUrl::fromLocalFile(path)), "only the model types are loaded");
    QVERIFY(m_manager->models().isEmpty());
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
    QCOMPARE(shownMessages(), QStringLiteral("load modal failed!\n%1: only STL, OBJ, 3MF or PLY models and kalo3d "
                                             "projects (.kalo3d) load\n")
                                  .arg(fileName));
}

void TstStlImport::reportsUnreadableFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QByteArray noFacets(80, 'B');
    noFacets.append(4, '\0');
    QTest::newRow("missing") << "missing.stl" << QByteArray();
    QTest::newRow("empty ascii solid") << "empty.stl" << QByteArray("solid empty\nendsolid empty\n");
    QTest::newRow("binary without facets") << "none.stl" << noFacets;
    QTest::newRow("truncated binary") << "short.stl" << QByteArray(90, 'B');
    QTest::newRow("obj of points only") << "points.obj" << QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\n");
    QTest::newRow("ply that is no ply") << "broken.ply" << QByteArray("solid cube\n");
}

void TstStlImport::reportsUnreadableFiles()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    const QString path = content.isNull() ? m_dir->filePath(fileName) : writeFile(fileName, content);

    QVERIFY2(!m_manager->loadModel(QUrl::fromLocalFile(path)), "an unreadable file is refused");
    QVERIFY2(m_manager->models().isEmpty(), "a failed model never reaches the list");
    QCOMPARE(m_manager->status(), KaloModel::MODEL_INIT);
    const QString shown = shownMessages();
    QVERIFY2(shown.startsWith(QStringLiteral("load model failed!\n") + QFileInfo(path).fileName() + ": "),
             qPrintable("the message names the file, got " + shown));
    QCOMPARE(shown.count('\n'), 2);
}

void TstStlImport::zeroNormalsGetFlatFaceNormals_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<bool>("zeroNormals");
    QTest::newRow("ascii, zero normals") << int(StlWriter::Ascii) << true;
    QTest::newRow("binary, zero normals") << int(StlWriter::Binary) << true;
    QTest::newRow("binary, stored normals") << int(StlWriter::Binary) << false;
}

void TstStlImport::zeroNormalsGetFlatFaceNormals()
{
    QFETCH(int, encoding);
    QFETCH(bool, zeroNormals);
    const QString path = writeStl("cube.stl", TestMeshes::cube(10), StlWriter::Encoding(encoding), zeroNormals);

    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));
    const MeshPrimitiveData &mesh = *m_manager->models().first()->mesh;
    // Each vertex must carry the normal of every triangle that uses it: a
    // corner shared between two sides of the cube would be shaded wrongly.
    for (size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const MeshVertex *v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = &mesh.vertices[mesh.indices[t + size_t(k)]];
        const QVector3D face = QVector3D::normal(QVector3D(v[0]->x, v[0]->y, v[0]->z),
                                                 QVector3D(v[1]->x, v[1]->y, v[1]->z),
                                                 QVector3D(v[2]->x, v[2]->y, v[2]->z));
        for (int k = 0; k < 3; ++k) {
            const QVector3D n(v[k]->nx, v[k]->ny, v[k]->nz);
            QVERIFY2(fuzzyEqual(n, face),
                     qPrintable(QString("triangle %1: vertex normal %2, face normal %3")
                                    .arg(t / 3)
                                    .arg(text(n), text(face))));
        }
    }
    QCOMPARE(mesh.vertices.size(), size_t(24)); // four corners per side, none shared between sides
}

void TstStlImport::shrinksTallModels_data()
{
    QTest::addColumn<float>("height");
    QTest::addColumn<float>("scale");
    QTest::newRow("200 mm stays") << 200.0f << 1.0f;
    QTest::newRow("260 mm halves") << 260.0f << 0.5f;
}

void TstStlImport::shrinksTallModels()
{
    QFETCH(float, height);
    QFETCH(float, scale);
    const QString path = writeStl("tower.stl", box({0, 0, 0}, {10, 10, height}));

    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));
    Model *model = m_manager->models().first();
    QVERIFY2(fuzzyEqual(model->scale, {scale, scale, scale}), qPrintable("scale " + text(model->scale)));

    // Scaling about the centroid lifts the shrunk model off the plate.
    model->updateBounds(true);
    QVERIFY2(qAbs(model->boundMax.z() - model->boundMin.z() - height * scale) < 1e-3f,
             qPrintable(QString("height %1 mm").arg(double(height * scale))));
    QVERIFY2(qAbs(model->boundMin.z() - height / 2 * (1 - scale)) < 1e-3f,
             qPrintable(QString("lowest point at %1 mm").arg(double(model->boundMin.z()))));
}

void TstStlImport::refusesWhileBusy()
{
    const QString path = writeStl("cube.stl", TestMeshes::cube(10));
    QVERIFY(m_manager->loadModel(QUrl::fromLocalFile(path)));
    m_manager->setModelStatus(KaloModel::MODEL_SLICING);

    QVERIFY2(!m_manager->loadModel(QUrl::fromLocalFile(path)), "no load while slicing");
    QCOMPARE(m_manager->models().size(), 1);
    QCOMPARE(m_manager->status(), KaloModel::MODEL_SLICING);
    QVERIFY2(shownMessages().isEmpty(), "refused quietly");
}


void TstStlImport::readersMatchAssimp_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("binary");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const QByteArray plain("binary test");

    QTest::newRow("binary: sphere") << binaryStl(plain, facetsOf(TestMeshes::sphere(20, {}, 40, 80))) << true;
    QTest::newRow("binary: ring") << binaryStl(plain, facetsOf(TestMeshes::ring(20, 12, 5))) << true;
    QTest::newRow("binary: two overlapping boxes")
        << binaryStl(plain, facetsOf(TestMeshes::combined(box({0, 0, 0}, {10, 10, 10}), box({5, 5, 0}, {15, 15, 8}))))
        << true;
    // assimp tells a binary file by its size before it looks for "solid".
    QTest::newRow("binary: header starting with solid")
        << binaryStl("solid but binary", facetsOf(TestMeshes::cube(10))) << true;
    // Colours (a colour header, attribute words with the colour bit) are
    // read by assimp and then removed; they change nothing else.
    std::vector<Facet> coloured = facetsOf(TestMeshes::cube(10));
    for (size_t i = 0; i < coloured.size(); i += 2)
        coloured[i].attribute = 0x8000 | quint16(i * 997);
    QTest::newRow("binary: colours")
        << binaryStl(QByteArray("COLOR=") + char(200) + char(10) + char(30) + char(255), coloured) << true;
    // Same position, normals equal, within 1e-5, just beyond, zero, -0 and
    // not numbers: which corners are joined must not change.
    const float e = 0.9e-5f, f = 1.1e-5f;
    QTest::newRow("binary: normals near and far") << binaryStl(
        plain, {{{0, 0, 1}, {0, 0, 0, 1, 0, 0, 0, 1, 0}},
                {{0, 0, 1}, {0, 0, 0, 0, 1, 0, -1, 0, 0}},
                {{e, 0, 1}, {0, 0, 0, 1, 0, 0, 0, -1, 0}},
                {{f, 0, 1}, {0, 0, 0, 0, -1, 0, -1, 0, 0}},
                {{0, 0, 0}, {-0.0f, 0, 0, 1, 0, 0, 0, 1, -0.0f}},
                {{-0.0f, 0, -0.0f}, {0, 0, 0, 1, 1, 1, 2, 2, 2}},
                {{nan, 0, 1}, {0, 0, 0, 1, 0, 0, 0, 1, 0}},
                {{0, inf, 0}, {0, 0, 0, 1, 0, 0, 0, 1, 0}},
                {{0, 0, 1}, {0, 0, 0, 1, 0, 0, 0, 1, 0}}}) << true;
    // No normals stored: made while reading, over several blocks of the reader.
    QTest::newRow("binary: sphere, zero normals")
        << binaryStl(plain, facetsOf(TestMeshes::sphere(20, {}, 40, 80), true)) << true;
    std::vector<Facet> degenerate = facetsOf(TestMeshes::cube(10), true);
    degenerate[0].corners[3] = degenerate[0].corners[0];
    degenerate[0].corners[4] = degenerate[0].corners[1];
    degenerate[0].corners[5] = degenerate[0].corners[2];
    QTest::newRow("binary: zero normals, first facet a line") << binaryStl(plain, degenerate) << true;

    const QByteArray sphere = asciiText(TestMeshes::sphere(20, {}, 40, 80));
    const QByteArray cube = asciiText(box({0, 0, 0}, {10, 10, 10}));
    const QByteArray bar = asciiText(box({30, 0, 0}, {50, 10, 5}));

    QTest::newRow("text: sphere") << sphere << false;
    QTest::newRow("text: ring") << asciiText(TestMeshes::ring(20, 12, 5)) << false;
    QTest::newRow("text: sphere, CR LF and tabs")
        << QByteArray(sphere).replace("\n", "\r\n").replace("  ", "\t") << false;
    QTest::newRow("text: byte-order mark and indent") << "\xEF\xBB\xBF \t" + cube << false;
    // Each solid is joined on its own: the two cubes share corners.
    QTest::newRow("text: solids sharing corners") << cube + cube + QByteArray("solid\nendsolid\n") + bar << false;
    const QByteArray bare = asciiText(box({0, 0, 0}, {10, 10, 10}), true);
    QTest::newRow("text: solids sharing corners, zero normals")
        << QByteArray("solid\nendsolid\n") + bare + bare + asciiText(TestMeshes::sphere(20, {}, 40, 80), true) << false;
    // Numbers in every form assimp reads, normals that are no numbers.
    QTest::newRow("text: number forms")
        << "solid forms\n" + textFacet("0 0 1", "+1.5e+01 -0 .5", "5. 1E2 -.25e-1", "0.1234567890123456789 7 1e-3")
               + textFacet("nan 0 1", "0 0 0", "1 0 0", "0 1 0") + textFacet("0 -INF 1", "0 0 0", "1 0 0", "0 1 0")
               + textFacet("-infinity 0 0", "0 0 0", "0 1 0", "0 0 1")
               + textFacet("1e-6 0 1", "0 0 0", "1 0 0", "0 1 0") + textFacet("0 0 1", "0 0 0", "1 0 0", "0 1 0")
               + "endsolid forms\n" << false;
    // Keywords share lines; names of several words, or none, or run into "solid".
    QTest::newRow("text: words per line")
        << QByteArray("solid Exported from a modeller\nfacet normal 0 0 1 outer loop vertex 0 0 0 vertex 1 0 0\n"
                      "vertex 0 1 0 endloop endfacet facet normal 0 0 1\nouter\nloop\nvertex 1 1 0\nvertex 0 1 0\n"
                      "vertex 1 0 0\nendloop\nendfacet\nendsolid Exported and more\nsolidtwo\n")
               + textFacet("1 0 0", "2 0 0", "2 1 0", "2 0 1") + "endsolid\nsolid\n"
               + textFacet("0 1 0", "3 0 0", "3 1 0", "3 0 1") + "endsolid\n" << false;
    // assimp reads on after a name; a stray "vertex" there changes nothing.
    QTest::newRow("text: vertex after the name")
        << "solid named vertex 1 2 3\n" + textFacet("0 0 1", "0 0 0", "1 0 0", "0 1 0") + "endsolid named\n" << false;
}

void TstStlImport::binaryReaderLeavesOtherFilesToAssimp_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray cube = binaryStl("binary", facetsOf(TestMeshes::cube(10)));
    QTest::newRow("one byte more") << cube + 'x';
    QTest::newRow("one byte less") << cube.left(cube.size() - 1);
    QTest::newRow("no triangles") << binaryStl("binary", {});
    QTest::newRow("header only") << cube.left(80);
    QTest::newRow("text") << QByteArray("solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                                        "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n");
}

void TstStlImport::binaryReaderLeavesOtherFilesToAssimp()
{
    QFETCH(QByteArray, content);
    const QString path = writeFile("other.stl", content);
    MeshPrimitiveData mesh = TestMeshes::cube(3);
    QString problem;
    QCOMPARE(BinaryStl::read(path, mesh, &problem), BinaryStl::Outcome::NotBinary);
    QVERIFY2(TestMeshes::identical(mesh, TestMeshes::cube(3)), "the mesh is left as it was");
}

void TstStlImport::readersMatchAssimp()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, binary);
    const QString path = writeFile("model.stl", content);
    QVERIFY2(StlCheck::problem(path).isEmpty(), qPrintable("the file is sound: " + StlCheck::problem(path)));

    const std::shared_ptr<MeshPrimitiveData> expected = TestMeshes::readThroughAssimp(path);
    QVERIFY2(expected, "assimp reads the file");
    MeshPrimitiveData read;
    QString problem;
    QCOMPARE(BinaryStl::read(path, read, &problem),
             binary ? BinaryStl::Outcome::Read : BinaryStl::Outcome::NotBinary);
    if (!binary)
        QCOMPARE(TextStl::read(path, read, &problem), TextStl::Outcome::Read);
    QVERIFY2(TestMeshes::identical(read, *expected), "the same triangles, every vertex equal to the bit");

    // As a model loads: a file without normals gets those assimp makes when
    // it reads the file again without them.
    MeshPrimitiveData made;
    if (binary)
        QCOMPARE(BinaryStl::read(path, made, &problem, true), BinaryStl::Outcome::Read);
    else
        QCOMPARE(TextStl::read(path, made, &problem, true), TextStl::Outcome::Read);
    const bool zero = FaceNormals::areZero(read.vertices.data(), read.vertices.size());
    const std::shared_ptr<MeshPrimitiveData> remade = zero ? TestMeshes::readThroughAssimp(path, true) : expected;
    QVERIFY2(remade && TestMeshes::identical(made, *remade),
             zero ? "normals made as assimp makes them, every vertex equal to the bit" : "stored normals are kept");
}

void TstStlImport::textReaderLeavesOddTextsToAssimp_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("triangles"); // as the model loads through assimp
    const QByteArray facet = textFacet("0 0 1", "0 0 0", "1 0 0", "0 1 0");
    QTest::newRow("lone carriage return") << "solid a\n" + facet + "endsolid a\r \n" << 1;
    QTest::newRow("vertical tab")
        << "solid a\n" + QByteArray(facet).replace("endloop\n", "endloop\v") + "endsolid a\n" << 1;
    QTest::newRow("form feed") << "solid a\n" + facet + "\fendsolid a\n" << 1;
    // assimp takes these for a facet begun (and given up) and a solid ended
    // on the name's line.
    QTest::newRow("facet after the name") << "solid a facet\n" + facet + "endsolid a\n" << 1;
    QTest::newRow("endsolid after the name") << "solid a endsolid\n" + facet + "endsolid a\n" << 0;
}

void TstStlImport::textReaderLeavesOddTextsToAssimp()
{
    QFETCH(QByteArray, content);
    QFETCH(int, triangles);
    const QString path = writeFile("odd.stl", content);
    QVERIFY2(StlCheck::problem(path).isEmpty(), qPrintable("the grammar accepts it: " + StlCheck::problem(path)));
    MeshPrimitiveData mesh = TestMeshes::cube(3);
    QString problem;
    QCOMPARE(TextStl::read(path, mesh, &problem), TextStl::Outcome::Declined);
    QVERIFY2(TestMeshes::identical(mesh, TestMeshes::cube(3)), "the mesh is left as it was");

    // The model loads as assimp reads it.
    QCOMPARE(m_manager->loadModel(QUrl::fromLocalFile(path)), triangles > 0);
    if (triangles > 0)
        QCOMPARE(m_manager->models().first()->mesh->indices.size(), size_t(3 * triangles));
}

void TstStlImport::refusesModelsBeyondMemory()
{
#if defined(__SANITIZE_ADDRESS__) || (defined(__has_feature) && __has_feature(address_sanitizer))
    QSKIP("AddressSanitizer ends the program where a failed allocation would throw");
#endif
    QFile overcommit(QStringLiteral("/proc/sys/vm/overcommit_memory"));
    if (!overcommit.open(QIODevice::ReadOnly) || overcommit.readAll().trimmed() == "1")
        QSKIP("this system grants any allocation, however large");
    // A binary file of the largest count there is: 215 GB of which only the
    // header takes room on the disk.
    const quint32 count = 0xffffffffu;
    const QString path = writeFile("huge.stl", binaryStl("huge", {}).left(80) + QByteArray("\xff\xff\xff\xff", 4));
    QFile file(path);
    if (!file.resize(84 + 50 * qint64(count)))
        QSKIP("this file system keeps no sparse files");

    QString reason;
    QVERIFY2(!m_manager->loadModel(QUrl::fromLocalFile(path), &reason), "the model is refused");
    QCOMPARE(reason, QStringLiteral("not enough memory to load 4294967295 triangles"));
    QVERIFY2(m_manager->models().isEmpty(), "nothing is added");
    QVERIFY2(shownMessages().contains(reason), qPrintable("the user is told, got " + shownMessages()));
}

QTEST_MAIN(TstStlImport)
#include "tst_stlimport.moc"
