#include "workspace/Picking.h"

#include "geometry/Model.h"
#include "workspace/Camera.h"

#include <QDebug>
#include <QVector4D>

#include <algorithm>
#include <limits>

namespace Picking {

PickRay rayThroughPixel(const QPointF &pixel, const QSizeF &view, const QMatrix4x4 &viewMatrix,
                        const QMatrix4x4 &projection)
{
    const QPointF ndc = Camera::toNdc(pixel, view);
    const QVector4D clip(float(ndc.x()), float(ndc.y()), -1.0f, 1.0f);
    QVector4D eye = projection.inverted() * clip;
    // A direction, not a point: pointing into the screen, free of translation.
    eye.setZ(-1.0f);
    eye.setW(0.0f);
    const QMatrix4x4 toModel = viewMatrix.inverted();
    return {toModel.map(QVector3D()), (toModel * eye).toVector3D().normalized()};
}

std::optional<float> intersectTriangle(const PickRay &ray, const QVector3D &c1, const QVector3D &c2,
                                       const QVector3D &c3)
{
    constexpr float epsilon = std::numeric_limits<float>::epsilon();
    const QVector3D e1 = c2 - c1;
    const QVector3D e2 = c3 - c1;
    const QVector3D p = QVector3D::crossProduct(ray.direction, e2);
    const float det = QVector3D::dotProduct(e1, p);
    if (det > -epsilon && det < epsilon)
        return std::nullopt;
    const QVector3D t0 = ray.origin - c1;
    const float u = QVector3D::dotProduct(t0, p) / det;
    if (u < 0.0f || u > 1.0f)
        return std::nullopt;
    const QVector3D q = QVector3D::crossProduct(t0, e1);
    const float v = QVector3D::dotProduct(ray.direction, q) / det;
    if (v < 0.0f || u + v > 1.0f)
        return std::nullopt;
    const float t = QVector3D::dotProduct(e2, q) / det;
    if (!(t > epsilon))
        return std::nullopt;
    return t;
}

std::vector<PickHit> pickObjects(const PickRay &ray, const QList<Model *> &models, int typeFilter,
                                 const QMatrix4x4 &sceneMatrix)
{
    std::vector<PickHit> hits;
    const QMatrix4x4 toMillimetres = sceneMatrix.inverted();
    const float directionLength = ray.direction.length();
    const QVector3D unitDirection = ray.direction.normalized();
    std::vector<QVector3D> placed;
    for (int index = 0; index < models.size(); ++index) {
        Model *object = models.at(index);
        if (typeFilter != anyType && object->type != typeFilter)
            continue;

        const QMatrix4x4 toScene = sceneMatrix * object->modelMatrix();
        const auto &vertices = object->mesh->vertices;
        placed.resize(vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i)
            placed[i] = toScene.map(QVector3D(vertices[i].x, vertices[i].y, vertices[i].z));

        QMatrix4x4 turn;
        turn.rotate(object->rotate.x(), 1.0f, 0.0f, 0.0f);
        turn.rotate(object->rotate.y(), 0.0f, 1.0f, 0.0f);
        turn.rotate(object->rotate.z(), 0.0f, 0.0f, 1.0f);

        const auto &indices = object->mesh->indices;
        const size_t before = hits.size();
        for (size_t k = 0; k + 2 < indices.size(); k += 3) {
            const QVector3D &c1 = placed[indices[k]];
            const QVector3D &c2 = placed[indices[k + 1]];
            const QVector3D &c3 = placed[indices[k + 2]];
            const std::optional<float> t = intersectTriangle(ray, c1, c2, c3);
            if (!t)
                continue;
            PickHit hit;
            hit.ray = ray;
            hit.object = object;
            const MeshVertex &first = vertices[indices[k]];
            hit.normal = turn.mapVector(QVector3D(first.nx, first.ny, first.nz)).normalized();
            hit.triangle = {toMillimetres.map(c1), toMillimetres.map(c2), toMillimetres.map(c3)};
            const QVector3D point = ray.origin + unitDirection * (*t * directionLength);
            hit.distance = (point - ray.origin).length();
            hit.point = toMillimetres.map(point);
            hits.push_back(hit);
        }
        if (hits.size() > before)
            qDebug() << "match a model" << index;
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const PickHit &a, const PickHit &b) { return a.distance < b.distance; });
    return hits;
}

} // namespace Picking
