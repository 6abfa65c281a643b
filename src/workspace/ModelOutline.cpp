#include "workspace/ModelOutline.h"

#include "geometry/Model.h"

#include <QMatrix4x4>
#include <QtMath>

#include <cmath>
#include <memory>
#include <vector>

namespace ModelOutline {

namespace {

std::vector<Model *> attachmentsOf(const Model &model)
{
    std::vector<Model *> attached = model.supports;
    if (model.base)
        attached.push_back(model.base);
    return attached;
}

// The x, y and z angles (degrees) of the rotation R = Rx * Ry * Rz that the
// model matrix applies (see Model::modelMatrix).
QVector3D eulerXyz(const QMatrix4x4 &r)
{
    const double sinY = std::max(-1.0, std::min(1.0, double(r(0, 2))));
    const double y = std::asin(sinY);
    double x = 0;
    double z = 0;
    if (std::abs(sinY) < 0.9999999) {
        x = std::atan2(-double(r(1, 2)), double(r(2, 2)));
        z = std::atan2(-double(r(0, 1)), double(r(0, 0)));
    } else {
        // Turned a quarter about y: x and z turn about one axis, z is put to 0.
        x = std::atan2(double(r(1, 0)) * sinY, double(r(1, 1)));
    }
    return QVector3D(float(qRadiansToDegrees(x)), float(qRadiansToDegrees(y)), float(qRadiansToDegrees(z)));
}

} // namespace

QRectF of(Model &model)
{
    model.updateBounds();
    QPointF low(double(model.boundMin.x()), double(model.boundMin.y()));
    QPointF high(double(model.boundMax.x()), double(model.boundMax.y()));
    for (Model *attached : attachmentsOf(model)) {
        attached->updateBounds();
        low.setX(std::min(low.x(), double(attached->boundMin.x())));
        low.setY(std::min(low.y(), double(attached->boundMin.y())));
        high.setX(std::max(high.x(), double(attached->boundMax.x())));
        high.setY(std::max(high.y(), double(attached->boundMax.y())));
    }
    return QRectF(low, high);
}

QPointF axis(const Model &model)
{
    const QVector3D point = model.pivot + model.translate;
    return QPointF(double(point.x()), double(point.y()));
}

QRectF turned(const QRectF &outline, const QPointF &axis)
{
    // (x, y) goes to (ax - (y - ay), ay + (x - ax)).
    return QRectF(QPointF(axis.x() - (outline.bottom() - axis.y()), axis.y() + (outline.left() - axis.x())),
                  QPointF(axis.x() - (outline.top() - axis.y()), axis.y() + (outline.right() - axis.x())));
}

void turnQuarter(Model &model)
{
    const QPointF centre = axis(model);
    QMatrix4x4 turn;
    turn.translate(float(centre.x()), float(centre.y()), 0);
    turn.rotate(90, 0, 0, 1);
    turn.translate(-float(centre.x()), -float(centre.y()), 0);

    for (Model *attached : attachmentsOf(model)) {
        // In the attachment's own coordinates, so that its transform (the
        // owner's translation) stays as it is.
        const QMatrix4x4 place = attached->modelMatrix();
        const QMatrix4x4 change = place.inverted() * turn * place;
        const QMatrix3x3 normals = change.normalMatrix();
        // The undo history may still share the mesh as it was.
        attached->mesh = std::make_shared<MeshPrimitiveData>(*attached->mesh);
        for (MeshVertex &v : attached->mesh->vertices) {
            const QVector3D p = change.map(QVector3D(v.x, v.y, v.z));
            const float n[3] = {v.nx, v.ny, v.nz};
            v.x = p.x();
            v.y = p.y();
            v.z = p.z();
            v.nx = normals(0, 0) * n[0] + normals(0, 1) * n[1] + normals(0, 2) * n[2];
            v.ny = normals(1, 0) * n[0] + normals(1, 1) * n[1] + normals(1, 2) * n[2];
            v.nz = normals(2, 0) * n[0] + normals(2, 1) * n[1] + normals(2, 2) * n[2];
        }
        attached->buffersValid = false;
        attached->dirty = true;
    }

    // The model matrix is T * S * R * T(-pivot) with S diagonal: turning it
    // about the pivot's vertical gives T * Rz(90) * S * R * T(-pivot), and
    // Rz(90) * S = S' * Rz(90) with S' trading the x and y scales.
    model.scale = QVector3D(model.scale.y(), model.scale.x(), model.scale.z());
    if (model.rotate.x() == 0 && model.rotate.y() == 0) {
        // Exact, and the angle the user sees keeps counting on.
        model.rotate.setZ(model.rotate.z() + 90);
    } else {
        QMatrix4x4 r;
        r.rotate(90, 0, 0, 1);
        r.rotate(model.rotate.x(), 1, 0, 0);
        r.rotate(model.rotate.y(), 0, 1, 0);
        r.rotate(model.rotate.z(), 0, 0, 1);
        model.rotate = eulerXyz(r);
    }
    model.dirty = true;
}

} // namespace ModelOutline
