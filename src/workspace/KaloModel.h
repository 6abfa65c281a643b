#pragma once

#include "slicing/SlicePreview.h"
#include "workspace/CavityBuilds.h"
#include "workspace/Scene.h"
#include "workspace/SceneEditor.h"
#include "workspace/SceneHistory.h"
#include "workspace/SceneRun.h"
#include "settings/DeviceDescriptor.h"
#include "workspace/ViewInput.h"
#include "workspace/LiveCheck.h"
#include "workspace/UnsupportedRegions.h"

#include <QList>
#include <QMatrix4x4>
#include <QObject>
#include <QPointF>
#include <QSize>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QVector3D>

class KaloConfig;
class Model;
namespace CWS {
class PrintCheckRun;
class Support;
class SupportGenerator;
}
struct PickHit;
struct ProjectObjects;

// The model manager, the QML's way into the workspace: the scene (Scene), its
// editing commands (SceneEditor), the slicing and support runs, the slice
// preview (SlicePreview), the camera and what mouse input does, and the
// status machine that decides what the user may do while slicing, previewing
// or generating supports. The QML creates the one instance; panels call its
// invokables and follow its signals. It reads the user's settings from
// KaloConfig's instance when an action starts.
//
// All members run on the GUI thread, except setViewport, which the scene
// item calls on the render thread while the GUI thread is blocked.
class KaloModel : public QObject
{
    Q_OBJECT
    // Undo and redo are possible, and the scene differs from the state saved
    // or opened last (see SceneHistory).
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY historyChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY historyChanged)
    Q_PROPERTY(bool modified READ modified NOTIFY historyChanged)
    // The status below, for the menus that follow it.
    Q_PROPERTY(ModelStatus status READ status NOTIFY statusChanged)
public:
    enum ModelStatus {
        MODEL_INIT = 0,          // no model in the scene
        MODEL_LOADED = 1,        // models present, free to edit
        MODEL_SLICING = 2,       // the slicer thread is running
        MODEL_SHOW_SLICE = 3,    // the slice preview is shown
        MODEL_AUTO_GEN_SUPPORT = 4 // the automatic support thread is running
    };
    Q_ENUM(ModelStatus)

    explicit KaloModel(QObject *parent = nullptr);
    // Deletes every model still in the list.
    ~KaloModel() override;

    // The one instance, or null before it is created and after it is destroyed.
    static KaloModel *instance();

public Q_SLOTS:
    // The slicer thread has ended: back to MODEL_LOADED, the end report.
    void sliceFinished();
    // Emits sliceCompletedProgress(layers / sliceCount, sliceCancelled,
    // event) while layers < sliceCount.
    void updateSliceProgress(int layers, QString event = QStringLiteral("slice"));
    // One automatic support of model: a column of length z (mm) standing on
    // the platform at x, y (mm), its tip 0.01 layer above the middle of the
    // layer it holds up. zbase is not used: every column reaches down to the
    // platform, through any material below it.
    void autoAddSupport(float x, float y, float z, float zbase, Model *model);
    // One tipped column of model from "Islands and overhangs".
    void autoPlaceSupport(const CWS::SupportPlacement &placement, Model *model);
    // The support generator has ended, completed or cancelled: back to
    // MODEL_LOADED, then the end report (ratio 1.1, event "autoSupport").
    void autoGenSupportFinished();

public:
    // Mouse input of the 3D view, see ViewInput.
    Q_INVOKABLE void onMouseClicked(uint button, uint x, uint y);
    Q_INVOKABLE void onMousePressed(uint button, uint x, uint y);
    Q_INVOKABLE void onMouseReleased(uint button, uint x, uint y);
    Q_INVOKABLE void onMousePressedMove(uint button, QPointF from, QPointF pre, QPointF to);
    Q_INVOKABLE void onWheel(QPointF angleDelta);
    Q_INVOKABLE void zoomOut(); // the scene grows on screen by 1.1
    Q_INVOKABLE void zoomIn();  // the scene shrinks by 1.1
    Q_INVOKABLE void resetViewPrj();
    Q_INVOKABLE void deleteSelectedModel();
    // Takes back the last edit (or does it again): every model returns to
    // its list position, transform and links, the selection is cleared.
    // Refused, returning false, while slicing, previewing or generating
    // supports, and when there is nothing to take back.
    Q_INVOKABLE bool undo();
    Q_INVOKABLE bool redo();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    bool modified() const { return m_history.isModified(); }
    // The scene as it is now is what the project file holds (saved or opened).
    void markSaved();
    // Forgets every undo step (the scene was emptied or replaced).
    void clearHistory();
    // Empties the scene and the history; the empty scene counts as saved.
    // Refused, returning false, while slicing or generating supports.
    bool newScene();
    // Copies model n (an index into the list) with its supports; the copies
    // are appended to the list and the selection stays where it was.
    Q_INVOKABLE void copyModel(int n);
    // Sum of the volumes of every model of every type, in mL.
    Q_INVOKABLE float getTotalVolume();
    // Size x, y, z (mm) and volume (mL) of the selection, two decimals each.
    Q_INVOKABLE QStringList getSelectedModelInfo();
    Q_INVOKABLE void setModelStatus(int status);
    // An empty scene is always MODEL_INIT. Emits modelStatusChanged when the
    // status changes, or always when forced.
    Q_INVOKABLE void setModelStatus(ModelStatus status, bool force = false);
    // Duration of the last slicing or support run as "hh:mm:ss"; empty before the first.
    Q_INVOKABLE QString getSliceCostTime();
    // Layer count of the last slicing run.
    Q_INVOKABLE int sliceNumber();
    // How long printing the scene would take with the current settings
    // (printLayers, CWS::printTimeMs) as CWS::durationText: "3 h 07 min".
    Q_INVOKABLE QString getPrintTime();
    // The layers slicing the scene now makes: as calcNumSlices, with the
    // models slicing lowers onto the plate (Model::settleIfFloating) lowered.
    Q_INVOKABLE int printLayers();
    // Why slicing cannot start, for the user: the scene is empty, or no part
    // of it lies above the plate; empty when it can.
    Q_INVOKABLE QString nothingToSlice();
    // Height (mm) of the top of preview layer (0 ... sliceCount - 1).
    Q_INVOKABLE float layerTop(int layer) const { return float(layer + 1) * m_layerThickness; }
    // Number of layers up to the top of the given model, or of the whole scene
    // without one, at the configured layer thickness.
    Q_INVOKABLE int calcNumSlices(Model *model = nullptr);
    // Stops the slicing run: the incomplete archive is discarded and the
    // target keeps what it held before. Stops the support generator before
    // its next layer; the supports it has found stay.
    Q_INVOKABLE void cancleSlice();
    Q_INVOKABLE bool getCancleSlice();
    Q_INVOKABLE void setSelectedModelTranslate(float x, float y, float z); // mm
    Q_INVOKABLE QStringList getSelectedModelTranslate();
    // Rests the selection on the plate (or its base); returns its translate z (mm).
    Q_INVOKABLE float moveToBottom();
    Q_INVOKABLE void setSelectedModelScale(float x, float y, float z);
    Q_INVOKABLE QStringList getSelectedModelScale();
    Q_INVOKABLE void setSelectedModelRotate(float x, float y, float z); // degrees
    Q_INVOKABLE QStringList getSelectedModelRotate();
    // Mirrors the selection: 1 = x, 2 = y, 3 = z.
    Q_INVOKABLE void flip(int flag);
    Q_INVOKABLE int getSelectedModelIndex();
    // Arranges every normal model on the platform without overlap, largest
    // first, each upright or turned by 90° about z, with a margin of 20
    // display pixels, and centres the arrangement; supports and base plates
    // move with their model. When not every model finds a place nothing
    // moves. sel is only logged.
    Q_INVOKABLE void autoLayoutModel(int sel = -1);

    // Slice preview. Entering it (refused, returning false, without models or
    // while slicing) counts the layers at the configured thickness, announces
    // the count with layerChanged, gives every model that many empty preview
    // slots, switches to MODEL_SHOW_SLICE and shows layer 0; returns true.
    // Leaving it frees every model's preview geometry, shows the whole
    // models, clears the selection, returns to MODEL_LOADED from
    // MODEL_SHOW_SLICE (any other status stays) and returns false.
    Q_INVOKABLE bool setShowSliceEnable(bool enable);
    // Shows every model cut away above layer (0 ... sliceCount - 1) of the
    // preview, at height (layer + 0.5) x thickness. Ignored outside that
    // range or when no preview is shown.
    Q_INVOKABLE void setCurrentLayer(int layer);
    // Gives every normal model a new base plate of thickness (mm) in place of
    // its old one (see SceneEditor::addBasePlate) and appends the plates to the list.
    Q_INVOKABLE void addSupportBase(float thickness);
    // Only in MODEL_LOADED: starts the support generator on every normal
    // model, in list order, and returns at once. The status is
    // MODEL_AUTO_GEN_SUPPORT until autoGenSupportFinished; the columns are
    // added as the generator finds them, next to any existing supports, each
    // model is selected as its turn comes, and progress arrives as
    // sliceCompletedProgress with the event "autoSupport". thickness is ignored.
    // When modelStatusChanged announces MODEL_AUTO_GEN_SUPPORT the generator
    // (supportGenerator) exists but has not started yet.
    Q_INVOKABLE void addSupportAuto(float thickness);
    // "Remove supports": every column of the selected model (or of the model
    // the selected column holds), its base plate kept; one undo step. False
    // when there was nothing to remove or the edit is refused.
    Q_INVOKABLE bool removeSupports();
    // Regions the last automatic run could not hold, one line each
    // ("model: x, y, z mm: reason": the middle of the region, its lowest
    // point's height).
    QStringList unsupportedPoints() const { return m_unsupported; }
    // Columns the last automatic run added.
    int supportsAdded() const { return m_supportsAdded; }
    // While checked a left click on the selected normal model adds a support
    // column whose tip touches the clicked point, and deleting is refused.
    Q_INVOKABLE void setManualAddingSupport(bool checked);

    // Builds a support column of length (mm) standing on the platform at x, y
    // (mm) for owner and appends it to the list. The caller finishes it: the
    // column is still in platform coordinates while its translate is the
    // owner's (bakeInverseTransform, then a forced updateBounds).
    CWS::Support *createSupport(float x, float y, float length, Model *owner);

    // Loads a model file (STL, OBJ, 3MF or PLY: MeshImport::isModelFile) as a new
    // model placed on the plate, adds it to the list and selects it. Refused
    // while slicing, previewing or generating supports. A file that cannot be
    // read shows "load model failed!" in the main window, with the file's
    // name and why it failed on the next line; so does a refused name, with
    // the types that load.
    // When problem is given it receives why (see Model::load), or which
    // types load for a refused name.
    bool loadModel(const QUrl &url, QString *problem = nullptr);
    // Appends the objects of a project read completely (ProjectFile), links
    // supports and base plates to their models, clears the selection and
    // leaves the status MODEL_LOADED (MODEL_INIT when the scene stays
    // empty). Refused, adding nothing, while slicing, previewing or
    // generating supports.
    bool loadObjects(ProjectObjects &objects);

    // Starts slicing the scene into the archive at archivePath (a local file,
    // replaced once the new archive is complete) and returns at once. A
    // preview shown ends, models floating above the
    // plate are lowered onto it, the selection is cleared, and the status is
    // MODEL_SLICING until sliceFinished. Refused while a run or the support
    // generator is going, and, with criticalMessage(nothingToSlice()) and no
    // end report, when the scene gives no layer. Progress arrives as sliceCompletedProgress.
    void sliceTo(const QString &archivePath);
    // Empty when the last slicing run completed its archive or was
    // cancelled; otherwise what could not be written, as the main window's
    // critical message box showed it.
    QString sliceError() const { return m_run.sliceError(); }
    // The last slicing run put its complete archive in place (a cancel that
    // came too late to stop it does not change that).
    bool sliceCompleted() const { return m_run.sliceCompleted(); }
    // The print check beside slicing (on, not strict, at first), its findings
    // of the last run, and whether the strict check kept the archive from
    // being written. A run that completes makes its findings the list's and
    // emits printCheckDone.
    void setPrintCheck(bool on, bool strict = false) { m_run.setPrintCheck(on, strict); }
    const std::vector<CWS::PrintFinding> &printFindings() const { return m_run.findings(); }
    bool sliceRejectedByCheck() const { return m_run.rejectedByCheck(); }
    // "Check print": checks a snapshot of the scene in the background (a new
    // call cancels the check going); printCheckDone when it has ended.
    Q_INVOKABLE void checkPrint();
    // Of the last check, in layer order, then the regions the last support
    // run could not hold on models not edited since (kind "unsupported
    // region", with its reason): maps with kind, firstLayer, lastLayer,
    // bottomMm, topMm, xMm, yMm, areaMm2, model (name), reason (empty but
    // for those regions) and text, a line for the list.
    Q_INVOKABLE QVariantList printCheckList() const;
    // "2 islands, 1 overhang, ..." for the kinds found; empty when none.
    Q_INVOKABLE QString printCheckCounts() const;
    // Opens the slice preview at the first layer of finding index.
    Q_INVOKABLE void showFinding(int index);
    // The live check (off at first): while models are loaded, every change
    // of the scene checks it anew in the background (see LiveCheck); its
    // findings become the list's, printCheckDone, and mark the models.
    void setLiveCheck(bool on);
    // Layer layer of the scene as printed, the last check's findings in red
    // (see CWS::FindingImage); null without models.
    QImage findingImage(int layer) const;

    // A slicing run or the support generator reads the models on a thread of
    // its own until it ends: what would change them, or start another run,
    // is refused meanwhile (logged, and told with notice). True when refused.
    bool refusedWhileRunning(const char *what);
    // A support column whose tip touches the hit point of the selected model
    // (a click in manual support mode); drawn cut during a preview. In
    // "Islands and overhangs" a tipped column standing on the platform or on
    // the model below; a surface facing up is refused with notice
    // "Supports go under a surface, not on top of it", and so is a point
    // no column can reach. "Islands only" keeps the straight column.
    void addSupportUnder(const PickHit &hit);
    // A drag step: model moves across the platform by delta (mm) and is selected.
    void dragBy(Model &model, const QVector3D &delta);

    // Appends a model to the list (taking ownership); no signal.
    void addModel(Model *model);
    // Removes the first entry equal to model and deletes it; a model that is
    // not in the list is left alone.
    void removeModel(Model *model);
    // Makes model the one selection and leaves MODEL_INIT for MODEL_LOADED.
    void selectModel(Model *model);
    void clearSelection(bool emitSignals);
    Model *selectedModel() const;

    // Hollowing of the selected model (see Model::hollowing; one undo step
    // each). hollowSelected: a wall of wallMm (0.5 to 10 mm) with a lattice
    // of walls latticeWallMm thick every latticeSpacingMm (none with 0), or
    // solid with a wall of 0, which drops its drain holes; refused with notice without a selected
    // model and while a run goes. A hollow model whose cavity no longer fits
    // gets a new one in the background (CavityBuilds), then hollowingChanged
    // and kaloModelDataChanged (the volume follows).
    Q_INVOKABLE void hollowSelected(float wallMm, float latticeSpacingMm = 0,
                                    float latticeWallMm = Lattice::defaultWallMm);
    // The selected model's lattice spacing (mm): 0 without a lattice.
    Q_INVOKABLE float selectedLatticeSpacing() const;
    // The selected model's wall (mm): 0 when solid or nothing is selected.
    Q_INVOKABLE float selectedWall() const;
    // While on, a left click on a normal model adds a drain hole of the
    // current diameter (1 to 10 mm, 3 at first) there, along the surface's
    // inward normal, instead of selecting; a solid model refuses it with
    // notice "Hollow the model before adding drain holes".
    Q_INVOKABLE void setDrainHoleMode(bool on);
    bool drainHoleMode() const { return m_drainHoleMode; }
    Q_INVOKABLE void setDrainHoleDiameter(float mm);
    // Adds the drain holes CWS::Cavity::drainHoles proposes for the selected
    // model's cavity, or, while the cavity is being made, as soon as it is
    // (unless an undo or another hollowing comes first); notice when it
    // proposes none.
    Q_INVOKABLE void addDrainHolesAuto();
    // The selected model's drain holes: one map each with "text", e.g.
    // "3 mm at 12.0, -4.5, 3.5" (diameter, where it opens on the platform).
    Q_INVOKABLE QVariantList drainHoleList() const;
    Q_INVOKABLE void removeDrainHole(int index);
    // A click in drain hole mode hit a model.
    void addDrainHoleAt(const PickHit &hit);

    // The scene item's sync (render thread, GUI thread blocked): the view's
    // size in device pixels and its device pixel ratio, which mouse
    // positions and picking need; the scene matrix follows the build volume.
    void setViewport(const QSize &viewportSize, qreal devicePixelRatio);
    const Camera &camera() const { return m_view.camera(); }
    // 0 idle, 1 left button pressed, 2 dragging a model, 3 released after a drag.
    int dragState() const { return m_view.dragState(); }

    ModelStatus status() const { return m_status; }
    const QList<Model *> &models() const { return m_scene.models(); }
    Scene &scene() { return m_scene; }
    // The preview's layer (-1 without a preview) and its height (mm).
    Q_INVOKABLE int currentLayer() const { return m_preview.layer(); }
    float currentLayerHeight() const { return m_preview.height(); }
    int sliceCount() const { return m_sliceCount; }
    bool manualAddingSupport() const { return m_manualAddingSupport; }
    bool sliceCancelled() const { return m_sliceCancelled; }
    // The running support generator, or null.
    CWS::SupportGenerator *supportGenerator() const { return m_run.supportGenerator(); }
    const QMatrix4x4 &sceneMatrix() const { return m_view.sceneMatrix(); }
    // The selected printer's build volume (mm), the scene scaled to it.
    QVector3D buildVolume();

Q_SIGNALS:
    void kaloModelDataChanged();
    void historyChanged();
    void modelStatusChanged(KaloModel::ModelStatus statusPre, KaloModel::ModelStatus statusNew,
                            bool haveSupports, bool isNormalType);
    void modelSelectionChanged(int index);
    // The layer count of a preview that has just started (layers 0 ... layer - 1).
    void layerChanged(int layer);
    // Progress of slicing (event "slice") or support generation
    // ("autoSupport"), ratio 0 ... 1. A ratio above 1 (1.1) ends a run;
    // cancled is then also true when a slicing run could not complete its
    // archive.
    void sliceCompletedProgress(float ratio, bool cancled, QString event = QStringLiteral("slice"));
    // Something the user must read in the main window's critical message
    // box: a model that could not be loaded, an archive that could not be
    // written.
    void criticalMessage(const QString &message);
    // A short answer for the status bar: why an action did nothing, how a
    // run ended ("Slicing cancelled", "No supports needed"), a refused
    // support click.
    void notice(const QString &message);
    void statusChanged();
    void printCheckDone();
    // The preview should show layer (the preview's own slider follows it).
    void findingLayerChosen(int layer);
    // A model's wall, drain holes or cavity changed.
    void hollowingChanged();

private:
    void emitStatus(ModelStatus previous);
    QStringList selectedVector(const char *what, float fallback, QVector3D Model::*field);
    // The selected model for an edit, or null when there is none (logged) or
    // the edit is refused while a run goes.
    Model *selectionToEdit(const char *what);
    // Records the scene before an edit as one undo step.
    void remember();
    // Shows the scene an undo or redo has brought back.
    void afterHistoryMove();
    // Cuts every model at the preview layer and asks for a repaint.
    void showLayer(int layer);
    // The settings actions read: KaloConfig's instance.
    static KaloConfig &settings();
    // The file names of the print's models (TYPE_NORMAL), in list order.
    QStringList normalModelNames() const;
    // Makes findings of the scene as it is the list's and marks the models.
    void showFindings(const std::vector<CWS::PrintFinding> &findings);
    // The selected model for a hollowing edit, or null, told with notice.
    Model *hollowingTarget(const char *what);
    void hollowingEdited();
    void addDrainHolesTo(Model &model);

    // Declared first, so destroyed after the runs below, which read the scene.
    Scene m_scene;
    SceneEditor m_editor{m_scene};
    SceneHistory m_history{m_scene};
    bool m_dragRecorded = false; // the drag under way has its undo step
    CavityBuilds m_cavities{m_scene};
    bool m_drainHoleMode = false;
    float m_drainHoleDiameter = 3; // mm
    Model *m_drainHolesDue = nullptr; // asked for its drain holes before its cavity was made
    SlicePreview m_preview;
    ModelStatus m_status = MODEL_INIT;
    float m_layerThickness = 0; // mm, of the last calcNumSlices
    bool m_smoothNormalMode = false; // smoothed vertex normals for every load; nothing sets it
    ViewInput m_view{*this};
    QVector3D m_buildVolume{DeviceDescriptor().x, DeviceDescriptor().y, DeviceDescriptor().z};
    int m_sliceCount = 0;
    bool m_sliceCancelled = false;
    bool m_manualAddingSupport = false;
    SceneRun m_run;
    std::unique_ptr<CWS::PrintCheckRun> m_check;
    QStringList m_unsupported;
    int m_supportsAdded = 0;
    std::vector<CWS::PrintFinding> m_checkFindings; // m_found and the unsupported regions
    std::vector<CWS::PrintFinding> m_found;         // of the last check
    UnsupportedRegions m_unsupportedRegions;
    QStringList m_checkModelNames;
    LiveCheck m_live;
    bool m_liveOn = false;
};
