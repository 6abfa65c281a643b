#include "app/KaloApp.h"
#include "app/Startup.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "settings/SliceBuildConfig.h"
#include "slicing/Slice.h"
#include "workspace/KaloModel.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>
#include <quazipfile.h>

#include <cstring>
#include <memory>

namespace {

constexpr double kPixelsPerMm = 21.164021;
const QSize kNative(1375, 2455);

// An archive read back through QuaZip: entry names in archive order and
// their contents. valid is false when the file is no zip, or an entry's data
// does not match its checksum or is not deflated.
struct Archive
{
    bool valid = false;
    QStringList names;
    QHash<QString, QByteArray> entries;
    QHash<QString, quint16> flags; // general purpose bits of each entry
};

Archive readArchive(const QString &path)
{
    Archive archive;
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return archive;
    archive.valid = true;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 info;
        zip.getCurrentFileInfo(&info);
        QuaZipFile file(&zip);
        if (!file.open(QIODevice::ReadOnly) || info.method != Z_DEFLATED) {
            archive.valid = false;
            continue;
        }
        archive.names << info.name;
        archive.flags.insert(info.name, info.flags);
        archive.entries.insert(info.name, file.readAll());
        file.close();
        archive.valid = archive.valid && file.getZipError() == UNZ_OK;
    }
    return archive;
}

QString layerName(const QString &base, int layer, int digits)
{
    return base + QStringLiteral("%1.png").arg(layer, digits, 10, QLatin1Char('0'));
}

// Brightness of pixel (column, row) counted from the image centre: 0 … 255.
int level(const QImage &image, int column, int row)
{
    return qGray(image.pixel(image.width() / 2 + column, image.height() / 2 + row));
}

// Sum of all pixel values of an 8-bit grey image.
qint64 brightness(const QImage &grey)
{
    qint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            sum += line[x];
    }
    return sum;
}

// The native raster, black except for the columns and rows -105 … +105
// around the centre: the 10 mm cube at 21.164021 px/mm.
QImage cubeSquare()
{
    QImage image(kNative, QImage::Format_Grayscale8);
    image.fill(0);
    for (int row = -105; row <= 105; ++row) {
        uchar *line = image.scanLine(kNative.height() / 2 + row);
        std::fill(line + kNative.width() / 2 - 105, line + kNative.width() / 2 + 106, uchar(255));
    }
    return image;
}

// Writes the image into the test's working directory if the test has failed
// by the time the scope ends.
class KeepImageOnFailure
{
public:
    KeepImageOnFailure(const QImage &image, const QString &name) : m_image(image), m_name(name) {}
    ~KeepImageOnFailure()
    {
        if (QTest::currentTestFailed()) {
            m_image.save(m_name);
            qWarning() << "layer image kept in" << QDir::current().absoluteFilePath(m_name);
        }
    }

private:
    const QImage &m_image;
    QString m_name;
};

struct Report
{
    float ratio;
    bool cancled;
};

} // namespace

class TstSlicer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void cubeLayersInArchive_data();
    void cubeLayersInArchive();
    void gcodeEntry();
    void printerImages_data();
    void printerImages();
    void entryNames_data();
    void entryNames();
    void floatingModelIsLowered();
    void closingDuringRunStopsIt();
    void unwritableArchive_data();
    void unwritableArchive();

private:
    Model *add(const MeshPrimitiveData &mesh)
    {
        Model *model = TestMeshes::makeModel(mesh);
        m_manager->addModel(model);
        return model;
    }
    // A small raster for tests that are not about pixels.
    void useSmallRaster(int pixels)
    {
        SliceBuildConfig *config = KaloConfig::instance()->buildConfig();
        config->resolutionX = config->resolutionY = pixels;
        config->pixelsPerMmX = config->pixelsPerMmY = 10;
    }
    // Starts slicing into path and waits for the end report; returns every report.
    QList<Report> slice(const QString &path);

    QTemporaryDir m_dir;
    std::unique_ptr<KaloModel> m_manager;
};

void TstSlicer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Created before any slicer reads it.
    KaloConfig::instance();
}

void TstSlicer::init()
{
    KaloConfig *settings = KaloConfig::instance();
    settings->useAntialise(false);
    settings->antiAliseValue(2);
    SliceBuildConfig *config = settings->buildConfig();
    config->layerThickness = 0.05f;
    config->pixelsPerMmX = config->pixelsPerMmY = kPixelsPerMm;
    config->resolutionX = kNative.width();
    config->resolutionY = kNative.height();
    config->bottomLayers = 3;
    config->bottomExposureMs = 30000;
    config->normalExposureMs = 10000;
    m_manager = std::make_unique<KaloModel>();
}

void TstSlicer::cleanup()
{
    m_manager.reset();
}

QList<Report> TstSlicer::slice(const QString &path)
{
    QList<Report> reports;
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    while (reports.isEmpty() || reports.last().ratio <= 1) {
        if (spy.isEmpty() && !spy.wait(120000))
            break;
        const QList<QVariant> report = spy.takeFirst();
        reports.append({report.at(0).toFloat(), report.at(1).toBool()});
    }
    return reports;
}

void TstSlicer::cubeLayersInArchive_data()
{
    QTest::addColumn<bool>("antiAliasing");
    QTest::addColumn<float>("factor");
    QTest::addColumn<float>("thickness"); // mm
    QTest::addColumn<int>("layers");
    QTest::addColumn<QSize>("drawnSize");
    QTest::newRow("1-bit") << false << 2.0f << 0.05f << 200 << kNative;
    // Thick layers keep the enlarged rasters few.
    QTest::newRow("anti-aliased x2") << true << 2.0f << 1.0f << 10 << QSize(2750, 4910);
    QTest::newRow("anti-aliased x2.5") << true << 2.5f << 1.0f << 10 << QSize(3437, 6137);
}

void TstSlicer::cubeLayersInArchive()
{
    QFETCH(bool, antiAliasing);
    QFETCH(float, factor);
    QFETCH(float, thickness);
    QFETCH(int, layers);
    QFETCH(QSize, drawnSize);
    KaloConfig::instance()->useAntialise(antiAliasing);
    KaloConfig::instance()->antiAliseValue(factor);
    KaloConfig::instance()->buildConfig()->layerThickness = thickness;
    add(TestMeshes::cube(10));

    const QString path = m_dir.filePath(QStringLiteral("cube.cws"));
    const QList<Report> reports = slice(path);

    QCOMPARE(m_manager->sliceNumber(), layers);
    QVERIFY2(!reports.isEmpty() && reports.last().ratio > 1 && !reports.last().cancled,
             "a complete run ends with the report 1.1, not cancelled");
    for (int i = 0; i + 1 < reports.size(); ++i) {
        QVERIFY2(reports[i].ratio < 1 && (i == 0 || reports[i].ratio > reports[i - 1].ratio),
                 "progress grows and stays below 1 until the end report");
    }
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(m_manager->getSliceCostTime()).hasMatch(),
             qPrintable("the run's duration reads hh:mm:ss, got " + m_manager->getSliceCostTime()));

    const Archive archive = readArchive(path);
    QVERIFY2(archive.valid, "the archive reads back with every entry deflated and intact");
    QCOMPARE(archive.names.size(), layers + 1);
    QCOMPARE(archive.names.last(), QStringLiteral("cube.gcode"));

    const int digits = QString::number(layers).size();
    const QImage square = cubeSquare();
    for (int layer = 0; layer < layers; ++layer) {
        const QString name = layerName(QStringLiteral("cube"), layer, digits);
        QImage image;
        QVERIFY2(image.loadFromData(archive.entries.value(name), "PNG"), qPrintable(name + " decodes as PNG"));
        KeepImageOnFailure keep(image, name);
        QCOMPARE(image.size(), kNative);
        if (!antiAliasing) {
            QVERIFY2(image.depth() == 1, qPrintable(name + " is stored 1-bit"));
            QVERIFY2(image.convertToFormat(QImage::Format_Grayscale8) == square,
                     qPrintable(name + ": white exactly on columns and rows -105 … +105"));
            continue;
        }
        QVERIFY2(image.format() == QImage::Format_Grayscale8, qPrintable(name + " is stored 8-bit grey"));
        // The cube's edges lie 105.8 px from the centre: white inside, black
        // beyond the pixel the down-scale blurs, grey only along the edge.
        int grey = 0, misplaced = 0;
        qint64 window = 0;
        for (int row = -120; row <= 120; ++row) {
            for (int column = -120; column <= 120; ++column) {
                const int v = level(image, column, row);
                const int reach = std::max(std::abs(row), std::abs(column));
                window += v;
                grey += v > 0 && v < 255;
                misplaced += (reach <= 104 && v != 255) || (reach >= 108 && v != 0);
            }
        }
        QVERIFY2(misplaced == 0, qPrintable(name + ": white inside, black outside, grey only along the edge"));
        QVERIFY2(grey > 0, qPrintable(name + ": the edges are grey"));
        QVERIFY2(brightness(image) == window, qPrintable(name + ": nothing is exposed away from the cube"));
    }

    if (antiAliasing) {
        // The stored layer is the one drawn at the enlarged raster and reduced.
        SliceBuildConfig config = *KaloConfig::instance()->buildConfig();
        config.beginSupersampling(true, factor);
        CWS::Slice direct(nullptr, &config, 5, 5.5f * thickness, &m_manager->models());
        direct.renderLayer(true, nullptr);
        QCOMPARE(direct.supersampledImage()->size(), drawnSize);
        QImage stored;
        stored.loadFromData(archive.entries.value(layerName(QStringLiteral("cube"), 5, digits)), "PNG");
        QVERIFY2(stored == *direct.image(), "layer 5 is the enlarged drawing reduced to the native raster");
    }
}

void TstSlicer::gcodeEntry()
{
    // Anti-aliasing enlarges the raster while the layers are drawn; the
    // G-code must describe the native one.
    KaloConfig::instance()->useAntialise(true);
    useSmallRaster(200);
    add(TestMeshes::cube(10));

    const QString path = m_dir.filePath(QStringLiteral("job.cws"));
    slice(path);
    const QString text = QString::fromLatin1(readArchive(path).entries.value(QStringLiteral("job.gcode")));
    QVERIFY2(text.endsWith(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')), "every line ends in one line feed");
    const QStringList lines = text.split(QLatin1Char('\n'));

    QVERIFY2(QRegularExpression(QStringLiteral("^; auto generated by kalo3d at \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                 .match(lines.value(0)).hasMatch(),
             qPrintable("first line names the time of writing, got " + lines.value(0)));
    QCOMPARE(lines.value(1), QStringLiteral(";(****Build and Slicing Parameters****)"));
    QCOMPARE(lines.value(2), QStringLiteral(";(Pix per mm X            = 10.000 )"));
    QCOMPARE(lines.value(4), QStringLiteral(";(X Resolution            = 200 )"));
    QCOMPARE(lines.value(5), QStringLiteral(";(Y Resolution            = 200 )"));
    QCOMPARE(lines.value(25), QStringLiteral(";Number of Slices         = 200"));

    const int layer0 = int(lines.indexOf(QStringLiteral(";<Slice> 0")));
    QVERIFY2(layer0 > 0, "the layer blocks follow the header");
    QCOMPARE(lines.mid(layer0 - 1, 9), (QStringList{QString(), ";<Slice> 0", "M106 S255", ";<Delay> 30000", "M106 S0",
                                                    ";<Slice> Blank", "G1 Z4.000 F100", "G1 Z-3.950 F100",
                                                    ";<Delay> 6800"}));
    QCOMPARE(lines.value(lines.indexOf(QStringLiteral(";<Slice> 3")) + 2), QStringLiteral(";<Delay> 10000"));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^;<Slice> \\d+$"))).size(), 200);
    QCOMPARE(lines.mid(lines.size() - 6),
             (QStringList{QString(), "M18 ;Disable Motors", "M106 S0", "G1 Z50", ";<Completed>", QString()}));
}

void TstSlicer::printerImages_data()
{
    // A 4 x 6 mm box at x 2 ... 6, y 3 ... 9 on a display of 400 x 300
    // pixels of 0.1 x 0.2 mm: drawn on columns 220 ... 260, rows 165 ... 195
    // (rows growing with y). The printer's image is the top view (y up),
    // mirrored and turned a quarter clockwise as the printer asks.
    QTest::addColumn<bool>("mirrorX");
    QTest::addColumn<bool>("mirrorY");
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<bool>("sl1");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("white"); // inclusive pixel bounds
    QTest::newRow("as drawn") << false << true << false << false << QSize(400, 300) << QRect(QPoint(220, 165), QPoint(260, 195));
    QTest::newRow("top view") << false << false << false << false << QSize(400, 300) << QRect(QPoint(220, 104), QPoint(260, 134));
    QTest::newRow("mirror X") << true << false << false << true << QSize(400, 300) << QRect(QPoint(139, 104), QPoint(179, 134));
    // Rows of whole bytes: 3 bits past the last pixel of each.
    QTest::newRow("mirror X, 1-bit, 397 wide") << true << false << false << false << QSize(397, 300)
                                                << QRect(QPoint(138, 104), QPoint(178, 134));
    QTest::newRow("portrait") << false << false << true << false << QSize(300, 400) << QRect(QPoint(165, 220), QPoint(195, 260));
    QTest::newRow("portrait, mirror X (SL1S)") << true << false << true << true << QSize(300, 400)
                                               << QRect(QPoint(165, 139), QPoint(195, 179));
    QTest::newRow("portrait, mirror Y") << false << true << true << true << QSize(300, 400)
                                        << QRect(QPoint(104, 220), QPoint(134, 260));
}

void TstSlicer::printerImages()
{
    QFETCH(bool, mirrorX);
    QFETCH(bool, mirrorY);
    QFETCH(bool, portrait);
    QFETCH(bool, sl1);
    QFETCH(QSize, size);
    QFETCH(QRect, white);
    SliceBuildConfig *config = KaloConfig::instance()->buildConfig();
    config->resolutionX = portrait ? size.height() : size.width();
    config->resolutionY = 300;
    config->pixelsPerMmX = 10;
    config->pixelsPerMmY = 5;
    config->mirrorX = mirrorX;
    config->mirrorY = mirrorY;
    config->portrait = portrait;
    config->format = sl1 ? ArchiveFormat::Sl1 : ArchiveFormat::Cws;
    add(TestMeshes::box({2, 3, 0}, {6, 9, 0.1f}));

    const QString path = m_dir.filePath(QStringLiteral("box.out"));
    slice(path);
    config->setDefaults();
    const Archive archive = readArchive(path);
    QVERIFY2(archive.valid, "the archive reads back");
    const QString first = sl1 ? QStringLiteral("box00000.png") : QStringLiteral("box0.png");
    QImage image;
    QVERIFY2(image.loadFromData(archive.entries.value(first), "PNG"), qPrintable(first + " decodes"));
    KeepImageOnFailure keep(image, QStringLiteral("printer-%1.png").arg(QTest::currentDataTag()));
    QCOMPARE(image.size(), size);
    if (sl1)
        QVERIFY2(image.format() == QImage::Format_Grayscale8, "SL1 layers are 8-bit grey");
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    QRect found;
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            if (grey.constScanLine(y)[x] == 255)
                found |= QRect(x, y, 1, 1);
        }
    }
    QCOMPARE(found, white);
    QCOMPARE(brightness(grey), qint64(white.width()) * white.height() * 255);
    if (!sl1) {
        QCOMPARE(archive.names.last(), QStringLiteral("box.gcode"));
        return;
    }

    QStringList names = archive.names;
    std::sort(names.begin(), names.end());
    QCOMPARE(names, QStringList({"box00000.png", "box00001.png", "config.ini", "prusaslicer.ini",
                                 "thumbnail/thumbnail400x400.png"}));
    // The keys of config.ini as the SL1 archive's own writer sets them.
    QStringList keys;
    QHash<QString, QString> values;
    for (const QString &line : QString::fromUtf8(archive.entries.value("config.ini")).split('\n', Qt::SkipEmptyParts)) {
        keys << line.section(" = ", 0, 0);
        values.insert(keys.last(), line.section(" = ", 1));
    }
    QCOMPARE(keys, QStringList({"action", "expTime", "expTimeFirst", "expUserProfile", "fileCreationTimestamp",
                                "hollow", "jobDir", "layerHeight", "materialName", "numFade", "numFast", "numSlow",
                                "printProfile", "printTime", "printerModel", "printerProfile", "printerVariant",
                                "prusaSlicerVersion", "usedMaterial"}));
    QVERIFY2(values["jobDir"] == "box" && values["numFast"] == "2" && values["layerHeight"] == "0.05"
                 && values["expTime"] == "10" && values["expTimeFirst"] == "30" && values["numFade"] == "3"
                 && values["usedMaterial"].toDouble() > 0.0023 && values["usedMaterial"].toDouble() < 0.0025,
             "config.ini tells the job: 2 layers of 50 um, 10 s and 30 s, 0.0024 mL");
    const QString ini = QString::fromUtf8(archive.entries.value("prusaslicer.ini"));
    QVERIFY2(ini.contains(QStringLiteral("display_mirror_x = %1\n").arg(int(mirrorX)))
                 && ini.contains(portrait ? "display_orientation = portrait\n" : "display_orientation = landscape\n")
                 && ini.contains("display_pixels_x = 400\n") && ini.contains("display_width = 40\n")
                 && ini.contains("display_height = 60\n"),
             "prusaslicer.ini describes the display");
    QImage thumbnail;
    QVERIFY2(thumbnail.loadFromData(archive.entries.value("thumbnail/thumbnail400x400.png"), "PNG")
                 && thumbnail.size() == QSize(400, 400),
             "the archive holds a thumbnail");
    // Both layers are the box: the thumbnail is the layer image made small, centred.
    const QImage small = grey.scaled(QSize(400, 400), Qt::KeepAspectRatio, Qt::FastTransformation);
    QImage expected(400, 400, QImage::Format_Grayscale8);
    expected.fill(0);
    for (int y = 0; y < small.height(); ++y)
        std::memcpy(expected.scanLine((400 - small.height()) / 2 + y) + (400 - small.width()) / 2,
                    small.constScanLine(y), size_t(small.width()));
    QVERIFY2(thumbnail.convertToFormat(QImage::Format_Grayscale8) == expected, "the thumbnail shows the layer");
}

void TstSlicer::entryNames_data()
{
    QTest::addColumn<int>("layers");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    // An empty scene is refused: no archive of nothing.
    QTest::newRow("0 layers") << 0 << "part.cws" << "part" << QString() << QString();
    QTest::newRow("9 layers") << 9 << "part.cws" << "part" << "part0.png" << "part8.png";
    QTest::newRow("10 layers") << 10 << "part.cws" << "part" << "part00.png" << "part09.png";
    QTest::newRow("100 layers") << 100 << "part.cws" << "part" << "part000.png" << "part099.png";
    QTest::newRow("150 layers") << 150 << "part.cws" << "part" << "part000.png" << "part149.png";
    QTest::newRow("two dots") << 10 << "part.final.cws" << "part.final" << "part.final00.png" << "part.final09.png";
    QTest::newRow("no dot") << 10 << "part" << "part" << "part00.png" << "part09.png";
    QTest::newRow("not ASCII") << 10 << QString::fromUtf8("Zahnrad größer.cws") << QString::fromUtf8("Zahnrad größer")
                               << QString::fromUtf8("Zahnrad größer00.png") << QString::fromUtf8("Zahnrad größer09.png");
}

void TstSlicer::entryNames()
{
    QFETCH(int, layers);
    QFETCH(QString, fileName);
    QFETCH(QString, base);
    QFETCH(QString, first);
    QFETCH(QString, last);
    useSmallRaster(16);
    if (layers > 0)
        add(TestMeshes::box({0, 0, 0}, {1, 1, layers * 0.05f}));

    // As the application starts it: the chosen file, then readyToSlice.
    KaloApp app;
    Startup::connectModelManager(app, *m_manager);
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    QSignalSpy refused(m_manager.get(), &KaloModel::criticalMessage);
    const QString path = m_dir.filePath(fileName);
    app.setCwsFile(QUrl::fromLocalFile(path));
    if (layers == 0) {
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused.first().first().toString(), m_manager->nothingToSlice());
        QVERIFY2(spy.isEmpty() && m_manager->status() == KaloModel::MODEL_INIT, "no run starts");
        QVERIFY2(!QFile::exists(path), "no archive is written");
        return;
    }
    while (spy.isEmpty() || spy.last().at(0).toFloat() <= 1)
        QVERIFY2(spy.wait(60000), "the run ends with a report");
    QVERIFY2(!spy.last().at(1).toBool(), "the run completes");

    QStringList expected;
    const int digits = QString::number(layers).size();
    for (int i = 0; i < layers; ++i)
        expected << layerName(base, i, digits);
    QVERIFY2(expected.isEmpty() || (expected.first() == first && expected.last() == last), "the table agrees");
    expected << base + QStringLiteral(".gcode");

    Archive archive = readArchive(path);
    QVERIFY2(archive.valid, "the archive reads back");
    QCOMPARE(archive.names.last(), expected.last());
    std::sort(archive.names.begin(), archive.names.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(archive.names, expected);
    // Bit 11 tells other zip tools that a name is UTF-8, not code page 437.
    const bool ascii = QString(base).toLatin1() == base.toUtf8();
    for (const QString &name : qAsConst(archive.names))
        QVERIFY2(bool(archive.flags.value(name) & 0x800) == !ascii,
                 qPrintable(name + (ascii ? " has no UTF-8 flag" : " carries the UTF-8 flag")));
}

void TstSlicer::floatingModelIsLowered()
{
    useSmallRaster(300);
    Model *cube = add(TestMeshes::cube(10));
    cube->translate = QVector3D(0, 0, 3);
    cube->dirty = true;

    const QString path = m_dir.filePath(QStringLiteral("lowered.cws"));
    slice(path);

    QCOMPARE(m_manager->sliceNumber(), 200);
    QImage bottom;
    QVERIFY(bottom.loadFromData(readArchive(path).entries.value(QStringLiteral("lowered000.png")), "PNG"));
    QVERIFY2(level(bottom, 0, 0) == 255, "the first layer carries the cube's foot");
}

void TstSlicer::closingDuringRunStopsIt()
{
    KaloConfig::instance()->buildConfig()->layerThickness = 0.01f;
    add(TestMeshes::cube(10));
    const QString path = m_dir.filePath(QStringLiteral("closed.cws"));
    QSignalSpy spy(m_manager.get(), &KaloModel::sliceCompletedProgress);
    m_manager->sliceTo(path);
    QVERIFY2(spy.wait(60000), "layers arrive");

    // The application closes: the manager goes with its models.
    m_manager.reset();

    QVERIFY2(!QFileInfo::exists(path), "an interrupted run leaves no half archive");
    QVERIFY2(QDir(m_dir.path()).entryList({QStringLiteral("closed.cws*")}, QDir::Files | QDir::Hidden).isEmpty(),
             "nor a temporary file beside it");
}

void TstSlicer::unwritableArchive_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("device");
    QTest::newRow("missing directory") << m_dir.filePath(QStringLiteral("missing/out.cws")) << false;
    // Writes fail after the archive was opened: a full disk.
    if (QFileInfo::exists(QStringLiteral("/dev/full")))
        QTest::newRow("full disk") << QStringLiteral("/dev/full") << true;
}

void TstSlicer::unwritableArchive()
{
    QFETCH(QString, path);
    QFETCH(bool, device);
    add(TestMeshes::cube(10));
    KaloApp app;
    Startup::connectModelManager(app, *m_manager);

    // Without a main window the message box request ends in the log.
    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression(QStringLiteral("^no main window for message: .*")
                                            + QRegularExpression::escape(QDir::toNativeSeparators(path))));
    const QList<Report> reports = slice(path);

    QVERIFY2(reports.last().ratio > 1 && reports.last().cancled,
             "the end report of a failed run opens no completion dialog");
    QVERIFY2(m_manager->sliceError().contains(QDir::toNativeSeparators(path)),
             qPrintable("the failure names the archive, got " + m_manager->sliceError()));
    QCOMPARE(m_manager->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(QFileInfo::exists(path) == device, "no file is left behind; a device stays");
    QVERIFY2(!QFileInfo(path).isFile(), "a device is written in place, never replaced by a file");
}

QTEST_MAIN(TstSlicer)
#include "tst_slicer.moc"
