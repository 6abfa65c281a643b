#pragma once

// A scene with every kind of object a project file holds, for the project
// file tests and the fuzz harness's seeds.

#include "app/ProjectFile.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"
#include "workspace/SceneEditor.h"

#include <QBuffer>
#include <QByteArray>

namespace SampleProject {

// Appends to manager: "cube.stl", a 6 mm cube raised 5 mm above the plate
// at x = -10, held by two support columns; then "sphere.stl", a sphere of
// radius 4 mm moved 10 mm along x and standing on a 1 mm base plate. List
// order: cube, support, support, sphere, base plate. Needs KaloConfig.
inline void build(KaloModel &manager)
{
    Model *cube = TestMeshes::makeModel(TestMeshes::box({-13, -3, 5}, {-7, 3, 11}));
    cube->name = QStringLiteral("cube.stl");
    manager.addModel(cube);
    for (const float y : {-2.0f, 2.0f}) {
        CWS::Support *support = manager.createSupport(-10, y, 5, cube);
        support->bakeInverseTransform();
        support->updateBounds(true);
    }

    Model *sphere = TestMeshes::makeModel(TestMeshes::sphere(4, {0, 0, 4}, 8, 16));
    sphere->name = QStringLiteral("sphere.stl");
    manager.addModel(sphere);
    sphere->setTranslate(10, 0, 0);
    SceneEditor(manager.scene()).addBasePlate(*sphere, 1.0f);
}

// The project file of models as ProjectFile writes it.
inline QByteArray bytes(const QList<Model *> &models)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ProjectFile::write(buffer, models);
    return buffer.data();
}

} // namespace SampleProject
