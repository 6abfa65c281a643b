#pragma once

#include <QList>
#include <QMatrix4x4>
#include <QObject>
#include <QStringList>
#include <QVector3D>

class Model;

// The scene: the one list of every Model (loaded models, copies, supports and
// base plates), the selection and the status machine that decides what the
// user may do while slicing, previewing or generating supports. The QML
// creates the one instance; panels call its invokables and follow its signals.
//
// All members run on the GUI thread.
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
    // Number of layers up to the top of the given model, or of the whole scene
    // without one, at the configured layer thickness.
    Q_INVOKABLE int calcNumSlices(Model *model = nullptr);
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

    // Appends a model to the list (taking ownership); no signal.
    void addModel(Model *model);
    // Removes the first entry equal to model and deletes it; a model that is
    // not in the list is left alone.
    void removeModel(Model *model);
    // Makes model the one selection and leaves MODEL_INIT for MODEL_LOADED.
    void selectModel(Model *model);
    void clearSelection(bool emitSignals);
    Model *selectedModel() const;

    ModelStatus status() const { return m_status; }
    const QList<Model *> &models() const { return m_models; }
    int currentLayer() const { return m_currentLayer; }
    float currentLayerHeight() const { return m_currentLayerHeight; }
    int sliceCount() const { return m_sliceCount; }
    bool sliceCancelled() const { return m_sliceCancelled; }
    const QMatrix4x4 &sceneMatrix() const { return m_sceneMatrix; }

Q_SIGNALS:
    void kaloModelDataChanged();
    void modelStatusChanged(KaloModel::ModelStatus statusPre, KaloModel::ModelStatus statusNew,
                            bool haveSupports, bool isNormalType);
    void modelSelectionChanged(int index);

private:
    void emitStatus(ModelStatus previous);
    QStringList selectedVector(const char *what, float fallback, QVector3D Model::*field);

    ModelStatus m_status = MODEL_INIT;
    float m_layerThickness = 0; // mm, of the last calcNumSlices
    int m_currentLayer = -1;
    float m_currentLayerHeight = 0;
    QList<Model *> m_models;
    QMatrix4x4 m_sceneMatrix;
    int m_sliceCount = 0;
    bool m_sliceCancelled = false;
    bool m_manualAddingSupport = false;
};
