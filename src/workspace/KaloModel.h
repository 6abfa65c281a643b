#pragma once

#include "workspace/Camera.h"

#include <QElapsedTimer>
#include <QList>
#include <QMatrix4x4>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTime>
#include <QUrl>
#include <QVector3D>

#include <memory>
#include <vector>

class Model;
class QQuickWindow;
class SceneRenderer;
namespace CWS {
class Slicer;
class Support;
class SupportGenerator;
}
struct PickHit;
struct ProjectObjects;

// The scene: the one list of every Model (loaded models, copies, supports and
// base plates), the selection and the status machine that decides what the
// user may do while slicing, previewing or generating supports. The QML
// creates the one instance; panels call its invokables and follow its signals.
//
// All members run on the GUI thread, except sync, paint and releaseGraphics,
// which the scene item calls on the render thread.
class KaloModel : public QObject
{
    Q_OBJECT
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
    // Render thread, once per frame before the QML scene is drawn: draws the
    // platform frame and the models as the last sync found them.
    void paint();
    // Slices the scene into the archive the application object holds
    // (KaloApp::cwsFileUrl); see sliceTo.
    void startSlice();
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
    // The support generator has ended, completed or cancelled: back to
    // MODEL_LOADED, then the end report (ratio 1.1, event "autoSupport").
    void autoGenSupportFinished();

public:
    // Mouse input of the 3D view: buttons numbered as Qt does (1 left,
    // 2 right, 3 any other), positions in the view's logical pixels, origin
    // top left. A click (press and release without move) with the left
    // button selects the nearest object under the mouse, or clears the
    // selection over empty space. In manual support mode only normal models
    // count, and a click on the selected one adds a support there unless
    // the point lies lower than 0.1 mm.
    Q_INVOKABLE void onMouseClicked(uint button, uint x, uint y);
    Q_INVOKABLE void onMousePressed(uint button, uint x, uint y);
    Q_INVOKABLE void onMouseReleased(uint button, uint x, uint y);
    // from: press position, pre: previous position, to: current position.
    // Right pans; left drags the normal model under the press position
    // across the platform, or turns the camera when the press was on empty
    // space or a slice layer is previewed.
    Q_INVOKABLE void onMousePressedMove(uint button, QPointF from, QPointF pre, QPointF to);
    Q_INVOKABLE void onWheel(QPointF angleDelta);
    Q_INVOKABLE void zoomOut(); // the scene grows on screen by 1.1
    Q_INVOKABLE void zoomIn();  // the scene shrinks by 1.1
    Q_INVOKABLE void resetViewPrj();
    Q_INVOKABLE void deleteSelectedModel();
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
    // (calcNumSlices layers, CWS::printTimeMs) as CWS::durationText: "3 h 07 min".
    Q_INVOKABLE QString getPrintTime();
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
    // its old one (see Model::makeSupportBase) and appends the plates to the list.
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
    // While checked a left click on the selected normal model adds a support
    // column whose tip touches the clicked point, and deleting is refused.
    Q_INVOKABLE void setManualAddingSupport(bool checked);

    // Builds a support column of length (mm) standing on the platform at x, y
    // (mm) for owner and appends it to the list. The caller finishes it: the
    // column is still in platform coordinates while its translate is the
    // owner's (bakeInverseTransform, then a forced updateBounds).
    CWS::Support *createSupport(float x, float y, float length, Model *owner);

    // Loads an STL file (the name must end in ".stl", any case) as a new
    // model placed on the plate, adds it to the list and selects it. Refused
    // while slicing, previewing or generating supports. A file that cannot be
    // read shows "load modal failed!" in the main window, with the file's
    // name and why it failed on the next line; a refused name shows nothing.
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
    // replaced once the new archive is complete) and returns at once. Models floating above the
    // plate are lowered onto it, the selection is cleared, and the status is
    // MODEL_SLICING until sliceFinished. Refused while a run or the support
    // generator is going. Progress arrives as sliceCompletedProgress.
    void sliceTo(const QString &archivePath);
    // Empty when the last slicing run completed its archive or was
    // cancelled; otherwise what could not be written, as the main window's
    // critical message box showed it.
    QString sliceError() const { return m_sliceError; }
    // The last slicing run put its complete archive in place (a cancel that
    // came too late to stop it does not change that).
    bool sliceCompleted() const { return m_sliceCompleted; }

    // Appends a model to the list (taking ownership); no signal.
    void addModel(Model *model);
    // Removes the first entry equal to model and deletes it; a model that is
    // not in the list is left alone.
    void removeModel(Model *model);
    // Makes model the one selection and leaves MODEL_INIT for MODEL_LOADED.
    void selectModel(Model *model);
    void clearSelection(bool emitSignals);
    Model *selectedModel() const;

    // The scene item's sync: render thread, GUI thread blocked. Takes the
    // view's size (device pixels) and window, and hands the renderer what the
    // next frames draw; the GL work is skipped without a current context.
    void sync(const QSize &viewportSize, QQuickWindow *window);
    // Render thread, GUI thread blocked, the dying context current: frees
    // every GL object of the scene; a later frame makes them anew.
    void releaseGraphics();
    const Camera &camera() const { return m_camera; }
    // 0 idle, 1 left button pressed, 2 dragging a model, 3 released after a drag.
    int dragState() const { return m_dragState; }

    ModelStatus status() const { return m_status; }
    const QList<Model *> &models() const { return m_models; }
    int currentLayer() const { return m_currentLayer; }
    float currentLayerHeight() const { return m_currentLayerHeight; }
    int sliceCount() const { return m_sliceCount; }
    bool manualAddingSupport() const { return m_manualAddingSupport; }
    bool sliceCancelled() const { return m_sliceCancelled; }
    // The running support generator, or null.
    CWS::SupportGenerator *supportGenerator() const { return m_supportGenerator.get(); }
    const QMatrix4x4 &sceneMatrix() const { return m_sceneMatrix; }

Q_SIGNALS:
    void kaloModelDataChanged();
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

private:
    void emitStatus(ModelStatus previous);
    // A slicing run or the support generator reads the models on a thread of
    // its own until it ends: what would change them, or start another run,
    // is refused meanwhile (logged with what). True when refused.
    bool refusedWhileRunning(const char *what) const;
    QStringList selectedVector(const char *what, float fallback, QVector3D Model::*field);
    // The view's size in logical pixels, the unit of mouse positions.
    QSizeF viewSize() const;
    // Hits under the pixel (logical), nearest first; typeFilter as Picking::pickObjects.
    std::vector<PickHit> pickObjects(const QPointF &pixel, int typeFilter) const;
    // A click in manual support mode: select the normal model under the
    // mouse, or add a support to the selected one at the hit.
    void manualSupportClick(const QPointF &pixel);
    // Cuts every model at the preview layer and asks for a repaint.
    void showLayer(int layer);

    ModelStatus m_status = MODEL_INIT;
    QElapsedTimer m_sliceTimer; // started with each slicing or support run
    QTime m_sliceCost;          // duration of the last slicing or support run as a time of day
    float m_layerThickness = 0; // mm, of the last calcNumSlices
    int m_currentLayer = -1;
    float m_currentLayerHeight = 0;
    QList<Model *> m_models;
    bool m_smoothNormalMode = false; // smoothed vertex normals for every load; nothing sets it
    QMatrix4x4 m_sceneMatrix; // set by sync from the build volume
    QSize m_viewportSize;     // device pixels, set by sync
    QPointer<QQuickWindow> m_window;
    Camera m_camera;
    int m_dragState = 0;
    Model *m_draggedObject = nullptr; // cleared when the model leaves the list
    std::unique_ptr<SceneRenderer> m_renderer;
    std::unique_ptr<CWS::Slicer> m_slicer; // while a slicing run lasts
    QString m_sliceError;
    bool m_sliceCompleted = false;
    int m_sliceCount = 0;
    bool m_sliceCancelled = false;
    bool m_manualAddingSupport = false;
    std::unique_ptr<CWS::SupportGenerator> m_supportGenerator; // while a support run lasts
};
