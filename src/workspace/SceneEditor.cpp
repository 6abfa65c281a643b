#include "workspace/SceneEditor.h"

#include "geometry/Model.h"
#include "settings/SupportConfig.h"
#include "supports/OverhangPlanner.h"
#include "supports/Support.h"
#include "workspace/ModelOutline.h"
#include "workspace/Scene.h"
#include "workspace/SkylinePacker.h"

#include <QDebug>

#include <algorithm>

namespace {

// Closed box from min to max: two triangles per face, counter-clockwise seen
// from outside, every vertex its own with the face's outward normal.
MeshPrimitiveData boxMesh(const QVector3D &min, const QVector3D &max)
{
    const QVector3D c[8] = {
        {min.x(), min.y(), min.z()}, {max.x(), min.y(), min.z()}, {max.x(), max.y(), min.z()},
        {min.x(), max.y(), min.z()}, {min.x(), min.y(), max.z()}, {max.x(), min.y(), max.z()},
        {max.x(), max.y(), max.z()}, {min.x(), max.y(), max.z()},
    };
    const struct
    {
        int corner[4];
        QVector3D normal;
    } faces[6] = {
        {{0, 3, 2, 1}, {0, 0, -1}}, {{4, 5, 6, 7}, {0, 0, 1}}, {{0, 1, 5, 4}, {0, -1, 0}},
        {{1, 2, 6, 5}, {1, 0, 0}},  {{2, 3, 7, 6}, {0, 1, 0}}, {{3, 0, 4, 7}, {-1, 0, 0}},
    };
    MeshPrimitiveData mesh;
    for (const auto &face : faces) {
        for (const int k : {0, 1, 2, 0, 2, 3}) {
            const QVector3D &p = c[face.corner[k]];
            mesh.indices.push_back(uint32_t(mesh.vertices.size()));
            mesh.vertices.push_back({p.x(), p.y(), p.z(), face.normal.x(), face.normal.y(), face.normal.z()});
        }
    }
    return mesh;
}

// Copies keep at least this far (mm) from every other model.
constexpr double copyGapMm = 1.0;
// Past this many steps a copy goes where the last one lands, free or not.
constexpr int maxCopySteps = 1000;

} // namespace

SceneEditor::SceneEditor(Scene &scene)
    : m_scene(scene)
{
}

void SceneEditor::moveTo(Model &model, const QVector3D &translate)
{
    model.setTranslate(translate.x(), translate.y(), translate.z());
}

void SceneEditor::moveBy(Model &model, float dx, float dy)
{
    model.translateBy(dx, dy, 0);
}

float SceneEditor::dropToFloor(Model &model)
{
    return model.dropToFloor();
}

void SceneEditor::scale(Model &model, const QVector3D &scale)
{
    qDebug() << "set model" << &model << "new scale" << scale.x() << scale.y() << scale.z();
    model.updateBounds();
    const float lowest = model.boundMin.z();
    model.dirty = true;
    model.scale = scale;
    keepLowestAt(model, lowest);
}

void SceneEditor::rotate(Model &model, const QVector3D &degrees)
{
    qDebug() << "set model" << &model << "new rotate" << degrees.x() << degrees.y() << degrees.z();
    model.updateBounds();
    const float lowest = model.boundMin.z();
    model.dirty = true;
    model.rotate = degrees;
    keepLowestAt(model, lowest);
}

void SceneEditor::flip(Model &model, int axis)
{
    model.updateBounds();
    const float lowest = model.boundMin.z();
    model.flip(axis);
    keepLowestAt(model, lowest);
}

void SceneEditor::keepLowestAt(Model &model, float lowest)
{
    model.updateBounds();
    // A model without vertices keeps its impossible bounds: nothing to keep.
    if (model.boundMin.z() > model.boundMax.z())
        return;
    // Scaling and turning happen about the pivot, the model's centroid, which
    // would leave a scaled-down model floating and a turned or flipped one
    // sunk into the plate.
    const float d = lowest - model.boundMin.z();
    if (d != 0)
        model.translateBy(0, 0, d);
}

QList<Model *> SceneEditor::copy(Model &source)
{
    // Copies line up along +y, a step of the source's depth with its plate
    // and supports plus 3 mm each, at the first step where the copy meets
    // no other model: a copy of a copy must not land on the source's next
    // copy, nor on anything the user put there.
    const QRectF outline = ModelOutline::of(source);
    std::vector<QRectF> taken;
    for (Model *model : m_scene.models()) {
        if (model->type == TYPE_NORMAL)
            taken.push_back(ModelOutline::of(*model).adjusted(-copyGapMm / 2, -copyGapMm / 2, copyGapMm / 2,
                                                               copyGapMm / 2));
    }
    const double step = outline.height() + 3.0;
    const auto isFree = [&taken](const QRectF &place) {
        return std::none_of(taken.begin(), taken.end(), [&place](const QRectF &t) { return t.intersects(place); });
    };
    int steps = 1;
    while (steps < maxCopySteps && !isFree(outline.translated(0, steps * step)))
        ++steps;
    auto *copy = new Model(source);
    source.copyCount += 1;
    copy->translate.setY(copy->translate.y() + float(steps * step));
    copy->dirty = true;
    copy->syncAttachments(0);
    copy->updateBounds(true);
    m_scene.add(copy);

    QList<Model *> added{copy};
    if (source.base)
        added.append(addBasePlate(*copy, source.base->baseThickness));
    for (Model *support : source.supports) {
        auto *supportCopy = new CWS::Support(*static_cast<const CWS::Support *>(support));
        supportCopy->owner = copy;
        copy->supports.push_back(supportCopy);
        supportCopy->translate = copy->translate;
        supportCopy->dirty = true;
        supportCopy->updateBounds(true);
        m_scene.add(supportCopy);
        added.append(supportCopy);
    }
    return added;
}

void SceneEditor::remove(Model *model)
{
    m_scene.removeAttachments(*model);
    m_scene.remove(model);
}

Model *SceneEditor::addBasePlate(Model &model, float thickness)
{
    qDebug() << "SceneEditor::addBasePlate" << thickness;
    if (model.base) {
        m_scene.remove(model.base);
        model.base = nullptr;
    }
    model.updateBounds();
    const QVector3D &boundMin = model.boundMin;
    const QVector3D &boundMax = model.boundMax;
    qDebug() << "bound:" << boundMin.x() << boundMax.x();

    auto *plate = new Model(TYPE_BASE);
    plate->owner = &model;
    *plate->mesh = boxMesh(QVector3D(boundMin.x() - 2.0f, boundMin.y() - 2.0f, 0.0f),
                           QVector3D(boundMax.x() + 2.0f, boundMax.y() + 2.0f, thickness));
    plate->loaded = true;
    plate->updateBounds();

    // A model raised on supports already clears the plate; one resting on
    // the platform now rests on the plate.
    if (thickness > boundMin.z()) {
        const float d = thickness - boundMin.z();
        model.dirty = true;
        model.translate.setZ(model.translate.z() + d);
        model.syncAttachments(d);
    }
    // Built on the platform, the plate must stay there under the owner's translation.
    plate->translate = model.translate;
    plate->dirty = true;
    plate->bakeInverseTransform();

    qDebug() << "SceneEditor::addBasePlate end";
    model.base = plate;
    model.baseThickness = thickness;
    plate->baseThickness = thickness;
    m_scene.add(plate);
    return plate;
}

void SceneEditor::addBasePlates(float thickness)
{
    QList<Model *> normals;
    for (Model *model : m_scene.models()) {
        if (model->type == TYPE_NORMAL)
            normals.append(model);
    }
    for (Model *model : qAsConst(normals))
        addBasePlate(*model, thickness);
}

CWS::Support *SceneEditor::addSupport(float x, float y, float length, Model *owner,
                                      const CWS::SupportConfig *config)
{
    auto *support = new CWS::Support(owner);
    support->buildColumn(config, length);
    support->transformScope = 0;
    support->translateScoped(x, y, 0);
    // The centre from before the move: with unit scale and no rotation the
    // pivot does not change where the column stands.
    support->pivot = support->center;
    support->loaded = true;
    m_scene.add(support);
    return support;
}

CWS::Support *SceneEditor::addColumn(float x, float y, float length, Model *owner, const CWS::SupportConfig *config)
{
    CWS::Support *support = addSupport(x, y, length, owner, config);
    support->bakeInverseTransform();
    support->updateBounds(true);
    return support;
}

CWS::Support *SceneEditor::addTippedSupport(const CWS::SupportPlacement &placement, Model *owner,
                                            const CWS::SupportConfig *config)
{
    auto *support = new CWS::Support(owner);
    support->buildTipped(config, placement);
    support->pivot = support->center;
    support->loaded = true;
    m_scene.add(support);
    support->bakeInverseTransform();
    support->updateBounds(true);
    return support;
}

bool SceneEditor::hollow(Model &model, float wallMm, Lattice lattice)
{
    const float wall = wallMm > 0 ? std::clamp(wallMm, Hollowing::minWallMm, Hollowing::maxWallMm) : 0.0f;
    if (wall == 0 || !lattice.any())
        lattice = Lattice();
    else
        lattice = {std::clamp(lattice.spacingMm, Lattice::minSpacingMm, Lattice::maxSpacingMm),
                   std::clamp(lattice.wallMm, Lattice::minWallMm, Lattice::maxWallMm)};
    if (wall == model.hollowing.wallMm && lattice == model.hollowing.lattice)
        return false;
    model.hollowing.wallMm = wall;
    model.hollowing.lattice = lattice;
    if (wall == 0)
        model.hollowing.drainHoles.clear();
    model.dirty = true;
    return true;
}

void SceneEditor::addDrainHole(Model &model, const DrainHole &onPlatform)
{
    // A direction along the surface normal maps back as normals do: by the
    // transpose of the matrix's linear part.
    const QMatrix4x4 matrix = model.modelMatrix();
    model.hollowing.drainHoles.push_back({matrix.inverted().map(onPlatform.position),
                                          matrix.transposed().mapVector(onPlatform.direction).normalized(),
                                          onPlatform.diameterMm});
}

bool SceneEditor::removeDrainHole(Model &model, int index)
{
    auto &holes = model.hollowing.drainHoles;
    if (index < 0 || index >= int(holes.size()))
        return false;
    holes.erase(holes.begin() + index);
    return true;
}

bool SceneEditor::removeSupports(Model &model)
{
    if (model.supports.empty())
        return false;
    // Each column unlinks itself from the model as it goes.
    const std::vector<Model *> columns(model.supports.begin(), model.supports.end());
    for (Model *column : columns)
        remove(column);
    return true;
}

CWS::Support *SceneEditor::addSupportUnder(const QVector3D &point, const QVector3D &normal, Model *owner,
                                           const CWS::SupportConfig *config)
{
    CWS::Support *support = addSupport(point.x(), point.y(), point.z(), owner, config);
    support->transformScope = 1;
    support->aimHead(point, normal);
    support->transformScope = 0;
    support->bakeInverseTransform();
    support->updateBounds(true);
    return support;
}

bool SceneEditor::layout(const LcdSpec &lcd)
{
    const LayoutGrid grid(lcd);
    SkylinePacker packer(grid.width, grid.depth);
    const auto footprint = [&grid](const QRectF &outline) {
        return grid.footprint(QVector3D(float(outline.left()), float(outline.top()), 0),
                              QVector3D(float(outline.right()), float(outline.bottom()), 0));
    };

    // Each model is packed with its base plate and supports: the plate
    // reaches beyond the model, and the margin must separate plates.
    struct Entry
    {
        Model *model;
        QRectF outline;
    };
    std::vector<Entry> entries;
    for (Model *model : m_scene.models()) {
        if (model->type == TYPE_NORMAL)
            entries.push_back({model, ModelOutline::of(*model)});
    }
    const auto key = [](const Entry &entry) { return std::max(entry.outline.width(), entry.outline.height()); };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry &a, const Entry &b) { return key(a) > key(b); });

    std::vector<Placement> placements;
    for (const Entry &entry : entries) {
        const QRectF turned = ModelOutline::turned(entry.outline, ModelOutline::axis(*entry.model));
        Placement placement;
        if (!packer.place(footprint(entry.outline), footprint(turned), placement))
            break;
        placements.push_back(placement);
    }
    if (placements.size() != entries.size()) {
        qDebug() << "layout failed" << placements.size() << entries.size();
        return false;
    }

    qDebug() << "layout cal succeed, apply them" << packer.maxRight() << packer.maxTop() << grid.width
             << grid.depth;
    const QPoint offset = packer.centringOffset();
    for (size_t i = 0; i < entries.size(); ++i) {
        Model *model = entries[i].model;
        const Placement &placement = placements[i];
        QRectF outline = entries[i].outline;
        if (placement.rotated) {
            ModelOutline::turnQuarter(*model);
            outline = ModelOutline::of(*model);
        }
        const int gridDx = placement.x + offset.x() - grid.toGridX(float(outline.left()));
        const int gridDy = placement.y + offset.y() - grid.toGridY(float(outline.top()));
        const float dx = float(gridDx) / grid.lcd.pixelsPerMmX;
        const float dy = float(gridDy) / grid.lcd.pixelsPerMmY;
        qDebug() << "move" << model << dx << dy;
        model->translateBy(dx, dy, 0);
    }
    return true;
}
