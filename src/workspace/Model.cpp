#include "workspace/Model.h"

#include "workspace/KaloModel.h"

#include <QDebug>

#include <algorithm>
#include <cmath>

namespace {

QString formatPoint(const QVector3D &p)
{
    return QString::asprintf("(%.8f, %.8f, %.8f)", p.x(), p.y(), p.z());
}

float component(const QVector3D &v, int axis)
{
    return v[axis - 1];
}

} // namespace

Model::Model(int type)
    : type(type)
    , mesh(std::make_shared<MeshPrimitiveData>())
{
    qDebug() << "create new model" << this << "type" << type;
}

Model::Model(const Model &source)
    : type(source.type)
    , mesh(source.type == TYPE_NORMAL ? source.mesh : std::make_shared<MeshPrimitiveData>(*source.mesh))
    , loaded(true)
    , boundMin(0, 0, 0)
    , boundMax(0, 0, 0)
    , pivot(source.pivot)
    , name(source.name + QStringLiteral("_copy"))
    , translate(source.translate)
    , scale(source.scale)
    , rotate(source.rotate)
{
    qDebug() << "copy create new model" << this << "from" << &source << "type" << type;
    updateBounds();
}

Model::~Model()
{
    qDebug() << "destroy model" << this;
    if (owner && type == TYPE_SUPPORT) {
        auto &list = owner->supports;
        auto it = std::find(list.begin(), list.end(), this);
        if (it != list.end())
            list.erase(it);
    }
    if (owner && type == TYPE_BASE && owner->base == this)
        owner->base = nullptr;
}

void Model::updateBounds(bool force)
{
    if (!dirty && !force)
        return;

    boundMin = QVector3D(1e9f, 1e9f, 1e9f);
    boundMax = QVector3D(-1e9f, -1e9f, -1e9f);
    center = QVector3D();
    double cx = 0, cy = 0, cz = 0, totalVolume = 0;
    float clampedVolume = 0;

    const QMatrix4x4 matrix = modelMatrix();
    const auto &vertices = mesh->vertices;
    const auto &indices = mesh->indices;
    QVector3D slot[3];
    for (size_t k = 0; k < indices.size(); ++k) {
        const int i = int(k % 3);
        const MeshVertex &v = vertices[indices[k]];
        QVector3D p = matrix.map(QVector3D(v.x, v.y, v.z));
        slot[i] = p;
        for (int a = 0; a < 3; ++a) {
            boundMin[a] = std::min(boundMin[a], p[a]);
            boundMax[a] = std::max(boundMax[a], p[a]);
        }
        if (i == 2) {
            // The centroid uses the mesh as it stands, except that the first
            // two corners were already pressed onto the plate below.
            const float d = QVector3D::dotProduct(slot[0], QVector3D::crossProduct(slot[1], slot[2])) / 6.0f;
            const QVector3D weighted = (slot[0] + slot[1] + slot[2]) * 0.25f * d;
            cx += weighted.x();
            cy += weighted.y();
            cz += weighted.z();
            totalVolume += d;
        }
        // Resin cannot print below the plate: the volume counts those parts
        // as flattened onto z = 0.
        if (slot[i].z() < 0)
            slot[i].setZ(0);
        if (i == 2)
            clampedVolume += QVector3D::dotProduct(slot[0], QVector3D::crossProduct(slot[1], slot[2])) * 0.16666667f;
    }

    qDebug() << "Boundary" << formatPoint(boundMin) << formatPoint(boundMax);
    volume = std::fabs(clampedVolume) / 1000.0f;
    qDebug() << "volume:" << volume;
    center = QVector3D(float(cx / totalVolume), float(cy / totalVolume), float(cz / totalVolume));
    qDebug() << "center new, totalVolume" << totalVolume << "center" << formatPoint(center);

    // A thin curved shell can have its volume centroid outside its own box;
    // the box centre is a better pivot then.
    for (int a = 0; a < 3; ++a) {
        if (center[a] < boundMin[a] || center[a] > boundMax[a]) {
            center = (boundMin + boundMax) * 0.5f;
            qDebug() << "repair center to" << formatPoint(center);
            break;
        }
    }

    radius = std::max(boundMin.length(), boundMax.length());
    dirty = false;
}

QMatrix4x4 Model::modelMatrix() const
{
    QMatrix4x4 matrix;
    matrix.scale(scale);
    matrix.rotate(rotate.x(), 1, 0, 0);
    matrix.rotate(rotate.y(), 0, 1, 0);
    matrix.rotate(rotate.z(), 0, 0, 1);
    QMatrix4x4 place;
    place.translate(pivot + translate);
    matrix = place * matrix;
    matrix.translate(-pivot);
    return matrix;
}

QVector3D Model::mapToScene(const QVector3D &point) const
{
    QMatrix4x4 matrix = modelMatrix();
    if (KaloModel *manager = KaloModel::instance())
        matrix = manager->sceneMatrix() * matrix;
    return matrix.map(point);
}

void Model::bakeInverseTransform()
{
    const QMatrix4x4 inverse = modelMatrix().inverted();
    for (MeshVertex &v : mesh->vertices) {
        const QVector3D p = inverse.map(QVector3D(v.x, v.y, v.z));
        v.x = p.x();
        v.y = p.y();
        v.z = p.z();
    }
}

void Model::setTranslate(float x, float y, float z)
{
    qDebug() << "set model" << this << "new translate" << x << y << z;
    dirty = true;
    const float oldZ = translate.z();
    translate = QVector3D(x, y, z);
    syncAttachments(z - oldZ);
}

void Model::translateBy(float dx, float dy, float dz)
{
    dirty = true;
    translate += QVector3D(dx, dy, dz);
    syncAttachments(dz);
}

void Model::syncAttachments(float dz)
{
    Q_UNUSED(dz) // support columns re-fit to the owner's new height once they have geometry
    for (Model *support : supports) {
        support->translate = translate;
        support->dirty = true;
    }
    if (base) {
        base->translate = translate;
        base->dirty = true;
    }
}

float Model::dropToFloor()
{
    updateBounds();
    const float floor = base ? base->boundMax.z() : 0.0f;
    const float d = floor - boundMin.z();
    qDebug() << "translate z:" << d;
    if (d != 0) {
        dirty = true;
        translate.setZ(translate.z() + d);
        syncAttachments(d);
    }
    return translate.z();
}

void Model::settleIfFloating()
{
    if (!supports.empty())
        return;
    updateBounds();
    const float floor = base ? base->boundMax.z() : 0.0f;
    const float d = floor - boundMin.z();
    if (d >= 0)
        return;
    qDebug() << "translate z:" << d;
    dirty = true;
    translate.setZ(translate.z() + d);
    syncAttachments(d);
}

void Model::flip(int axis)
{
    if (axis < 1 || axis > 3)
        return;
    if (mesh.use_count() > 1) {
        mesh = std::make_shared<MeshPrimitiveData>(*mesh);
        qDebug() << "remove data share";
    }
    for (MeshVertex &v : mesh->vertices) {
        float *position[] = {&v.x, &v.y, &v.z};
        float *normal[] = {&v.nx, &v.ny, &v.nz};
        *position[axis - 1] = -*position[axis - 1];
        *normal[axis - 1] = -*normal[axis - 1];
    }
    pivot[axis - 1] = -component(pivot, axis);
    // A mirror is its own inverse only together with the turns about the
    // other two axes reversed.
    if (type == TYPE_NORMAL) {
        for (int a = 1; a <= 3; ++a) {
            if (a != axis)
                rotate[a - 1] = -component(rotate, a);
        }
    }
    if (base)
        base->flip(axis);
    for (Model *support : supports)
        support->flip(axis);
    buffersValid = false;
    dirty = true;
}

QList<Model *> Model::copyWithAttachments()
{
    updateBounds();
    auto *copy = new Model(*this);
    copyCount += 1;
    copy->translate.setY(copy->translate.y() + copyCount * (boundMax.y() - boundMin.y() + 3.0f));
    copy->dirty = true;
    copy->syncAttachments(0);
    copy->updateBounds(true);

    QList<Model *> result{copy};
    for (Model *support : supports) {
        auto *supportCopy = new Model(*support);
        supportCopy->owner = copy;
        copy->supports.push_back(supportCopy);
        supportCopy->translate = copy->translate;
        supportCopy->dirty = true;
        supportCopy->updateBounds(true);
        result.append(supportCopy);
    }
    return result;
}

void Model::removeAllSupports()
{
    qDebug() << "remove all supports of" << this;
    KaloModel *manager = KaloModel::instance();
    if (base) {
        qDebug() << "remove base support" << base;
        manager->removeModel(base);
        base = nullptr;
    }
    const std::vector<Model *> snapshot = supports;
    for (Model *support : snapshot) {
        qDebug() << "remove suport" << support;
        manager->removeModel(support);
    }
    supports.clear();
}
