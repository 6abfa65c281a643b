#include "view/SceneRenderer.h"

#include "geometry/DrainHoleMesh.h"
#include "geometry/Model.h"

#include <QColor>
#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QQuickWindow>
#include <QThread>

#include <algorithm>
#include <cstddef>

namespace {

constexpr GLuint vertexLocation = 0;
constexpr GLuint normalLocation = 1;
const QVector3D frameColour(0.73f, 0.73f, 0.73f);
const QVector3D lightColour(1.0f, 1.0f, 1.0f);
const QVector3D drainHoleColour(0.12f, 0.12f, 0.12f);

} // namespace

SceneRenderer::SceneRenderer() = default;

// Without a current context Qt queues the program's deletion for the
// context, or drops it with a context that is gone.
SceneRenderer::~SceneRenderer() = default;

std::vector<MeshVertex> SceneRenderer::frameVertices(const QVector3D &buildVolume)
{
    const float hx = buildVolume.x() * 0.5f;
    const float hy = buildVolume.y() * 0.5f;
    const float top = buildVolume.z();
    std::vector<MeshVertex> vertices;
    auto add = [&vertices](float x, float y, float z) { vertices.push_back({x, y, z, 0.0f, 0.0f, 1.0f}); };

    const float corners[4][2] = {{hx, hy}, {-hx, hy}, {-hx, -hy}, {hx, -hy}};
    for (const auto &c : corners)
        add(c[0], c[1], 0.0f);
    for (const auto &c : corners)
        add(c[0], c[1], top);
    for (const auto &c : corners) {
        add(c[0], c[1], 0.0f);
        add(c[0], c[1], top);
    }

    const int linesX = int(hx / 10.0f);
    const int linesY = int(hy / 10.0f);
    // The centre line stands out one millimetre beyond the floor at both ends.
    add(0.0f, hy + 1.0f, 0.0f);
    add(0.0f, -(hy + 1.0f), 0.0f);
    for (int i = 1; i <= linesX; ++i) {
        for (const float x : {10.0f * float(i), -10.0f * float(i)}) {
            add(x, hy, 0.0f);
            add(x, -hy, 0.0f);
        }
    }
    add(hx, 0.0f, 0.0f);
    add(-hx, 0.0f, 0.0f);
    for (int j = 1; j <= linesY; ++j) {
        for (const float y : {10.0f * float(j), -10.0f * float(j)}) {
            add(hx, y, 0.0f);
            add(-hx, y, 0.0f);
        }
    }
    return vertices;
}

void SceneRenderer::synchronize(const View &view, const QList<Model *> &models)
{
    m_view = view;
    m_items.clear();
    if (!QOpenGLContext::currentContext())
        return;
    initializeOpenGLFunctions();
    if (!m_retiredBuffers.empty()) {
        glDeleteBuffers(GLsizei(m_retiredBuffers.size()), m_retiredBuffers.data());
        m_retiredBuffers.clear();
    }
    for (Model *model : models) {
        upload(*model);
        if (!model->loaded || !model->buffersValid || model->indexCount <= 0)
            continue;
        std::vector<QVector4D> marks;
        // The scene matrix only shrinks and moves: a radius shrinks as x does.
        const float shrink = view.scene.mapVector(QVector3D(1, 0, 0)).length();
        for (const QVector4D &mark : model->checkMarks) {
            if (int(marks.size()) == maxMarks)
                break;
            marks.emplace_back(view.scene.map(mark.toVector3D()), mark.w() * shrink);
        }
        m_items.push_back({model->vbo, model->ibo, model->indexCount, model->type, colourOf(*model),
                           view.scene * model->modelMatrix(), std::move(marks)});
    }
    uploadDrainHoles(models);
}

void SceneRenderer::uploadDrainHoles(const QList<Model *> &models)
{
    // The layers show the holes while a preview cuts the models away.
    MeshPrimitiveData holes;
    for (const Model *model : models) {
        if (m_view.previewLayer >= 0 || model->hollowing.drainHoles.empty())
            continue;
        const MeshPrimitiveData cylinders = DrainHoleMesh::cylinders(model->hollowing, model->modelMatrix());
        const auto first = uint32_t(holes.vertices.size());
        holes.vertices.insert(holes.vertices.end(), cylinders.vertices.begin(), cylinders.vertices.end());
        for (uint32_t index : cylinders.indices)
            holes.indices.push_back(first + index);
    }
    if (holes.indices.empty())
        return;
    if (m_holeVbo == 0) {
        glGenBuffers(1, &m_holeVbo);
        glGenBuffers(1, &m_holeIbo);
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_holeVbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(holes.vertices.size() * sizeof(MeshVertex)), holes.vertices.data(),
                 GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_holeIbo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(holes.indices.size() * sizeof(uint32_t)), holes.indices.data(),
                 GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    // Support colouring: no green floor, lit by their normals.
    m_items.push_back(
        {m_holeVbo, m_holeIbo, int(holes.indices.size()), TYPE_SUPPORT, drainHoleColour, m_view.scene, {}});
}

void SceneRenderer::upload(Model &model)
{
    model.updateBounds();
    if (model.vbo == 0) {
        glGenBuffers(1, &model.vbo);
        glGenBuffers(1, &model.ibo);
    }
    if (model.buffersValid)
        return;

    const auto &vertices = model.mesh->vertices;
    const int layer = m_view.previewLayer;
    const LayerGeometry *cut = nullptr;
    if (layer >= 0 && size_t(layer) < model.layerCache.size() && m_view.previewHeight <= model.boundMax.z())
        cut = &model.layerCache[size_t(layer)];

    const GLsizeiptr vertexBytes = GLsizeiptr(vertices.size() * sizeof(MeshVertex));
    glBindBuffer(GL_ARRAY_BUFFER, model.vbo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, model.ibo);
    if (cut) {
        // The cut-away geometry indexes the mesh's vertices and its own, one after the other.
        const GLsizeiptr cutBytes = GLsizeiptr(cut->vertices.size() * sizeof(MeshVertex));
        glBufferData(GL_ARRAY_BUFFER, vertexBytes + cutBytes, nullptr, GL_STATIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, vertexBytes, vertices.data());
        glBufferSubData(GL_ARRAY_BUFFER, vertexBytes, cutBytes, cut->vertices.data());
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(cut->indices.size() * sizeof(uint32_t)),
                     cut->indices.data(), GL_STATIC_DRAW);
        model.indexCount = int(cut->indices.size());
    } else {
        glBufferData(GL_ARRAY_BUFFER, vertexBytes, vertices.data(), GL_STATIC_DRAW);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(model.mesh->indices.size() * sizeof(uint32_t)),
                     model.mesh->indices.data(), GL_STATIC_DRAW);
        model.indexCount = int(model.mesh->indices.size());
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    model.buffersValid = true;
}

QVector3D SceneRenderer::colourOf(const Model &model)
{
    QColor colour = model.selected ? QColor(128, 128, 240) : QColor(128, 128, 128);
    if (model.type == TYPE_SUPPORT || model.type == TYPE_BASE) {
        if (model.selected)
            colour = QColor(230, 230, 5);
        if (model.isNew)
            colour = QColor(Qt::red);
    }
    return QVector3D(float(colour.redF()), float(colour.greenF()), float(colour.blueF()));
}

void SceneRenderer::retireBuffer(GLuint buffer)
{
    m_retiredBuffers.push_back(buffer);
}

void SceneRenderer::releaseGraphics(const QList<Model *> &models)
{
    if (QOpenGLContext::currentContext()) {
        initializeOpenGLFunctions();
        for (Model *model : models) {
            if (model->vbo == 0)
                continue;
            glDeleteBuffers(1, &model->ibo);
            glDeleteBuffers(1, &model->vbo);
            model->ibo = 0;
            model->vbo = 0;
            model->buffersValid = false;
        }
        if (!m_retiredBuffers.empty())
            glDeleteBuffers(GLsizei(m_retiredBuffers.size()), m_retiredBuffers.data());
        if (m_frameBuffer != 0)
            glDeleteBuffers(1, &m_frameBuffer);
        if (m_holeVbo != 0) {
            glDeleteBuffers(1, &m_holeVbo);
            glDeleteBuffers(1, &m_holeIbo);
        }
    }
    m_holeVbo = 0;
    m_holeIbo = 0;
    m_retiredBuffers.clear();
    m_frameBuffer = 0;
    m_frameLineCount = 0;
    m_items.clear();
    m_program.reset();
    m_programLinked = false;
}

void SceneRenderer::initialize()
{
    qDebug() << QThread::currentThreadId() << "KaloSceneRenderer::init()";
    initializeOpenGLFunctions();
#ifdef GL_MULTISAMPLE
    glEnable(GL_MULTISAMPLE);
#endif
    m_program = std::make_unique<QOpenGLShaderProgram>();
    m_programLinked = buildProgram();

    GLint maxAttributes = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &maxAttributes);
    qDebug() << "Maximum nr of vertex attributes supported: " << maxAttributes;

    glGenBuffers(1, &m_frameBuffer);
    uploadFrame();
}

void SceneRenderer::uploadFrame()
{
    const QVector3D &volume = m_view.buildVolume;
    qDebug() << "Frame right top: " << volume.x() * 0.5f << volume.y() * 0.5f << 0;
    const std::vector<MeshVertex> frame = frameVertices(volume);
    m_frameLineCount = int(frame.size() - 16) / 2;
    m_frameVolume = volume;
    glBindBuffer(GL_ARRAY_BUFFER, m_frameBuffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(frame.size() * sizeof(MeshVertex)), frame.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

bool SceneRenderer::buildProgram()
{
    bool ok = true;
    if (!m_program->addCacheableShaderFromSourceFile(QOpenGLShader::Vertex, QStringLiteral(":/shaders/kalo3d.vsh"))) {
        qCritical() << "vertex shader does not compile:" << m_program->log();
        ok = false;
    }
    if (!m_program->addCacheableShaderFromSourceFile(QOpenGLShader::Fragment,
                                                     QStringLiteral(":/shaders/kalo3d.fsh"))) {
        qCritical() << "fragment shader does not compile:" << m_program->log();
        ok = false;
    }
    m_program->bindAttributeLocation("vertex", int(vertexLocation));
    m_program->bindAttributeLocation("aNormal", int(normalLocation));
    if (ok && !m_program->link()) {
        qCritical() << "shader program does not link:" << m_program->log();
        ok = false;
    }
    return ok;
}

void SceneRenderer::paint()
{
    if (!QOpenGLContext::currentContext())
        return;
    if (!m_program)
        initialize();

    // Qt Quick leaves depth testing off and the clear colour black after
    // each frame it draws: the 3D view sets its own state every time.
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glClearColor(0.9f, 0.9f, 0.9f, 1.0f);
    glViewport(0, 0, m_view.viewport.width(), m_view.viewport.height());
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    if (m_programLinked) {
        const QVector3D &volume = m_view.buildVolume;
        const float largest = std::max({volume.x(), volume.y(), volume.z()});
        m_program->bind();
        m_program->setUniformValue("model", m_view.scene);
        m_program->setUniformValue("view", m_view.view);
        m_program->setUniformValue("projection", m_view.projection);
        // The light sits at the eye and moves with the camera.
        m_program->setUniformValue("lightPos", m_view.view.inverted().map(QVector3D()));
        m_program->setUniformValue("volume", volume / largest);
        // Another printer was chosen: its platform and grid.
        if (volume != m_frameVolume)
            uploadFrame();
        drawFrame();
        for (const DrawItem &item : m_items)
            drawItem(item);
        m_program->release();
    }

    if (m_view.window)
        m_view.window->resetOpenGLState();
}

void SceneRenderer::bindVertexLayout(GLuint vbo)
{
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glVertexAttribPointer(vertexLocation, 3, GL_FLOAT, GL_FALSE, GLsizei(sizeof(MeshVertex)), nullptr);
    glVertexAttribPointer(normalLocation, 3, GL_FLOAT, GL_FALSE, GLsizei(sizeof(MeshVertex)),
                          reinterpret_cast<const void *>(offsetof(MeshVertex, nx)));
    glEnableVertexAttribArray(vertexLocation);
    glEnableVertexAttribArray(normalLocation);
}

void SceneRenderer::drawFrame()
{
    m_program->setUniformValue("mType", int(TYPE_FRAME));
    m_program->setUniformValue("objectColor", frameColour);
    m_program->setUniformValue("lightColor", lightColour);
    bindVertexLayout(m_frameBuffer);
    glLineWidth(0.3f);
    glDrawArrays(GL_LINE_LOOP, 0, 4);
    glDrawArrays(GL_LINE_LOOP, 4, 4);
    glDrawArrays(GL_LINES, 8, 8);
    glDrawArrays(GL_LINES, 16, 2 * m_frameLineCount);
    glDisableVertexAttribArray(vertexLocation);
    glDisableVertexAttribArray(normalLocation);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void SceneRenderer::drawItem(const DrawItem &item)
{
    m_program->setUniformValue("mType", item.type);
    m_program->setUniformValue("model", item.model);
    m_program->setUniformValue("objectColor", item.colour);
    m_program->setUniformValue("markCount", int(item.marks.size()));
    if (!item.marks.empty())
        m_program->setUniformValueArray("marks", item.marks.data(), int(item.marks.size()));
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, item.ibo);
    bindVertexLayout(item.vbo);
    glDrawElements(GL_TRIANGLES, item.indexCount, GL_UNSIGNED_INT, nullptr);
    glDisableVertexAttribArray(vertexLocation);
    glDisableVertexAttribArray(normalLocation);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}
