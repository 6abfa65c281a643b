#pragma once

// What the model-file fuzzers run on every input, and the STL files their
// mutations start from. Needs a KaloConfig that draws 1-bit layers and no
// other KaloModel alive.

#include "common/StlWriter.h"
#include "common/TestMeshes.h"
#include "geometry/BinaryStl.h"
#include "geometry/Model.h"
#include "geometry/TextStl.h"
#include "settings/KaloConfig.h"
#include "slicing/PlacedMesh.h"
#include "slicing/Slice.h"
#include "workspace/KaloModel.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace ModelFuzz {

// A broken promise of the loader or the slicer: the fuzzer takes the abort
// for a crash and keeps the input.
inline void require(bool condition, const char *promise)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", promise);
        std::abort();
    }
}

inline bool finite(const QVector3D &v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

// Loads data, written as the STL file at path, the way the user does, into
// a scene that already holds a model. A refused file leaves that scene as it
// was; a loaded one has finite bounds, centre and volume, and the layer
// through its middle comes out the same from the preview's cut of the model
// and from the slicer's prepared mesh, and a file read without assimp reads
// the same through assimp. True when data loaded.
inline bool run(const QByteArray &data, const QString &path)
{
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size(),
                "the input file can be written");
    }
    KaloModel manager;
    manager.addModel(TestMeshes::makeModel(TestMeshes::cube(4)));
    if (!manager.loadModel(QUrl::fromLocalFile(path))) {
        require(manager.models().size() == 1, "a refused file adds nothing");
        return false;
    }
    require(manager.models().size() == 2, "a loaded file adds one model");
    Model *model = manager.models().last();
    model->updateBounds();
    require(finite(model->boundMin) && finite(model->boundMax) && finite(model->center)
                && std::isfinite(model->volume),
            "a loaded model has finite bounds, centre and volume");

    // The file loaded without assimp; read through assimp it comes out alike.
    MeshPrimitiveData direct;
    QString problem;
    const BinaryStl::Outcome binary = BinaryStl::read(path, direct, &problem);
    if (binary == BinaryStl::Outcome::Read
        || (binary == BinaryStl::Outcome::NotBinary
            && TextStl::read(path, direct, &problem) == TextStl::Outcome::Read)) {
        const std::shared_ptr<MeshPrimitiveData> expected = TestMeshes::readThroughAssimp(path);
        require(expected && TestMeshes::identical(direct, *expected),
                "the readers of our own read a file as assimp does");
    }

    const int layers = manager.calcNumSlices(model);
    if (layers == 0)
        return true;
    const SliceBuildConfig &config = *KaloConfig::instance()->buildConfig();
    const std::vector<float> heights = CWS::PlacedMesh::layerHeights(layers, config.layerThickness);
    const int layer = layers / 2;
    const QList<Model *> alone{model};
    CWS::Slice cut(nullptr, &config, layer, heights[size_t(layer)], &alone);
    cut.renderLayer(false, model);
    const std::vector<CWS::PlacedMesh> placed{CWS::PlacedMesh(*model, heights)};
    CWS::Slice prepared(nullptr, &config, layer, heights[size_t(layer)], &placed);
    prepared.run();
    require(*cut.image() == *prepared.image(), "both ways of cutting a layer draw the same image");
    // A mesh too large to keep its mapped corners maps them at each visit.
    const std::vector<CWS::PlacedMesh> unkept{CWS::PlacedMesh(*model, heights, 0)};
    CWS::Slice remapped(nullptr, &config, layer, heights[size_t(layer)], &unkept);
    remapped.run();
    require(*cut.image() == *remapped.image(), "corners mapped at each visit draw the same image");
    return true;
}

// STL files to mutate, both encodings: a cube, one with zero facet normals
// (loaded twice), an open box, a ring, a small sphere, and a tower tall
// enough to be shrunk.
inline QList<QByteArray> seeds()
{
    MeshPrimitiveData open = TestMeshes::cube(6);
    open.indices.resize(open.indices.size() - 3);
    const struct
    {
        MeshPrimitiveData mesh;
        StlWriter::Encoding encoding;
        bool zeroNormals;
    } files[] = {
        {TestMeshes::cube(10), StlWriter::Binary, false},
        {TestMeshes::cube(10), StlWriter::Ascii, false},
        {TestMeshes::cube(5), StlWriter::Ascii, true},
        {open, StlWriter::Binary, false},
        {TestMeshes::ring(12, 6, 3), StlWriter::Binary, false},
        {TestMeshes::sphere(4, {0, 0, 4}, 4, 6), StlWriter::Ascii, false},
        {TestMeshes::box({0, 0, 0}, {4, 4, 260}), StlWriter::Binary, true},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("seed.stl"));
    QList<QByteArray> result;
    for (const auto &f : files) {
        QFile file(path);
        require(StlWriter::write(path, f.mesh, f.encoding, f.zeroNormals) && file.open(QIODevice::ReadOnly),
                "a seed can be written");
        result.append(file.readAll());
    }
    return result;
}

} // namespace ModelFuzz
