#pragma once

#include "geometry/MeshData.h"

#include <QList>
#include <QMatrix4x4>
#include <QOpenGLFunctions>
#include <QSize>
#include <QVector3D>

#include <memory>
#include <vector>

class Model;
class QOpenGLShaderProgram;
class QQuickWindow;

// Draws the 3D scene with raw OpenGL into the window's framebuffer before the
// QML scene is drawn over it: the outline of the build volume with a floor
// grid, then every model, lit by one light at the eye, and the drain holes
// of hollow models as dark cylinders standing out of the surface.
//
// The renderer owns the shader program, the frame's buffer and the drawing
// state of every frame. It reads models only in synchronize, while the GUI
// thread is blocked, and draws from what it copied there: the GUI thread may
// change or delete models while a frame is drawn. Buffers of deleted models
// are handed over with retireBuffer and deleted at the next synchronize,
// when no frame uses them any more.
class SceneRenderer : protected QOpenGLFunctions
{
public:
    // What one frame shows, apart from the models.
    struct View
    {
        QSize viewport;         // device pixels
        QVector3D buildVolume;  // mm
        QMatrix4x4 scene;       // platform mm to model space
        QMatrix4x4 view;
        QMatrix4x4 projection;
        QQuickWindow *window = nullptr; // its OpenGL state is restored after painting
        // The slice preview's layer (-1 without a preview) and its height (mm):
        // models reaching above it are drawn cut away there.
        int previewLayer = -1;
        float previewHeight = 0;
    };

    SceneRenderer();
    ~SceneRenderer();

    // Render thread, GUI thread blocked, context current: deletes the retired
    // buffers, brings the models' buffers up to date and copies what paint draws.
    void synchronize(const View &view, const QList<Model *> &models);
    // Render thread, context current: draws the last synchronized state.
    void paint();
    // Render thread, GUI thread blocked: a buffer of a model that left the
    // scene, deleted at the next synchronize, when no frame uses it any more.
    void retireBuffer(GLuint buffer);
    // Render thread, context current: deletes every GL object, the models'
    // buffers included; the next frame makes them anew.
    void releaseGraphics(const QList<Model *> &models);

    // The platform frame of a build volume (mm), normals up: the floor
    // rectangle, the top rectangle, the four vertical edges as pairs, then
    // two vertices per floor grid line (the lines x = 0 and y = 0 and every
    // 10 mm out to the edges).
    static std::vector<MeshVertex> frameVertices(const QVector3D &buildVolume);
    // Colour of a model in the view, components 0..1: grey, blue-grey when
    // selected; a selected support or base is yellow, a new one red.
    static QVector3D colourOf(const Model &model);

private:
    struct DrawItem
    {
        GLuint vbo;
        GLuint ibo;
        int indexCount;
        int type;
        QVector3D colour;
        QMatrix4x4 model; // scene × model matrix
        // Model::checkMarks in model space, at most maxMarks.
        std::vector<QVector4D> marks;
    };
    // Print-check marks the shader takes per model.
    static constexpr int maxMarks = 8;

    void initialize();
    // Creates the model's buffers on first use and, unless buffersValid,
    // fills them: with the mesh, or, while the preview shows a layer that
    // cuts the model, with the mesh followed by that layer's cut-away
    // geometry. Leaves both buffers unbound.
    void upload(Model &model);
    // Fills the drain holes' buffers with every model's holes (none during a
    // preview) and adds them to the frame's items.
    void uploadDrainHoles(const QList<Model *> &models);
    bool buildProgram();
    // Fills the frame buffer with the platform, grid and volume of m_view.
    void uploadFrame();
    void drawFrame();
    void drawItem(const DrawItem &item);
    void bindVertexLayout(GLuint vbo);

    View m_view;
    std::vector<DrawItem> m_items;
    std::vector<GLuint> m_retiredBuffers;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    bool m_programLinked = false;
    GLuint m_frameBuffer = 0;
    int m_frameLineCount = 0;
    QVector3D m_frameVolume; // the volume the frame buffer holds
    GLuint m_holeVbo = 0;
    GLuint m_holeIbo = 0;
};
