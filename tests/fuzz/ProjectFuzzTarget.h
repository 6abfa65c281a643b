#pragma once

// What the project fuzzers run on every input, and the valid projects their
// mutations start from. Needs a KaloConfig and no other KaloModel alive.

#include "app/ProjectFile.h"
#include "common/SampleProject.h"
#include "common/TestMeshes.h"
#include "geometry/Model.h"
#include "settings/KaloConfig.h"
#include "supports/Support.h"
#include "workspace/KaloModel.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>

#include <memory>

namespace ProjectFuzz {

// Reads data as a project into a scene that already holds a model, then
// does with the objects read what a user can: move, mirror and copy the
// models with their supports and plates, measure and delete everything.
// A damaged project must be refused, or read into objects that survive all
// of that without touching memory outside them. True when data was read.
inline bool run(const QByteArray &data)
{
    KaloModel manager;
    manager.addModel(TestMeshes::makeModel(TestMeshes::cube(4)));
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    ProjectObjects objects;
    QJsonObject settings;
    if (!ProjectFile::read(buffer, objects, nullptr, &settings) || !manager.loadObjects(objects))
        return false;
    // Whatever settings the file carries are checked before use.
    KaloConfig::instance()->usePrintSettings(settings);

    const QList<Model *> loaded = manager.models();
    for (int i = 0; i < loaded.size(); ++i) {
        Model *model = loaded[i];
        if (model->type != TYPE_NORMAL)
            continue;
        model->translateBy(1, 0, 2);
        model->flip(1 + i % 3);
        model->dropToFloor();
        manager.copyModel(i);
    }
    manager.getTotalVolume();
    manager.calcNumSlices();
    // Re-saving walks every link once more.
    QBuffer again;
    again.open(QIODevice::WriteOnly);
    ProjectFile::write(again, manager.models(), KaloConfig::instance()->printSettings());
    // Deleting a model deletes its supports and plate, never another model.
    QList<Model *> normals;
    for (Model *model : manager.models()) {
        if (model->type == TYPE_NORMAL)
            normals.append(model);
    }
    for (Model *model : normals) {
        manager.selectModel(model);
        manager.deleteSelectedModel();
    }
    return true;
}

// Valid projects to mutate: empty, one cube, one support column, a scene of
// models, supports and a base plate, and one cube with print settings.
inline QList<QByteArray> seeds()
{
    QList<QByteArray> result{SampleProject::bytes({})};
    const std::unique_ptr<Model> cube(TestMeshes::makeModel(TestMeshes::cube(10)));
    result.append(SampleProject::bytes({cube.get()}));
    auto support = std::make_unique<CWS::Support>(nullptr);
    support->buildColumn(KaloConfig::instance()->supportConfig(), 5);
    support->loaded = true;
    result.append(SampleProject::bytes({support.get()}));
    KaloModel scene;
    SampleProject::build(scene);
    result.append(SampleProject::bytes(scene.models()));
    QBuffer withSettings;
    withSettings.open(QIODevice::WriteOnly);
    ProjectFile::write(withSettings, {cube.get()}, KaloConfig::instance()->printSettings());
    result.append(withSettings.data());
    cube->hollowing.wallMm = 2;
    cube->hollowing.drainHoles = {{QVector3D(5, 0, 1), QVector3D(-1, 0, 0), 3}};
    QBuffer hollow;
    hollow.open(QIODevice::WriteOnly);
    ProjectFile::write(hollow, {cube.get()});
    result.append(hollow.data());
    return result;
}

} // namespace ProjectFuzz
