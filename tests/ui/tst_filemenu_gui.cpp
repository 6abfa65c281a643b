#include "common/MainWindow.h"
#include "common/MeshFiles.h"
#include "common/TestMeshes.h"
#include "common/UiDriver.h"
#include "geometry/Model.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <quazip.h>

#include <memory>

using namespace TestMeshes;

// The File menu with its dialog: saving the job, slicing into an archive
// with the progress bar and the completion dialog, cancelling, and errors
// reaching the critical message box.
class TstFileMenuGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_main.reset(); }

    void saveAsksForAFileOnceThenSavesSilently();
    void sliceFromTheMenuWritesTheArchive();
    void escapeCancelsSlicing();
    void aSceneThatDoesNotFitAsksFirst_data();
    void aSceneThatDoesNotFitAsksFirst();
    void nothingToSliceIsRefused_data();
    void nothingToSliceIsRefused();
    void anArchiveThatCannotBeWrittenIsReported();
    void projectFilesThatFailAreReported();
    void filtersMatchAnyLetterCase_data();
    void filtersMatchAnyLetterCase();
    void typedNamesLieInTheFolderShown();

private:
    QObject *fileDialog() const { return m_main->item<QObject>(QStringLiteral("fileDialog")); }
    QQuickItem *progress() const { return m_main->item(QStringLiteral("sliceProgress")); }
    // Opens an STL of mesh through File → Open.
    bool open(const MeshPrimitiveData &mesh)
    {
        return UiDriver::openThroughMenu(*m_main, UiDriver::stlFile(QStringLiteral("model.stl"), mesh));
    }
    // Chooses File → Slice... and the archive file.
    bool sliceTo(const QString &archive)
    {
        QObject *item = m_main->item<QObject>(QStringLiteral("menuSlice"));
        if (!item || !QMetaObject::invokeMethod(item, "trigger"))
            return false;
        return fileDialog()->property("mode").toString() == QLatin1String("Slice")
               && UiDriver::chooseFile(fileDialog(), archive) && UiDriver::reactivate(*m_main);
    }
    // Layer images at 0.1 mm without supersampling: quick to slice.
    void quickSettings()
    {
        KaloConfig *config = m_main->config();
        config->setThicknessMM(0.1f);
        config->useAntialise(false);
        config->updateBuildConfig();
    }

    QQuickWindow *dialogWindow() const { return qobject_cast<QQuickWindow *>(fileDialog()); }
    // Types text into the dialog's file name field and presses Enter.
    void typeName(const QString &text)
    {
        auto *field = dialogWindow()->findChild<QQuickItem *>(QStringLiteral("nameField"));
        QVERIFY(field);
        // A click before the dialog is shown and laid out misses the field.
        QVERIFY(QTest::qWaitForWindowExposed(dialogWindow()));
        UiDriver::typeInto(dialogWindow(), field, text);
    }
    // The names the dialog lists now, in name order.
    QStringList listed() const
    {
        auto *model = dialogWindow()->findChild<QAbstractItemModel *>(QStringLiteral("folderModel"));
        if (!model)
            return {};
        const int role = model->roleNames().key("fileName");
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->data(model->index(row, 0), role).toString();
        names.sort();
        return names;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_main;
};

void TstFileMenuGui::init()
{
    m_main = std::make_unique<MainWindow>();
    QVERIFY2(m_main->window(), "the main window is shown");
}

void TstFileMenuGui::saveAsksForAFileOnceThenSavesSilently()
{
    QVERIFY(open(cube(10)));
    QTest::keyClick(m_main->window(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(fileDialog()->property("visible").toBool(), "the first save asks where");
    QCOMPARE(fileDialog()->property("mode").toString(), QStringLiteral("Save"));
    QCOMPARE(fileDialog()->property("selectExisting").toBool(), false);

    // A name typed without its type gets ".kalo3d".
    const QString job = m_dir.filePath(QStringLiteral("boat"));
    QVERIFY(UiDriver::chooseFile(fileDialog(), job));
    QVERIFY(UiDriver::reactivate(*m_main));
    QCOMPARE(m_main->app()->prjFile(), job + QStringLiteral(".kalo3d"));
    QVERIFY2(QFile::exists(job + QStringLiteral(".kalo3d")), "the job is written");

    QVERIFY(QFile::remove(job + QStringLiteral(".kalo3d")));
    QTest::keyClick(m_main->window(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(!fileDialog()->property("visible").toBool(), "the second save does not ask");
    QVERIFY2(QFile::exists(job + QStringLiteral(".kalo3d")), "it writes the same file again");

    // Save As always asks.
    QVERIFY(QMetaObject::invokeMethod(m_main->item<QObject>(QStringLiteral("menuSaveAs")), "trigger"));
    QVERIFY(fileDialog()->property("visible").toBool());
    QCOMPARE(fileDialog()->property("mode").toString(), QStringLiteral("SaveAs"));
    QMetaObject::invokeMethod(fileDialog(), "reject");
}

void TstFileMenuGui::sliceFromTheMenuWritesTheArchive()
{
    quickSettings();
    QVERIFY(open(cube(2)));
    // Slicing from the preview slices the whole models.
    QVERIFY(m_main->manager()->setShowSliceEnable(true));
    m_main->manager()->setCurrentLayer(3);
    const QString archive = m_dir.filePath(QStringLiteral("job.cws"));
    QVERIFY2(sliceTo(archive), "File → Slice... asks for the archive");
    QCOMPARE(m_main->manager()->currentLayer(), -1);
    QVERIFY2(progress()->isVisible() || m_main->manager()->status() == KaloModel::MODEL_LOADED,
             "the progress bar shows while slicing");

    auto *done = m_main->item<QObject>(QStringLiteral("sliceDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(done->property("visible").toBool(), 30000);
    const QString text = done->property("text").toString();
    QVERIFY2(text.startsWith(QStringLiteral("Slice completed")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Total: 20 layers")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Time : 00:00:")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Saved as: ") + QDir::toNativeSeparators(archive)), qPrintable(text));
    QVERIFY2(m_main->item(QStringLiteral("openFolderButton"))->isVisible(), "the dialog offers the archive's folder");
    QVERIFY2(!progress()->isVisible(), "the progress bar hides at the end");
    if (QQuickWindow *dialog = UiDriver::windowTitled(QStringLiteral("marn3d"))) {
        QTest::qWait(300); // the dialog takes its size once shown
        MainWindow::keep(dialog->grabWindow(), QStringLiteral("slice_complete"));
    }

    QuaZip zip(archive);
    QVERIFY2(zip.open(QuaZip::mdUnzip), "the archive is a zip file");
    const QStringList entries = zip.getFileNameList();
    QCOMPARE(entries.size(), 21);
    QVERIFY(entries.contains(QStringLiteral("job00.png")) && entries.contains(QStringLiteral("job19.png")));
    QVERIFY(entries.contains(QStringLiteral("job.gcode")));

    QVERIFY(QMetaObject::invokeMethod(done, "accept"));
    QCOMPARE(progress()->property("value").toDouble(), 0.0);
}

void TstFileMenuGui::escapeCancelsSlicing()
{
    // Many large layers: the run is still going when Escape arrives.
    m_main->config()->setThicknessMM(0.01f);
    m_main->config()->useAntialise(true);
    m_main->config()->antiAliseValue(4);
    m_main->config()->updateBuildConfig();
    QVERIFY(open(sphere(30, QVector3D(0, 0, 30))));
    KaloModel *manager = m_main->manager();

    QVERIFY(sliceTo(m_dir.filePath(QStringLiteral("cancelled.cws"))));
    QVERIFY(progress()->isVisible());
    QCOMPARE(manager->status(), KaloModel::MODEL_SLICING);
    MainWindow::keep(m_main->frame(), QStringLiteral("slice_progress"));
    QCOMPARE(m_main->item(QStringLiteral("progressPrompt"))->property("text").toString(),
             QStringLiteral("Press Ctrl+C or Escape to cancel slicing"));

    // The view turns while the run goes, a pixel a degree: a drag over empty space near the top.
    const int turned = manager->camera().viewRotateZ;
    QPoint at(m_main->window()->width() / 2, 60);
    QTest::mousePress(m_main->window(), Qt::LeftButton, Qt::NoModifier, at);
    for (int i = 0; i < 5; ++i) {
        at += QPoint(8, 0);
        QTest::mouseMove(m_main->window(), at);
    }
    QTest::mouseRelease(m_main->window(), Qt::LeftButton, Qt::NoModifier, at);
    if (manager->status() == KaloModel::MODEL_SLICING)
        QCOMPARE(manager->camera().viewRotateZ, turned + 40);

    QTest::keyClick(m_main->window(), Qt::Key_Escape);
    QVERIFY2(manager->sliceCancelled(), "Escape cancels the run");
    QTRY_COMPARE_WITH_TIMEOUT(manager->status(), KaloModel::MODEL_LOADED, 60000);
    QVERIFY2(!progress()->isVisible(), "the progress bar hides");
    QVERIFY2(!m_main->item<QObject>(QStringLiteral("sliceDialog"))->property("visible").toBool(),
             "no completion dialog after a cancel");
    QCOMPARE(m_main->item(QStringLiteral("statusMessageText"))->property("text").toString(),
             QStringLiteral("Slicing cancelled"));
    QVERIFY(m_main->item(QStringLiteral("statusMessage"))->isVisible());
}

void TstFileMenuGui::aSceneThatDoesNotFitAsksFirst_data()
{
    QTest::addColumn<QVector3D>("size"); // of a box (mm)
    QTest::addColumn<QStringList>("told");
    // The printer builds 150 mm high on a display of 65 x 116 mm.
    QTest::newRow("taller than the printer") << QVector3D(2, 2, 180)
                                             << QStringList{"builds up to 150 mm", "(180.00 mm)"};
    QTest::newRow("wider than the display")
        << QVector3D(80, 2, 2) << QStringList{"model.stl reaches beyond the printable area of the printer K20C"};
}

void TstFileMenuGui::aSceneThatDoesNotFitAsksFirst()
{
    QFETCH(QVector3D, size);
    QFETCH(QStringList, told);
    quickSettings();
    QVERIFY(open(box(QVector3D(-size.x() / 2, -size.y() / 2, 0), QVector3D(size.x() / 2, size.y() / 2, size.z()))));
    auto *question = m_main->item<QObject>(QStringLiteral("heightWarning"));
    const QString archive = m_dir.filePath(QStringLiteral("large.cws"));
    QFile::remove(archive);

    QVERIFY(sliceTo(archive));
    QVERIFY2(question->property("visible").toBool(), "the window asks before it slices");
    const QString text = question->property("text").toString();
    for (const QString &part : told)
        QVERIFY2(text.contains(part), qPrintable("the question says \"" + part + "\", got " + text));
    QVERIFY2(text.endsWith(QStringLiteral("Slice anyway?")), qPrintable(text));
    QVERIFY(QMetaObject::invokeMethod(question, "reject"));
    QCOMPARE(m_main->manager()->status(), KaloModel::MODEL_LOADED);
    QVERIFY2(!progress()->isVisible() && !QFile::exists(archive), "Cancel slices nothing");

    QVERIFY(sliceTo(archive));
    QVERIFY(QMetaObject::invokeMethod(question, "yes"));
    auto *done = m_main->item<QObject>(QStringLiteral("sliceDialog"));
    QTRY_VERIFY_WITH_TIMEOUT(done->property("visible").toBool(), 60000);
    QVERIFY2(QFile::exists(archive), "Yes slices anyway");
    QVERIFY(QMetaObject::invokeMethod(done, "accept"));
}

void TstFileMenuGui::nothingToSliceIsRefused_data()
{
    QTest::addColumn<float>("sink"); // mm the model is moved down; negative: no model at all
    QTest::addColumn<QString>("message");
    QTest::newRow("empty scene") << -1.0f << "Nothing to slice: the scene is empty. Load a model first.";
    QTest::newRow("model below the plate") << 5.0f << "Nothing to slice: no part of the models lies above the plate.";
}

void TstFileMenuGui::nothingToSliceIsRefused()
{
    QFETCH(float, sink);
    QFETCH(QString, message);
    if (sink >= 0) {
        QVERIFY(open(cube(2)));
        m_main->manager()->setSelectedModelTranslate(0, 0, -sink);
    }
    QObject *item = m_main->item<QObject>(QStringLiteral("menuSlice"));
    QVERIFY2(item->property("enabled").toBool(), "File → Slice... answers even with nothing to slice");
    QVERIFY(QMetaObject::invokeMethod(item, "trigger"));
    auto *box = m_main->item<QObject>(QStringLiteral("criticalMsgBox"));
    QTRY_VERIFY2(box->property("visible").toBool(), "the window says why it does not slice");
    QCOMPARE(box->property("text").toString(), message);
    QVERIFY2(!fileDialog()->property("visible").toBool(), "no archive is asked for");
    QCOMPARE(m_main->item(QStringLiteral("layersText"))->property("text").toString(), QStringLiteral("0"));
    QVERIFY(QMetaObject::invokeMethod(box, "accept"));
}

void TstFileMenuGui::anArchiveThatCannotBeWrittenIsReported()
{
    quickSettings();
    QVERIFY(open(cube(2)));
    QVERIFY(sliceTo(m_dir.filePath(QStringLiteral("missing/folder/job.cws"))));
    auto *box = m_main->item<QObject>(QStringLiteral("criticalMsgBox"));
    QTRY_VERIFY_WITH_TIMEOUT(box->property("visible").toBool(), 30000);
    QVERIFY2(!box->property("text").toString().isEmpty(), "the box says what went wrong");
    if (QQuickWindow *dialog = UiDriver::windowTitled(QStringLiteral("Kalo3D")))
        MainWindow::keep(dialog->grabWindow(), QStringLiteral("critical_box"));
    QTRY_VERIFY(!progress()->isVisible());
    QVERIFY(!m_main->item<QObject>(QStringLiteral("sliceDialog"))->property("visible").toBool());
}

void TstFileMenuGui::projectFilesThatFailAreReported()
{
    auto *box = m_main->item<QObject>(QStringLiteral("criticalMsgBox"));
    const QString broken = m_dir.filePath(QStringLiteral("broken.kalo3d"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a project");
    file.close();
    QTest::keyClick(m_main->window(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY2(UiDriver::chooseFile(fileDialog(), broken), "File → Open takes a job");
    QTRY_VERIFY2(box->property("visible").toBool(), "a job that cannot be read is reported");
    QVERIFY(box->property("text").toString().contains(QStringLiteral("broken.kalo3d")));
    QVERIFY(QMetaObject::invokeMethod(box, "accept"));
    QVERIFY(UiDriver::reactivate(*m_main));

    QVERIFY(open(cube(10)));
    QTest::keyClick(m_main->window(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(UiDriver::chooseFile(fileDialog(), m_dir.filePath(QStringLiteral("missing/job.kalo3d"))));
    QTRY_VERIFY2(box->property("visible").toBool(), "a job that cannot be written is reported");
}

void TstFileMenuGui::filtersMatchAnyLetterCase_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("shown"); // in name order
    QTest::newRow("Slice") << "menuSlice" << QStringList{"a.cws", "B.CWS", "c.Cws", "d.sl1", "e.txt"}
                           << QStringList{"B.CWS", "a.cws", "c.Cws"};
    QTest::newRow("Open") << "menuOpen"
                          << QStringList{"m.STL", "n.obj", "p.3MF", "q.ply", "r.KALO3D", "s.step", "t.stl.bak"}
                          << QStringList{"m.STL", "n.obj", "p.3MF", "q.ply", "r.KALO3D"};
}

void TstFileMenuGui::filtersMatchAnyLetterCase()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, files);
    QFETCH(QStringList, shown);
    QVERIFY(open(cube(2)));
    const QString folder = m_dir.filePath(menu);
    QVERIFY(QDir().mkpath(folder));
    for (const QString &name : qAsConst(files)) {
        QFile file(folder + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QVERIFY(QMetaObject::invokeMethod(m_main->item<QObject>(menu), "trigger"));
    QVERIFY(fileDialog()->property("visible").toBool());
    // A folder typed as the name is entered.
    typeName(folder);
    QVERIFY2(fileDialog()->property("visible").toBool(), "entering a folder chooses nothing");
    // The folder is listed by a thread of its own: slow under the sanitizers.
    QTRY_COMPARE_WITH_TIMEOUT(listed(), shown, 30000);
    if (QQuickWindow *window = dialogWindow()) {
        QVERIFY2(window->width() >= 800 && window->height() >= 500,
                 qPrintable(QStringLiteral("a dialog of %1 x %2").arg(window->width()).arg(window->height())));
        MainWindow::keep(window->grabWindow(), QStringLiteral("file_dialog_") + QTest::currentDataTag());
    }
    QMetaObject::invokeMethod(fileDialog(), "reject");
}

void TstFileMenuGui::typedNamesLieInTheFolderShown()
{
    // An OBJ model in a folder other than the working folder.
    const QString folder = m_dir.filePath(QStringLiteral("shown"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(MeshFiles::write(folder + QStringLiteral("/part.obj"), cube(10)));

    QTest::keyClick(m_main->window(), Qt::Key_O, Qt::ControlModifier);
    typeName(folder);
    typeName(QStringLiteral("nothing.stl"));
    QVERIFY2(fileDialog()->property("visible").toBool(), "a missing file is not opened");
    QTRY_VERIFY_WITH_TIMEOUT(dialogWindow()->findChild<QQuickItem *>(QStringLiteral("fileProblem"))->isVisible(), 30000);
    typeName(QStringLiteral("part.obj"));
    QVERIFY(UiDriver::reactivate(*m_main));
    QCOMPARE(m_main->manager()->models().size(), 1);
    QCOMPARE(m_main->manager()->models().first()->name, folder + QStringLiteral("/part.obj"));

    // Save: the name typed, in the folder shown.
    QTest::keyClick(m_main->window(), Qt::Key_S, Qt::ControlModifier);
    typeName(QStringLiteral("boat"));
    QVERIFY(UiDriver::reactivate(*m_main));
    QCOMPARE(m_main->app()->prjFile(), folder + QStringLiteral("/boat.kalo3d"));
    QVERIFY(QFile::exists(folder + QStringLiteral("/boat.kalo3d")));

    // Save As proposes the project's folder and name.
    QVERIFY(QMetaObject::invokeMethod(m_main->item<QObject>(QStringLiteral("menuSaveAs")), "trigger"));
    QCOMPARE(fileDialog()->property("folder").toUrl(), QUrl::fromLocalFile(folder));
    QCOMPARE(dialogWindow()->findChild<QQuickItem *>(QStringLiteral("nameField"))->property("text").toString(),
             QStringLiteral("boat.kalo3d"));
    QMetaObject::invokeMethod(fileDialog(), "reject");
}

QTEST_MAIN(TstFileMenuGui)
#include "tst_filemenu_gui.moc"
