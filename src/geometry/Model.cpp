#include "geometry/Model.h"

#include "geometry/MeshImport.h"

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
    , hollowing(source.hollowing)
    , cavity(source.cavity)
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

namespace {

// a . (b x c), with the operations of QVector3D's dotProduct and
// crossProduct in their order, so the result is the same to the bit; those
// are calls into the library, which a large mesh's bounds feel.
float tripleProduct(const QVector3D &a, const QVector3D &b, const QVector3D &c)
{
    const float x = b.y() * c.z() - b.z() * c.y();
    const float y = b.z() * c.x() - b.x() * c.z();
    const float z = b.x() * c.y() - b.y() * c.x();
    return a.x() * x + a.y() * y + a.z() * z;
}

} // namespace

bool Model::load(const QUrl &fileUrl, bool smooth, bool forceNewNormals, QString *problem)
{
    url = fileUrl;
    name = fileUrl.toLocalFile();
    qDebug() << "load " << name;
    if (!MeshImport::read(name, *mesh, smooth, forceNewNormals, problem))
        return false;
    // Zero facet normals made assimp's importer join vertices across facets
    // (the readers of our own make the normals as they read); only a second
    // read without the stored normals gives facets their own.
    if (!forceNewNormals && MeshImport::normalsAreZero(*mesh)) {
        qDebug() << "normal is invalid, reload and generate normal";
        mesh = std::make_shared<MeshPrimitiveData>();
        if (!MeshImport::read(name, *mesh, smooth, true, problem))
            return false;
    }

    // Placement rewrites the vertices once, so that a fresh model's transform
    // is the identity and its pivot the centroid.
    updateBounds();
    qDebug() << "translate when loaded: " << -center.x() << -center.y() << -boundMin.z();
    const QVector3D offset(center.x(), center.y(), boundMin.z());
    for (MeshVertex &v : mesh->vertices) {
        v.x -= offset.x();
        v.y -= offset.y();
        v.z -= offset.z();
    }
    updateBounds(true);
    pivot = center;

    if (boundMax.z() > 200.0f) {
        const float s = 130.0f / boundMax.z();
        qDebug() << "set model" << this << "new scale" << s << s << s;
        dirty = true;
        scale = QVector3D(s, s, s);
    }
    loaded = true;
    return true;
}

void Model::updateBounds(bool force)
{
    if (!dirty && !force)
        return;

    // Bounds and sums are kept in locals: through the members each corner
    // would wait for the store of the one before it.
    float lowX = 1e9f, lowY = 1e9f, lowZ = 1e9f;
    float highX = -1e9f, highY = -1e9f, highZ = -1e9f;
    // The sums in double precision: a large mesh adds millions of small
    // terms, which single precision rounds away (-2 % on 10 million).
    double cx = 0, cy = 0, cz = 0, totalVolume = 0, clampedVolume = 0;

    const QMatrix4x4 matrix = modelMatrix();
    const auto &vertices = mesh->vertices;
    const auto &indices = mesh->indices;
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        QVector3D p[3];
        for (int i = 0; i < 3; ++i) {
            const MeshVertex &v = vertices[indices[k + i]];
            p[i] = matrix.map(QVector3D(v.x, v.y, v.z));
            lowX = std::min(lowX, p[i].x());
            lowY = std::min(lowY, p[i].y());
            lowZ = std::min(lowZ, p[i].z());
            highX = std::max(highX, p[i].x());
            highY = std::max(highY, p[i].y());
            highZ = std::max(highZ, p[i].z());
        }
        // Resin cannot print below the plate: the volume counts those parts
        // as flattened onto z = 0. The centroid uses the mesh as it stands,
        // except that the first two corners are already pressed onto the
        // plate there.
        for (int i = 0; i < 2; ++i)
            if (p[i].z() < 0)
                p[i].setZ(0);
        const float d = tripleProduct(p[0], p[1], p[2]) / 6.0f;
        const QVector3D weighted = (p[0] + p[1] + p[2]) * 0.25f * d;
        cx += weighted.x();
        cy += weighted.y();
        cz += weighted.z();
        totalVolume += d;
        if (p[2].z() < 0)
            p[2].setZ(0);
        clampedVolume += double(tripleProduct(p[0], p[1], p[2]) * 0.16666667f);
    }
    boundMin = QVector3D(lowX, lowY, lowZ);
    boundMax = QVector3D(highX, highY, highZ);

    qDebug() << "Boundary" << formatPoint(boundMin) << formatPoint(boundMax);
    volume = float(std::fabs(clampedVolume) / 1000.0);
    if (cavityFits())
        volume = std::max(0.0f, volume - cavity.volumeMl);
    qDebug() << "volume:" << volume;
    center = QVector3D(float(cx / totalVolume), float(cy / totalVolume), float(cz / totalVolume));
    qDebug() << "center new, totalVolume" << totalVolume << "center" << formatPoint(center);

    // A thin curved shell can have its volume centroid outside its own box,
    // and a mesh that encloses nothing (a flat plate) has none at all; the
    // box centre is a better pivot then.
    for (int a = 0; a < 3; ++a) {
        if (!std::isfinite(center[a]) || center[a] < boundMin[a] || center[a] > boundMax[a]) {
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
    for (Model *support : supports) {
        support->followOwnerZ(dz);
        support->translate = translate;
        support->dirty = true;
    }
    // The plate lies on the platform whatever the model's height: it follows
    // across the platform only.
    if (base) {
        base->translate = QVector3D(translate.x(), translate.y(), base->translate.z());
        base->dirty = true;
    }
}

void Model::followOwnerZ(float dz)
{
    Q_UNUSED(dz)
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
    const float d = -floatHeight();
    if (d >= 0)
        return;
    qDebug() << "translate z:" << d;
    dirty = true;
    translate.setZ(translate.z() + d);
    syncAttachments(d);
}

float Model::floatHeight()
{
    // A support may stand on another model's top rather than on the plate.
    if (!supports.empty() || type == TYPE_SUPPORT)
        return 0;
    updateBounds();
    if (base)
        base->updateBounds();
    const float floor = base ? base->boundMax.z() : 0.0f;
    return std::max(0.0f, boundMin.z() - floor);
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
    // The mirrored mesh needs a cavity made for it.
    cavity = ModelCavity();
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
