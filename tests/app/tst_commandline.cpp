#include "app/CommandLine.h"
#include "app/ProjectFile.h"
#include "common/MeshFiles.h"
#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "settings/KaloConfig.h"
#include "settings/PrinterProfile.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

#include <quazip.h>
#include <quazipfile.h>

namespace {

struct Result
{
    int status;
    QString out;
    QString err;
};

Result runCli(const QStringList &arguments, bool terminal = false)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int status = CommandLine(outStream, errStream, terminal).run(QStringList{"kalo3d-cli"} + arguments);
    return {status, out, err};
}

// Entry names in archive order and their contents; empty when the file is no zip.
QHash<QString, QByteArray> readArchive(const QString &path, QStringList *names = nullptr)
{
    QHash<QString, QByteArray> entries;
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdUnzip))
        return entries;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFile file(&zip);
        file.open(QIODevice::ReadOnly);
        entries.insert(zip.getCurrentFileName(), file.readAll());
        if (names)
            names->append(zip.getCurrentFileName());
    }
    return entries;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void collectMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_messages.append(message);
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_previousHandler(type, context, message);
}

} // namespace

class TstCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void infoReportsPlacedModel_data();
    void infoReportsPlacedModel();
    void infoAcceptsPathsAndUrls_data();
    void infoAcceptsPathsAndUrls();
    void infoFailsOnBadFiles_data();
    void infoFailsOnBadFiles();
    void usage_data();
    void usage();
    void sliceWritesArchive_data();
    void sliceWritesArchive();
    void slicePrinterOptions_data();
    void slicePrinterOptions();
    void sliceLeavesSettingsFileAlone();
    void sliceWithAutoSupports();
    void sliceWarnsOfPartsBeyondTheDisplay();
    void checkReportsFindings_data();
    void checkReportsFindings();
    void sliceFailures_data();
    void sliceFailures();
    void interruptedRunKeepsEarlierArchive_data();
    void interruptedRunKeepsEarlierArchive();
    void logIsQuietUnlessVerbose_data();
    void logIsQuietUnlessVerbose();
    void progressBarOnlyOnTerminal_data();
    void progressBarOnlyOnTerminal();

private:
    // A 1 mm cube: 20 layers at 50 µm.
    QString writeCube()
    {
        const QString path = m_dir.filePath("cube.stl");
        return StlWriter::write(path, TestMeshes::cube(1), StlWriter::Binary) ? path : QString();
    }

    QTemporaryDir m_dir;
};

void TstCommandLine::initTestCase()
{
    // The user's own printers stay out of the tests.
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/kalo3d/printers.json");
}

void TstCommandLine::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove("slice.custom.conf");
}

void TstCommandLine::cleanup()
{
    QFile::remove("slice.custom.conf");
}

void TstCommandLine::infoReportsPlacedModel_data()
{
    QTest::addColumn<QVector3D>("min");
    QTest::addColumn<QVector3D>("max");
    QTest::addColumn<int>("thicknessUm");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("project"); // saved where it stands, not placed as an STL
    QTest::newRow("20 mm cube, 50 um") << QVector3D(5, 5, 5) << QVector3D(25, 25, 25) << 50
                                      << "  size:      20.00 x 20.00 x 20.00 mm\n"
                                         "  volume:    8.00 mL\n"
                                         "  triangles: 12\n"
                                         "  layers:    400 at 50 \u00b5m\n"
                                         "  printing:  1 h 40 min\n"
                                      << false;
    // Slicing lowers it onto the plate: the figures are those of the print.
    QTest::newRow("20 mm cube floating 5 mm up, project") << QVector3D(5, 5, 5) << QVector3D(25, 25, 25) << 50
                                                         << "  size:      20.00 x 20.00 x 20.00 mm\n"
                                                            "  volume:    8.00 mL\n"
                                                            "  triangles: 12\n"
                                                            "  layers:    400 at 50 \u00b5m\n"
                                                            "  printing:  1 h 40 min\n"
                                                         << true;
    // 20 mm / 0.03 mm = 666.7: the top reaches past the middle of layer 667.
    QTest::newRow("20 mm cube, 30 um") << QVector3D(5, 5, 5) << QVector3D(25, 25, 25) << 30
                                      << "  size:      20.00 x 20.00 x 20.00 mm\n"
                                         "  volume:    8.00 mL\n"
                                         "  triangles: 12\n"
                                         "  layers:    667 at 30 \u00b5m\n"
                                         "  printing:  2 h 10 min\n"
                                      << false;
    // Shrunk to half about its centroid at 130 mm, it spans 65 to 195 mm;
    // slicing lowers it onto the plate.
    QTest::newRow("260 mm tower") << QVector3D(0, 0, 0) << QVector3D(10, 10, 260) << 50
                                  << "  size:      5.00 x 5.00 x 130.00 mm\n"
                                     "  volume:    3.25 mL\n"
                                     "  triangles: 12\n"
                                     "  layers:    2600 at 50 \u00b5m\n"
                                     "  printing:  10 h 43 min\n"
                                  << false;
}

void TstCommandLine::infoReportsPlacedModel()
{
    QFETCH(QVector3D, min);
    QFETCH(QVector3D, max);
    QFETCH(int, thicknessUm);
    QFETCH(QString, report);
    QFETCH(bool, project);
    const QString path = m_dir.filePath(project ? "model.kalo3d" : "model.stl");
    if (project) {
        const std::unique_ptr<Model> model(TestMeshes::makeModel(TestMeshes::box(min, max)));
        QVERIFY(ProjectFile::save(path, {model.get()}));
    } else {
        QVERIFY(StlWriter::write(path, TestMeshes::box(min, max), StlWriter::Binary));
    }

    const Result result = runCli({"info", "--thickness", QString::number(thicknessUm), path});

    QCOMPARE(result.status, 0);
    QCOMPARE(result.out, path + "\n" + report);
    QVERIFY2(result.err.isEmpty(), qPrintable("no message for a good file, got " + result.err));
}

void TstCommandLine::infoAcceptsPathsAndUrls_data()
{
    QTest::addColumn<QString>("argument");
    QTest::newRow("absolute path") << m_dir.filePath("cube.stl");
    QTest::newRow("file URL") << QUrl::fromLocalFile(m_dir.filePath("cube.stl")).toString();
    QTest::newRow("relative path") << QDir::current().relativeFilePath(m_dir.filePath("cube.stl"));
    QTest::newRow("OBJ model") << m_dir.filePath("cube.obj");
    QTest::newRow("PLY model") << m_dir.filePath("cube.ply");
}

void TstCommandLine::infoAcceptsPathsAndUrls()
{
    QFETCH(QString, argument);
    QVERIFY(StlWriter::write(m_dir.filePath("cube.stl"), TestMeshes::cube(10), StlWriter::Ascii));
    QVERIFY(MeshFiles::write(m_dir.filePath("cube.obj"), TestMeshes::cube(10)));
    QVERIFY(MeshFiles::write(m_dir.filePath("cube.ply"), TestMeshes::cube(10)));

    const Result result = runCli({"info", argument});

    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.startsWith(argument + "\n  size:      10.00 x 10.00 x 10.00 mm\n"),
             qPrintable("the report names the file as given, got " + result.out));
}

void TstCommandLine::infoFailsOnBadFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.stl" << QByteArray() << "no such file";
    QTest::newRow("not an STL") << "broken.stl" << QByteArray("this is no mesh")
                                << "not an STL file: it is text that does not begin with \"solid\"";
    QTest::newRow("other type") << "part.step" << QByteArray("v 0 0 0\n")
                                << "only STL, OBJ, 3MF or PLY models and kalo3d projects (.kalo3d) load";
    QTest::newRow("other type, missing") << "gone.step" << QByteArray() << "no such file";
    QTest::newRow("obj without faces") << "points.obj" << QByteArray("v 0 0 0\n") << "not a readable OBJ file";
}

void TstCommandLine::infoFailsOnBadFiles()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const QString bad = m_dir.filePath(fileName);
    if (!content.isNull()) {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const QString good = m_dir.filePath("cube.stl");
    QVERIFY(StlWriter::write(good, TestMeshes::cube(10), StlWriter::Binary));

    const Result result = runCli({"info", bad, good});

    QCOMPARE(result.status, 1);
    QCOMPARE(result.err, "kalo3d-cli: cannot load " + bad + ": " + reason + "\n");
    QVERIFY2(result.out.startsWith(good + "\n"), "the files after a bad one are still reported");
}

void TstCommandLine::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected"); // in the output for status 0, in the message otherwise
    QTest::newRow("help") << QStringList{"--help"} << 0 << "info FILE...";
    QTest::newRow("nothing") << QStringList{} << 2 << "no command given";
    QTest::newRow("unknown command") << QStringList{"print", "a.stl"} << 2 << "unknown command \"print\"";
    QTest::newRow("info without files") << QStringList{"info"} << 2 << "info needs at least one FILE";
    QTest::newRow("unknown option") << QStringList{"--fast", "info", "a.stl"} << 2 << "fast";
    QTest::newRow("wall too thick") << QStringList{"check", "a.stl", "--hollow", "20"} << 2
                                    << "--hollow takes a number from 0.5 to 10, not \"20\"";
    QTest::newRow("lattice without a hollow") << QStringList{"check", "a.stl", "--lattice", "10"} << 2
                                              << "--lattice goes with --hollow";
    QTest::newRow("info does not hollow") << QStringList{"info", "a.stl", "--drain-holes"} << 2
                                          << "--hollow, --lattice and --drain-holes are for slice and check";
    QTest::newRow("printers") << QStringList{"printers"} << 0
                              << QStringLiteral("SL1S\n  display:   2560 x 1620 px on 128 x 81 mm (50.00 x 50.00 \u00b5m "
                                                "pixels)\n  height:    150 mm\n  image:     portrait, mirrored in X\n"
                                                "  format:    sl1, built in\n");
}

void TstCommandLine::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, expected);

    const Result result = runCli(arguments);

    QCOMPARE(result.status, status);
    const QString &text = status == 0 ? result.out : result.err;
    QVERIFY2(text.contains(expected), qPrintable("expected \"" + expected + "\" in: " + text));
}

void TstCommandLine::sliceWritesArchive_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("layers");
    QTest::addColumn<int>("thicknessUm");
    QTest::addColumn<int>("depth"); // of the layer images
    QTest::addColumn<QStringList>("gcodeLines");

    QTest::newRow("built-in values") << QStringList{} << 20 << 50 << 8
                                     << QStringList{";(Layer Thickness         = 0.05000 mm )",
                                                    ";(Layer Time              = 8000 ms )",
                                                    ";(Bottom Layers Time      = 30000 ms )",
                                                    ";(Number of Bottom Layers = 3 )",
                                                    "G1 Z4.000 F100", "G1 Z-3.950 F100", ";<Delay> 6800", "G1 Z50"};
    // (5 mm at 60 mm/min + 5 mm at 80 mm/min) + 1.5 s = 10.25 s.
    QTest::newRow("every setting")
        << QStringList{"--thickness", "40", "--bottom-layers", "2", "--bottom-exposure", "12.5", "--exposure", "3",
                       "--antialias", "off", "--lift-height", "5", "--lift-up-speed", "60", "--lift-down-speed", "80",
                       "--wait", "1.5"}
        << 25 << 40 << 1
        << QStringList{";(Layer Thickness         = 0.04000 mm )", ";(Layer Time              = 3000 ms )",
                       ";(Bottom Layers Time      = 12500 ms )", ";(Number of Bottom Layers = 2 )",
                       ";(Lift Distance           = 5 mm )", ";(Z Lift Feed Rate        = 60.0 mm/s )",
                       ";(Z Lift Retract Rate     = 80.0 mm/s )", "G1 Z5.000 F60", "G1 Z-4.960 F80", ";<Delay> 10250"};
    // The K20 foundry resin preset: 20 µm, 150 s bottom and 30 s exposures.
    QTest::newRow("printer and resin preset")
        << QStringList{"--printer", "k20", "--resin", "foundry", "--antialias", "off"} << 50 << 20 << 1
        << QStringList{";(Layer Thickness         = 0.02000 mm )", ";(Layer Time              = 30000 ms )",
                       ";(Bottom Layers Time      = 150000 ms )"};
    QTest::newRow("preset, then own exposure")
        << QStringList{"--resin", "2", "--thickness", "100", "--exposure", "7", "--antialias", "off"} << 10 << 100 << 1
        << QStringList{";(Layer Time              = 7000 ms )", ";(Bottom Layers Time      = 60000 ms )"};
}

void TstCommandLine::sliceWritesArchive()
{
    QFETCH(QStringList, options);
    QFETCH(int, layers);
    QFETCH(int, thicknessUm);
    QFETCH(int, depth);
    QFETCH(QStringList, gcodeLines);
    const QString cube = writeCube();
    const QString archive = m_dir.filePath("job.cws");

    const Result result = runCli(QStringList{"slice", cube, "-o", archive} + options);

    QVERIFY2(result.status == 0, qPrintable("slicing succeeds, got " + result.err));
    const QRegularExpression report(QStringLiteral("^%1\n  layers:    %2 at %3 \u00b5m\n  volume:    0\\.00 mL\n"
                                                   "  printing:  \\d+ (h \\d\\d )?min( \\d\\d s)?\n"
                                                   "  time:      \\d+\\.\\d\\d s\n  check:     0 islands, .*\n$")
                                        .arg(QRegularExpression::escape(archive))
                                        .arg(layers)
                                        .arg(thicknessUm));
    QVERIFY2(report.match(result.out).hasMatch(), qPrintable("the report names archive, layers, volume, print time, time and the check's counts, got " + result.out));

    QStringList names;
    const QHash<QString, QByteArray> entries = readArchive(archive, &names);
    QCOMPARE(names.size(), layers + 1);
    QCOMPARE(names.last(), QStringLiteral("job.gcode"));
    QImage first;
    QVERIFY2(first.loadFromData(entries.value(QStringLiteral("job%1.png").arg(0, QString::number(layers).size(), 10,
                                                                             QLatin1Char('0'))),
                                "PNG"),
             "the first layer decodes");
    QCOMPARE(first.depth(), depth);
    QCOMPARE(first.size(), QSize(1375, 2455));
    const QStringList gcode = QString::fromLatin1(entries.value("job.gcode")).split('\n');
    for (const QString &line : qAsConst(gcodeLines))
        QVERIFY2(gcode.contains(line), qPrintable("the G-code holds \"" + line + "\""));
}

void TstCommandLine::slicePrinterOptions_data()
{
    // FILE stands for a printer file of a 12K display cut down to 200 x 100
    // pixels on 20 x 10 mm, portrait, CWS.
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("firstLayer");
    QTest::addColumn<QString>("closing"); // the entry the archive ends with
    QTest::addColumn<QSize>("size");
    QTest::newRow("SL1S") << QStringList{"--printer", "sl1s"} << "job00000.png" << "thumbnail/thumbnail400x400.png"
                          << QSize(1620, 2560);
    QTest::newRow("K20C as SL1") << QStringList{"--format", "sl1"} << "job00000.png"
                                 << "thumbnail/thumbnail400x400.png" << QSize(1375, 2455);
    QTest::newRow("another display") << QStringList{"--display-pixels", "400,300", "--display-size", "40,60"}
                                     << "job00.png" << "job.gcode" << QSize(400, 300);
    QTest::newRow("printer file") << QStringList{"--printer-file", "FILE"} << "job00.png" << "job.gcode"
                                  << QSize(100, 200);
}

void TstCommandLine::slicePrinterOptions()
{
    QFETCH(QStringList, options);
    QFETCH(QString, firstLayer);
    QFETCH(QString, closing);
    QFETCH(QSize, size);
    PrinterProfile printer;
    printer.name = "Small";
    printer.resolutionX = 200;
    printer.resolutionY = 100;
    printer.sizeXMm = 20;
    printer.sizeYMm = 10;
    printer.portrait = true;
    const QString printerFile = m_dir.filePath("small.json");
    QVERIFY(PrinterProfile::writeFile(printerFile, {printer}, nullptr));
    options.replaceInStrings("FILE", printerFile);
    const QString archive = m_dir.filePath("job.out");

    const Result result = runCli(QStringList{"slice", writeCube(), "-o", archive} + options);

    QVERIFY2(result.status == 0, qPrintable("slicing succeeds, got " + result.err));
    QStringList names;
    const QHash<QString, QByteArray> entries = readArchive(archive, &names);
    QCOMPARE(names.last(), closing);
    QImage first;
    QVERIFY2(first.loadFromData(entries.value(firstLayer), "PNG"), qPrintable(firstLayer + " decodes"));
    QCOMPARE(first.size(), size);
    if (closing == "job.gcode") {
        const QString gcode = QString::fromLatin1(entries.value("job.gcode"));
        QVERIFY2(gcode.contains(QStringLiteral(";(X Resolution            = %1 )").arg(size.width() == 100 ? 200 : 400)),
                 "the G-code names the display's resolution");
    }
}

void TstCommandLine::sliceLeavesSettingsFileAlone()
{
    // The user's settings in the working directory: 100 µm layers.
    {
        KaloConfig user;
        user.setThicknessMM(0.1f);
        QVERIFY(user.save());
    }
    const QByteArray before = fileBytes("slice.custom.conf");
    const QString cube = writeCube();
    const QString archive = m_dir.filePath("job.cws");

    const Result builtIn = runCli({"slice", cube, "-o", archive, "--antialias", "off"});
    QCOMPARE(builtIn.status, 0);
    QVERIFY2(builtIn.out.contains("layers:    20 at 50"), "without --settings the built-in 50 µm apply");

    const Result fromFile =
        runCli({"slice", cube, "-o", archive, "--settings", "slice.custom.conf", "--antialias", "off"});
    QCOMPARE(fromFile.status, 0);
    QVERIFY2(fromFile.out.contains("layers:    10 at 100"), "--settings reads the file's 100 µm");
    QVERIFY2(readArchive(archive).size() == 11, "the archive is rewritten with the file's layers");

    const Result info = runCli({"info", cube, "--settings", "slice.custom.conf", "--thickness", "25"});
    QVERIFY2(info.out.contains("layers:    40 at 25"), "options change what the file says");

    QVERIFY2(fileBytes("slice.custom.conf") == before, "the settings file is never written");
    QVERIFY2(!QFile::exists(m_dir.filePath("slice.custom.conf")), "and none is made beside the models");
}

void TstCommandLine::sliceWithAutoSupports()
{
    // A 5 mm post and beside it a block from 3 to 4 mm: only the block starts in mid-air.
    const QString model = m_dir.filePath("overhang.stl");
    QVERIFY(StlWriter::write(
        model, TestMeshes::combined(TestMeshes::box({0, 0, 0}, {1, 1, 5}), TestMeshes::box({3, 0, 3}, {5, 1, 4})),
        StlWriter::Binary));
    const QStringList options{"--antialias", "off", "--thickness", "100"};

    const Result plain = runCli(QStringList{"slice", model, "-o", m_dir.filePath("plain.cws")} + options);
    const Result supported =
        runCli(QStringList{"slice", model, "-o", m_dir.filePath("supported.cws"), "--auto-supports", "--support-mode",
                           "islands"} + options);

    QVERIFY2(plain.status == 0 && supported.status == 0, qPrintable("both runs succeed, got " + plain.err + supported.err));
    QVERIFY2(QRegularExpression(QStringLiteral("\n  supports:  1 added in \\d+\\.\\d\\d s\n  check:     0 islands, .*\n$")).match(supported.out).hasMatch(),
             qPrintable("the report ends with the one support added and the check, got " + supported.out));
    QVERIFY2(!plain.out.contains("supports:"), "without the option nothing is added");
    // Layer 5 (0.55 mm) cuts the post, and with the support also the foot of its column.
    const auto whitePixels = [](const QByteArray &png) {
        const QImage image = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_Grayscale8);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            const uchar *line = image.constScanLine(y);
            count += int(std::count(line, line + image.width(), uchar(255)));
        }
        return count;
    };
    const int post = whitePixels(readArchive(m_dir.filePath("plain.cws")).value("plain05.png"));
    const int withColumn = whitePixels(readArchive(m_dir.filePath("supported.cws")).value("supported05.png"));
    QVERIFY2(post > 0 && withColumn > post + 2000,
             qPrintable(QStringLiteral("the column adds its foot to the layer: %1 then %2 white pixels").arg(post).arg(withColumn)));
}

void TstCommandLine::sliceWarnsOfPartsBeyondTheDisplay()
{
    // 80 mm across a display 65 mm wide.
    const QString wide = m_dir.filePath("wide.stl");
    QVERIFY(StlWriter::write(wide, TestMeshes::box({0, 0, 0}, {80, 5, 1}), StlWriter::Binary));
    const QString archive = m_dir.filePath("wide.cws");

    const Result result = runCli({"slice", wide, "-o", archive, "--antialias", "off", "--thickness", "100"});

    QVERIFY2(result.status == 0, qPrintable("the part within the display is sliced, got " + result.err));
    QVERIFY2(result.err.contains("warning: " + wide + " reaches beyond the printable area of the printer K20C ("),
             qPrintable("the warning names the model and the printer, got " + result.err));
    QVERIFY2(QFile::exists(archive), "the archive is written");
}

void TstCommandLine::checkReportsFindings_data()
{
    // STACK stands for a 10 mm block with a 6 mm one floating 2 mm above it, OUT for the archive.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output"); // a regular expression
    QTest::addColumn<bool>("archive");
    QTest::newRow("check") << QStringList{"check", "STACK"} << 0
                           << "^island: layers 140-140 \\(7\\.00-7\\.05 mm\\) at x 0\\.\\d\\d y -?0\\.\\d\\d mm, "
                              "3\\d\\.\\d\\d mm2, .*stack\\.stl\ncheck: +1 island, 0 overhangs" << false;
    QTest::newRow("check --json") << QStringList{"check", "STACK", "--json"} << 0
                                  << "\"firstLayer\": 140,\\s+\"kind\": \"island\",\\s+\"lastLayer\": 140,\\s+\"model\": 0"
                                  << false;
    QTest::newRow("slice reports the counts") << QStringList{"slice", "STACK", "-o", "OUT"} << 0
                                              << "\n  check:     1 island, 0 overhangs, 0 resin traps" << true;
    QTest::newRow("strict slice") << QStringList{"slice", "STACK", "-o", "OUT", "--strict"} << 4
                                  << "^  check:     1 island, " << false;
    QTest::newRow("strict slice, supported") << QStringList{"slice", "STACK", "-o", "OUT", "--strict", "--auto-supports"}
                                             << 0 << "\n  check:     0 islands, " << true;
    // The block keeps a 2 mm wall around a cavity 1 mm high; the floating one is too thin.
    QTest::newRow("check, hollow") << QStringList{"check", "STACK", "--hollow", "2"} << 0
                                   << "\ncheck: +1 island, 1 overhang, 1 resin trap, 1 suction cup" << false;
    QTest::newRow("slice, hollow and drained")
        << QStringList{"slice", "STACK", "-o", "OUT", "--hollow", "2", "--drain-holes"} << 0
        << "\n  hollow:    1 of 1 models, 1 drain holes\n  check:     1 island, 1 overhang, 0 resin traps, 0 suction"
        << true;
}

void TstCommandLine::checkReportsFindings()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(bool, archive);
    const QString stack = m_dir.filePath("stack.stl");
    MeshPrimitiveData mesh = TestMeshes::box({-5, -5, 0}, {5, 5, 5});
    const MeshPrimitiveData top = TestMeshes::box({-3, -3, 7}, {3, 3, 10});
    for (uint32_t index : top.indices)
        mesh.indices.push_back(uint32_t(mesh.vertices.size()) + index);
    mesh.vertices.insert(mesh.vertices.end(), top.vertices.begin(), top.vertices.end());
    QVERIFY(StlWriter::write(stack, mesh, StlWriter::Binary));
    const QString out = m_dir.filePath("checked.cws");
    QFile::remove(out);
    arguments.replaceInStrings("STACK", stack);
    arguments.replaceInStrings("OUT", out);

    const Result result = runCli(arguments << "--antialias" << "off");

    QVERIFY2(result.status == status, qPrintable(QStringLiteral("expected status %1, got %2: %3").arg(status).arg(result.status).arg(result.err)));
    QVERIFY2(QRegularExpression(output).match(result.out).hasMatch(), qPrintable("expected " + output + " in: [" + result.out + "]"));
    QVERIFY2(QFile::exists(out) == archive, archive ? "the archive is written" : "no archive is written");
}

void TstCommandLine::sliceFailures_data()
{
    // CUBE stands for a good model, OUT for the archive, MISSING for one in a
    // directory that does not exist.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing model") << QStringList{"slice", "CUBE", "missing.stl", "-o", "OUT"} << 1
                                   << "cannot load missing.stl: no such file";
    QTest::newRow("unreadable settings") << QStringList{"slice", "CUBE", "-o", "OUT", "--settings", "nothing.conf"}
                                         << 1 << "cannot read settings file nothing.conf: no such file";
    QTest::newRow("settings from a pipe") << QStringList{"slice", "CUBE", "-o", "OUT", "--settings", "PIPE"} << 1
                                          << "cannot read settings file PIPE: it is a pipe, not a regular file";
    QTest::newRow("output directory missing") << QStringList{"slice", "CUBE", "-o", "MISSING"} << 3
                                              << "Cannot create the print file";
    QTest::newRow("no output") << QStringList{"slice", "CUBE"} << 2 << "-o OUT.cws";
    // Told before the run, not after it.
    QTest::newRow("blank output") << QStringList{"slice", "CUBE", "-o", " "} << 2 << "-o needs a file name, not blanks";
    QTest::newRow("line break in the output")
        << QStringList{"slice", "CUBE", "-o", "job\n.cws"} << 2 << "-o takes a file name without control characters";
    QTest::newRow("no model") << QStringList{"slice", "-o", "OUT"} << 2 << "slice needs at least one FILE";
    QTest::newRow("output for info") << QStringList{"info", "CUBE", "-o", "OUT"} << 2 << "-o is for slice";
    QTest::newRow("empty project") << QStringList{"slice", "EMPTY", "-o", "OUT"} << 2
                                   << "Nothing to slice: the scene is empty";
    QTest::newRow("model below the plate") << QStringList{"slice", "SUNK", "-o", "OUT"} << 2
                                           << "Nothing to slice: no part of the models lies above the plate";
    QTest::newRow("taller than the printer") << QStringList{"slice", "CUBE", "TALL", "-o", "OUT"} << 2
                                             << "the printer K20C builds up to 150 mm, and this reaches above: "
                                                "TALL (180.00 mm)";
    // Refused before anything is read: the model or settings would be lost.
    QTest::newRow("output is the model") << QStringList{"slice", "CUBE", "-o", "CUBE"} << 2
                                         << "is the input CUBE; writing the archive would destroy it";
    QTest::newRow("output is a link to the model") << QStringList{"slice", "CUBE", "-o", "LINK"} << 2
                                                   << "is the input CUBE";
    QTest::newRow("output is a hard link to the model") << QStringList{"slice", "CUBE", "-o", "TWIN"} << 2
                                                        << "is the input CUBE";
    QTest::newRow("output is the settings file")
        << QStringList{"slice", "CUBE", "-o", "nothing.conf", "--settings", "nothing.conf"} << 2
        << "-o nothing.conf is the input nothing.conf";
    QTest::newRow("supports for info") << QStringList{"info", "CUBE", "--auto-supports"} << 2
                                       << "--auto-supports is for slice";
    const auto badValue = [](const char *option, const char *value, const char *message) {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(option, value)))
            << QStringList{"slice", "CUBE", "-o", "OUT", option, value} << 2 << message;
    };
    badValue("--thickness", "5", "--thickness takes a whole number from 10 to 100, not \"5\"");
    badValue("--thickness", "50.5", "--thickness takes a whole number from 10 to 100");
    badValue("--bottom-layers", "-1", "--bottom-layers takes a whole number from 0 to 10");
    badValue("--exposure", "abc", "--exposure takes a number from 1 to 180, not \"abc\"");
    badValue("--bottom-exposure", "200", "--bottom-exposure takes a number from 1 to 180");
    badValue("--antialias", "maybe", "--antialias takes on or off");
    badValue("--aa-factor", "1", "--aa-factor takes a number from 2 to 5");
    badValue("--printer", "K99", "unknown printer \"K99\"; known: K20, K20A, K20C, K20D, K20DO, K30");
    badValue("--resin", "7", "unknown resin \"7\"");
    badValue("--display-pixels", "0,100", "the display given: resolution X must be 1 to 32768 pixels");
    badValue("--display-pixels", "400", "--display-pixels takes two whole numbers X,Y");
    badValue("--display-size", "100,1001", "the display given: display size Y must be 1 to 1000 mm");
    badValue("--format", "ctb", "--format takes cws or sl1, not \"ctb\"");
    QTest::newRow("damaged printer file") << QStringList{"slice", "CUBE", "-o", "OUT", "--printer-file", "CUBE"} << 1
                                          << "cannot read printer file";
    badValue("--lift-height", "20", "--lift-height takes a number from 3 to 12");
    badValue("--lift-up-speed", "500", "--lift-up-speed takes a number from 20 to 200");
    badValue("--lift-down-speed", "0", "--lift-down-speed takes a number from 20 to 200");
    badValue("--wait", "4", "--wait takes a number from 0 to 3");
}

void TstCommandLine::sliceFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    const QString cube = writeCube();
    const QString archive = m_dir.filePath("out.cws");
    const QString unreachable = m_dir.filePath("missing/out.cws");
    const QByteArray model = fileBytes(cube);
    QFile::link(cube, m_dir.filePath("link.stl"));
    ::link(QFile::encodeName(cube).constData(), QFile::encodeName(m_dir.filePath("twin.stl")).constData());
    arguments.replaceInStrings("CUBE", cube);
    arguments.replaceInStrings("OUT", archive);
    arguments.replaceInStrings("MISSING", unreachable);
    arguments.replaceInStrings("LINK", m_dir.filePath("link.stl"));
    arguments.replaceInStrings("TWIN", m_dir.filePath("twin.stl"));
    const QString tall = m_dir.filePath("tall.stl");
    QVERIFY(StlWriter::write(tall, TestMeshes::box({0, 0, 0}, {1, 1, 180}), StlWriter::Binary));
    arguments.replaceInStrings("TALL", tall);
    const QString empty = m_dir.filePath("empty.kalo3d");
    const QString sunk = m_dir.filePath("sunk.kalo3d");
    const std::unique_ptr<Model> below(TestMeshes::makeModel(TestMeshes::box({0, 0, -5}, {1, 1, -1})));
    QVERIFY(ProjectFile::save(empty, {}) && ProjectFile::save(sunk, {below.get()}));
    arguments.replaceInStrings("EMPTY", empty);
    arguments.replaceInStrings("SUNK", sunk);
    const QString pipe = m_dir.filePath("settings.pipe");
    mkfifo(QFile::encodeName(pipe).constData(), 0666);
    arguments.replaceInStrings("PIPE", pipe);
    message.replace("PIPE", pipe);
    message.replace("CUBE", cube);
    message.replace("TALL", tall);

    const Result result = runCli(arguments);

    QCOMPARE(result.status, status);
    QVERIFY2(result.err.contains(message), qPrintable("expected \"" + message + "\" in: " + result.err));
    QVERIFY2(result.out.isEmpty(), "a failure reports nothing as done");
    QVERIFY2(!QFile::exists(archive) && !QFile::exists(unreachable), "no archive is written");
    QVERIFY2(fileBytes(cube) == model, "the model file stays as it was");
}

void TstCommandLine::interruptedRunKeepsEarlierArchive_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("earlierArchive");
    QTest::addColumn<bool>("autoSupports");
    QTest::newRow("Ctrl-C while slicing") << int(SIGINT) << true << false;
    QTest::newRow("SIGTERM while slicing") << int(SIGTERM) << true << false;
    QTest::newRow("Ctrl-C while slicing, no earlier archive") << int(SIGINT) << false << false;
    QTest::newRow("Ctrl-C while adding supports") << int(SIGINT) << true << true;
}

void TstCommandLine::interruptedRunKeepsEarlierArchive()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, earlierArchive);
    QFETCH(bool, autoSupports);
    // Hundreds of layers with supports under the bottom half: the signal
    // comes long before the end.
    const QTemporaryDir dir;
    const QString model = dir.filePath("sphere.stl");
    QVERIFY(StlWriter::write(model, TestMeshes::sphere(20, {0, 0, 25}, 48, 96), StlWriter::Binary));
    const QString archive = dir.filePath("job.cws");
    const QByteArray earlier("an archive from before");
    if (earlierArchive) {
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size());
    }
    QStringList arguments{"slice", model, "-o", archive};
    // The layer-by-layer method runs long enough for the signal to find it going.
    if (autoSupports)
        arguments << "--auto-supports" << "--support-mode" << "islands";

    // The first event loop is the run's.
    QTimer::singleShot(0, [signalNumber] { raise(signalNumber); });
    const Result result = runCli(arguments);

    QCOMPARE(result.status, 128 + signalNumber);
    const QString kept = earlierArchive ? " keeps what it held before" : " was not written";
    QVERIFY2(result.err.contains("interrupted: " + QDir::toNativeSeparators(archive) + kept), qPrintable(result.err));
    QVERIFY2(result.out.isEmpty(), "an interrupted run reports nothing as done");
    QCOMPARE(fileBytes(archive), earlierArchive ? earlier : QByteArray());
    const QStringList files = earlierArchive ? QStringList{"job.cws", "sphere.stl"} : QStringList{"sphere.stl"};
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), files);
}

void TstCommandLine::logIsQuietUnlessVerbose_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::newRow("quiet") << false;
    QTest::newRow("verbose") << true;
}

void TstCommandLine::logIsQuietUnlessVerbose()
{
    QFETCH(bool, verbose);
    const QString cube = writeCube();
    QStringList arguments{"slice", cube, "-o", m_dir.filePath("job.cws"), "--antialias", "off"};
    if (verbose)
        arguments << "--verbose";

    g_messages.clear();
    g_previousHandler = qInstallMessageHandler(collectMessage);
    const Result result = runCli(arguments);
    qInstallMessageHandler(g_previousHandler);

    QCOMPARE(result.status, 0);
    const bool startLogged = !g_messages.filter("KaloModel::startSlice").isEmpty();
    QVERIFY2(startLogged == verbose, verbose ? "--verbose lets the whole log through" : "debug lines are dropped");
}

void TstCommandLine::progressBarOnlyOnTerminal_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::newRow("terminal") << true;
    QTest::newRow("pipe") << false;
}

void TstCommandLine::progressBarOnlyOnTerminal()
{
    QFETCH(bool, terminal);
    const Result result =
        runCli({"slice", writeCube(), "-o", m_dir.filePath("job.cws"), "--antialias", "off", "--thickness", "100"},
               terminal);

    QCOMPARE(result.status, 0);
    if (terminal)
        QVERIFY2(result.err.startsWith("\r[") && result.err.endsWith("] 100% of 10 layers\n"),
                 qPrintable("a bar redrawn in place, ending full, got " + result.err));
    else
        QVERIFY2(result.err.isEmpty(), qPrintable("no bar into a pipe, got " + result.err));
}

QTEST_MAIN(TstCommandLine)
#include "tst_commandline.moc"
